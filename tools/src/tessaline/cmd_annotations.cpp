// tessaline annotations FILE [--page N] [--json]: a page's annotation lists as parsed (those of
// a shared component it includes first) and the display settings they give.
#include <cstdio>
#include <memory>
#include <string>

#include "commands.h"
#include "failure.h"
#include "djv_annotation.h"
#include "json_output.h"

namespace Tessaline {
namespace {

using namespace Vantorix;
using namespace Vantorix::DjVu;
using namespace Vantorix::DjVu::AnnoParse;

const char* const kHorizontal[] = {"none", "left", "center", "right"};
const char* const kVertical[] = {"none", "top", "center", "bottom"};
const char* const kModes[] = {"none", "color", "bw", "fore", "back"};
const char* const kZooms[] = {"stretch", "one2one", "width", "page", "none"};

nlohmann::ordered_json elementJson(const Element& e)
{
    const ElementArray* list = e.asArray();
    if (!list) return e.getText().toStdString();
    nlohmann::ordered_json items = nlohmann::ordered_json::array();
    for (const AutoPtr<Element>& item : list->getElements()) items.push_back(elementJson(*item));
    return items;
}

// A list written back: quoted atoms in quotes again (with their quotes escaped).
std::string written(const Element& e)
{
    const ElementArray* list = e.asArray();
    if (!list) {
        std::string text = e.getText().toStdString();
        if (!e.isQuoted()) return text;
        std::string out = "\"";
        for (char c : text) out += c == '"' ? std::string("\\\"") : std::string(1, c);
        return out + "\"";
    }
    std::string out = "(";
    for (uint32_t i = 0; i < list->getElements().getSize(); ++i)
        out += (i ? " " : "") + written(*list->getElements()[i]);
    return out + ")";
}

std::string colorName(int32_t color)
{
    char buf[8];
    std::snprintf(buf, sizeof buf, "#%06X", unsigned(color) & 0xFFFFFFu);
    return buf;
}

nlohmann::ordered_json zoomJson(int32_t zoom)
{
    return zoom > 0 ? nlohmann::ordered_json(zoom) : nlohmann::ordered_json(kZooms[zoom + 4]);
}

nlohmann::ordered_json settingsJson(const DisplaySettings& s)
{
    nlohmann::ordered_json out;
    out["align"] = s.alignHorizontal ? nlohmann::ordered_json{kHorizontal[*s.alignHorizontal], kVertical[*s.alignVertical]}
                                     : nlohmann::ordered_json(nullptr);
    out["background"] = s.backgroundColor ? nlohmann::ordered_json(colorName(*s.backgroundColor)) : nlohmann::ordered_json(nullptr);
    out["mode"] = s.mode ? nlohmann::ordered_json(kModes[*s.mode]) : nlohmann::ordered_json(nullptr);
    out["zoom"] = s.zoom ? zoomJson(*s.zoom) : nlohmann::ordered_json(nullptr);
    return out;
}

void printPlain(const Annotation* a)
{
    DisplaySettings none;
    const DisplaySettings& s = a ? a->getSettings() : none;
    if (a)
        for (const AutoPtr<Element>& list : a->getElements().getElements()) std::printf("%s\n", written(*list).c_str());
    nlohmann::ordered_json settings = settingsJson(s);
    for (const char* key : {"align", "background", "mode", "zoom"}) {
        const nlohmann::ordered_json& v = settings[key];
        std::string text = v.is_null()     ? "-"
                           : v.is_array()  ? v[0].get<std::string>() + " " + v[1].get<std::string>()
                           : v.is_string() ? v.get<std::string>()
                                           : v.dump();
        std::printf("%s: %s\n", key, text.c_str());
    }
}

void run(const std::string& file, uint32_t number, bool json)
{
    OpenedPage opened = openPage(file, number);
    AutoPtr<Annotation> a = opened.page->getAnnotation();
    if (!json) {
        printPlain(a.get());
        return;
    }
    nlohmann::ordered_json lists = nlohmann::ordered_json::array();
    if (a)
        for (const AutoPtr<Element>& list : a->getElements().getElements()) lists.push_back(elementJson(*list));
    printJson({{"lists", lists}, {"settings", settingsJson(a ? a->getSettings() : DisplaySettings())}});
}

} // namespace

void addAnnotationsCommand(CLI::App& app)
{
    struct Options {
        std::string file;
        uint32_t page = 1;
        bool json = false;
    };
    auto o = std::make_shared<Options>();
    CLI::App* cmd = app.add_subcommand(
        "annotations", "Print a page's annotation lists (those of a shared component it includes first, atoms quoted "
                       "as written), then its display settings: align, background, mode and zoom ('-' when unset).");
    cmd->add_option("FILE", o->file, "DjVu file (a path or a file: location)")->required();
    cmd->add_option("--page", o->page, "Page number, counted from 1 (default 1)")->check(CLI::PositiveNumber);
    cmd->add_flag("--json", o->json,
                  "Print {\"lists\": [...], \"settings\": {align [h, v], background \"#RRGGBB\", mode, zoom}}: a list "
                  "is an array of strings (atoms, quotes removed) and arrays (nested lists); an unset setting is "
                  "null; zoom is a percentage or one of stretch, one2one, width, page, none");
    cmd->callback([o] {
        try {
            run(o->file, o->page, o->json);
        } catch (...) {
            throw failureAbout(o->file, o->page);
        }
    });
}

} // namespace Tessaline

// tessaline text FILE [--page N|--all] [--json]: the hidden text of a page (or of every page),
// as stored or as its tree of zones.
#include <cstdio>
#include <memory>
#include <string>

#include "commands.h"
#include "djv_text.h"
#include "failure.h"
#include "json_output.h"

namespace Tessaline {
namespace {

using namespace Vantorix;
using namespace Vantorix::DjVu;

const char* typeName(uint32_t type)
{
    static const char* const kNames[] = {"page", "column", "region", "paragraph", "line", "word", "char"};
    return type >= 1 && type <= 7 ? kNames[type - 1] : "unknown";
}

nlohmann::ordered_json zoneJson(const TextZone& zone)
{
    ZoneRect r = zone.getRect();
    nlohmann::ordered_json children = nlohmann::ordered_json::array();
    for (const AutoPtr<TextZone>& child : zone.getChildren()) children.push_back(zoneJson(*child));
    return {{"type", typeName(zone.getType())},
            {"rect", {r.x, r.y, r.w, r.h}},
            {"text", zone.getText().toStdString()},
            {"children", children}};
}

nlohmann::ordered_json pageJson(Page& page)
{
    AutoPtr<TextZone> text = page.getText();
    return text ? zoneJson(*text) : nlohmann::ordered_json(nullptr);
}

void printPage(Page& page)
{
    AutoPtr<TextZone> text = page.getText();
    if (text) std::fwrite(text->getPageText().getUtf8(), 1, text->getPageText().getLength(), stdout);
}

struct Options {
    std::string file;
    uint32_t page = 1;
    bool all = false;
    bool json = false;
};

void run(const Options& o)
{
    if (!o.all) {
        OpenedPage opened = openPage(o.file, o.page);
        if (o.json)
            printJson(pageJson(*opened.page));
        else
            printPage(*opened.page);
        return;
    }
    AutoPtr<Document> doc = openDocument(o.file);
    nlohmann::ordered_json pages = nlohmann::ordered_json::array();
    for (AutoPtr<Page>& page : doc->getPages()) {
        if (o.json) {
            pages.push_back(pageJson(*page));
        } else {
            printPage(*page);
            std::fputc('\f', stdout);
        }
    }
    if (o.json) printJson({{"pages", pages}});
}

} // namespace

void addTextCommand(CLI::App& app)
{
    auto o = std::make_shared<Options>();
    CLI::App* cmd = app.add_subcommand(
        "text", "Print the hidden text of a page as stored (UTF-8, with the separators the file holds), or its zones.");
    cmd->add_option("FILE", o->file, "DjVu file (a path or a file: location)")->required();
    CLI::Option* page =
        cmd->add_option("--page", o->page, "Page number, counted from 1 (default 1)")->check(CLI::PositiveNumber);
    cmd->add_flag("--all", o->all, "Every page in order; in plain text each page ends with a form feed")
        ->excludes(page);
    cmd->add_flag("--json", o->json,
                  "Print the zone tree: {type (page, column, region, paragraph, line, word, char), rect [x, y, w, h] "
                  "(top-down pixels of the displayed page), text, children}, null for a page without text; with "
                  "--all {\"pages\": [...]}");
    cmd->callback([o] {
        try {
            run(*o);
        } catch (...) {
            throw failureAbout(o->file, o->all ? 0 : o->page);
        }
    });
}

} // namespace Tessaline

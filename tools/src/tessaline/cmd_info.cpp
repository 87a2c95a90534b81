// tessaline info FILE [--json]: the document's kind, page count and each page's record.
#include <cstdio>
#include <iostream>
#include <memory>
#include <string>

#include <nlohmann/json.hpp>

#include "commands.h"
#include "failure.h"
#include "djv_document.h"

namespace Tessaline {
namespace {

using namespace Vantorix;
using namespace Vantorix::DjVu;

const char* kindName(Document::Kind kind)
{
    switch (kind) {
    case Document::Kind::single: return "single";
    case Document::Kind::bundled: return "bundled";
    case Document::Kind::indirect: return "indirect";
    }
    return "unknown";
}

nlohmann::json pageJson(Page& page)
{
    const PageInfo& info = page.getInfo();
    return {{"stored_width", info.width},        {"stored_height", info.height},
            {"width", page.getWidth()},          {"height", page.getHeight()},
            {"dpi", info.dpi},                   {"gamma", info.gamma},
            {"minor_version", info.minorVersion}, {"major_version", info.majorVersion},
            {"rotation", info.getRotation()}};
}

void printText(const std::string& file, Document& doc)
{
    PageArray& pages = doc.getPages();
    const char* kind = doc.getKind() == Document::Kind::single ? "single-page" : kindName(doc.getKind());
    std::printf("%s: %s document, %u page%s\n", file.c_str(), kind, pages.getSize(),
                pages.getSize() == 1 ? "" : "s");
    for (uint32_t i = 0; i < pages.getSize(); ++i) {
        Page& page = *pages[i];
        const PageInfo& info = page.getInfo();
        std::printf("page %u: %ux%u (stored %ux%u), %u dpi, gamma %u.%u, version %u.%u, rotation %u\n", i + 1,
                    page.getWidth(), page.getHeight(), info.width, info.height, info.dpi, info.gamma / 10,
                    info.gamma % 10, info.majorVersion, info.minorVersion, info.getRotation());
    }
}

void run(const std::string& file, bool json)
{
    AutoPtr<Document> doc = openDocument(file);
    if (!json) {
        printText(file, *doc);
        return;
    }
    nlohmann::json pages = nlohmann::json::array();
    for (auto& page : doc->getPages()) pages.push_back(pageJson(*page));
    nlohmann::json out = {{"kind", kindName(doc->getKind())}, {"page_count", doc->getPages().getSize()},
                          {"pages", pages}};
    std::cout << out.dump(2) << '\n';
}

} // namespace

void addInfoCommand(CLI::App& app)
{
    struct Options {
        std::string file;
        bool json = false;
    };
    auto opts = std::make_shared<Options>();
    CLI::App* cmd = app.add_subcommand(
        "info", "Print the document kind (single, bundled, indirect), the page count and, per page, the displayed and "
                "stored size, resolution, gamma, format version and rotation.");
    cmd->add_option("FILE", opts->file, "DjVu file (a path or a file: location)")->required();
    cmd->add_flag("--json", opts->json,
                  "Print one JSON object: kind, page_count and pages [{stored_width, stored_height, width, height, "
                  "dpi, gamma (10 x gamma), minor_version, major_version, rotation (quarter turns 0-3)}]");
    cmd->callback([opts] {
        try {
            run(opts->file, opts->json);
        } catch (...) {
            throw failureAbout(opts->file);
        }
    });
}

} // namespace Tessaline

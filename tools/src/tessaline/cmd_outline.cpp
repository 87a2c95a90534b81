// tessaline outline FILE [--json]: the document's bookmarks, titles and links.
#include <cstdio>
#include <memory>
#include <string>

#include "commands.h"
#include "failure.h"
#include "json_output.h"

namespace Tessaline {
namespace {

using namespace Vantorix;
using namespace Vantorix::DjVu;

nlohmann::ordered_json bookmarksJson(const Bookmark& parent)
{
    nlohmann::ordered_json list = nlohmann::ordered_json::array();
    for (const AutoPtr<Bookmark>& b : parent.getChildren())
        list.push_back({{"title", b->getTitle().toStdString()},
                        {"link", b->getLink().toStdString()},
                        {"children", bookmarksJson(*b)}});
    return list;
}

void printIndented(const Bookmark& parent, int depth)
{
    for (const AutoPtr<Bookmark>& b : parent.getChildren()) {
        std::printf("%*s%s -> %s\n", 2 * depth, "", b->getTitle().getUtf8(), b->getLink().getUtf8());
        printIndented(*b, depth + 1);
    }
}

void run(const std::string& file, bool json)
{
    AutoPtr<Document> doc = openDocument(file);
    AutoPtr<Bookmark> root = doc->getBookmark();
    if (json)
        printJson({{"bookmarks", bookmarksJson(*root)}});
    else
        printIndented(*root, 0);
}

} // namespace

void addOutlineCommand(CLI::App& app)
{
    struct Options {
        std::string file;
        bool json = false;
    };
    auto o = std::make_shared<Options>();
    CLI::App* cmd = app.add_subcommand(
        "outline", "Print the document's bookmarks, one per line as TITLE -> LINK, indented two spaces a level.");
    cmd->add_option("FILE", o->file, "DjVu file (a path or a file: location)")->required();
    cmd->add_flag("--json", o->json, "Print {\"bookmarks\": [{title, link, children}]}");
    cmd->callback([o] {
        try {
            run(o->file, o->json);
        } catch (...) {
            throw failureAbout(o->file);
        }
    });
}

} // namespace Tessaline

// tessaline: command-line renderer, inspector and thumbnailer for DjVu documents.
// Exit codes: 0 success, 1 the document could not be read or written (message on stderr),
// 2 usage error.
#include <cstdio>
#include <exception>

#include "commands.h"
#include "failure.h"

int main(int argc, char** argv)
{
    CLI::App app{"tessaline: renders, thumbnails and inspects DjVu documents (single-page, bundled and "
                 "indirect)."};
    app.set_version_flag("--version", "tessaline " TESSALINE_VERSION);
    app.require_subcommand(1);
    app.fallthrough();
    bool verbose = false;
    app.add_flag("-v,--verbose", verbose,
                 "After a failure's message, print the library's own message line (source, function, code); so "
                 "does setting _QRMB_DEBUG_FILE");
    app.parse_complete_callback([&verbose] { Tessaline::setVerbose(verbose); });
    Tessaline::addInfoCommand(app);
    Tessaline::addDumpCommand(app);
    Tessaline::addRenderCommand(app);
    Tessaline::addThumbnailCommand(app);
    Tessaline::addTextCommand(app);
    Tessaline::addAnnotationsCommand(app);
    Tessaline::addOutlineCommand(app);
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        int code = app.exit(e);
        return code == 0 ? 0 : 2;
    } catch (const Tessaline::ExitStatus& status) {
        return status.code;
    } catch (const std::exception&) {
        // A failure the command did not put into words already has no file to name.
        std::fputs(Tessaline::failureAbout("").what(), stderr);
        return 1;
    }
    return 0;
}

// tessaline: command-line renderer, inspector and thumbnailer for DjVu documents.
// Exit codes: 0 success, 1 the document could not be read or written (message on stderr),
// 2 usage error.
#include <cstdio>
#include <exception>

#include "commands.h"
#include "vtx_exception.h"

int main(int argc, char** argv)
{
    CLI::App app{"tessaline: renders, thumbnails and inspects DjVu documents (single-page, bundled and "
                 "indirect)."};
    app.set_version_flag("--version", "tessaline " TESSALINE_VERSION);
    app.require_subcommand(1);
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
    } catch (const Vantorix::Exception& e) {
        std::fputs(e.what(), stderr);
        return 1;
    } catch (const std::exception& e) {
        // Out of memory, or a file-system error outside the library.
        std::fprintf(stderr, "tessaline: %s\n", e.what());
        return 1;
    }
    return 0;
}

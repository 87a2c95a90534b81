// tessaline: command-line renderer, inspector and thumbnailer for DjVu documents.
// Exit codes: 0 success, 1 the document could not be read (message on stderr), 2 usage error.
#include <cstdio>

#include "commands.h"
#include "vtx_exception.h"

int main(int argc, char** argv)
{
    CLI::App app{"tessaline: reads DjVu documents (single-page, bundled and indirect)."};
    app.require_subcommand(1);
    Tessaline::addInfoCommand(app);
    Tessaline::addDumpCommand(app);
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        int code = app.exit(e);
        return code == 0 ? 0 : 2;
    } catch (const Vantorix::Exception& e) {
        std::fputs(e.what(), stderr);
        return 1;
    }
    return 0;
}

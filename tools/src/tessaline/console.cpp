#include "console.h"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#else
#include <unistd.h>
#endif

namespace Tessaline {

bool stderrIsTerminal()
{
#ifdef _WIN32
    return _isatty(_fileno(stderr)) != 0;
#else
    return isatty(STDERR_FILENO) != 0;
#endif
}

void setBinaryStdout()
{
#ifdef _WIN32
    // Text mode would turn every 0x0A byte of a picture into CR LF.
    _setmode(_fileno(stdout), _O_BINARY);
#endif
}

} // namespace Tessaline

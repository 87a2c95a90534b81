// The provider's optional trace: a file named in the user's registry, opened, appended to and
// closed for every line, so that a crashed or killed host loses nothing written before.
#pragma once

#include <windows.h>

namespace Vantorix::Nimbrel {

class TraceLog {
public:
    // Reads "DebugLogFileName" (REG_SZ only) under HKCU\Software\Vantorix Technology
    // Inc.\Tessaline; anything else leaves the trace off.
    TraceLog();
    bool isOn() const { return logFileName[0] != 0; }
    // printf-style through the library's formatter; silent when the file cannot be opened.
    void write(const char* format, ...) const;

private:
    wchar_t logFileName[MAX_PATH];
};

} // namespace Vantorix::Nimbrel

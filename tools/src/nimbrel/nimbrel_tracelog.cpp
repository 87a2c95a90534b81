#include "nimbrel_tracelog.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>

#include "vtx_string.h"

namespace Vantorix::Nimbrel {

TraceLog::TraceLog()
{
    logFileName[0] = 0;
    HKEY key;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, L"Software\\Vantorix Technology Inc.\\Tessaline", 0, KEY_READ, &key) !=
        ERROR_SUCCESS)
        return;
    DWORD type = 0, bytes = sizeof logFileName;
    if (RegQueryValueExW(key, L"DebugLogFileName", nullptr, &type, reinterpret_cast<BYTE*>(logFileName), &bytes) !=
            ERROR_SUCCESS ||
        type != REG_SZ)
        bytes = 0;
    // The stored value need not carry its terminating zero.
    logFileName[std::min<DWORD>(bytes / sizeof(wchar_t), MAX_PATH - 1)] = 0;
    RegCloseKey(key);
}

void TraceLog::write(const char* format, ...) const
{
    if (!isOn()) return;
    va_list args;
    va_start(args, format);
    const String text = String::formatV(format, args);
    va_end(args);
    FILE* file = nullptr;
    if (_wfopen_s(&file, logFileName, L"at") != 0 || !file) return;
    fputs(text.getNarrow(), file);
    fclose(file);
}

} // namespace Vantorix::Nimbrel

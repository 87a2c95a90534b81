#include "vtx_exception.h"

#include <cstdio>
#include <cstdlib>

#include "vtx_platform.h"

namespace Vantorix {
namespace {

// Offers a freshly built message line to the diagnostic file named by _QRMB_DEBUG_FILE.
void copyToDiagnosticFile(const String& message)
{
    String path = Platform::getEnvironment("_QRMB_DEBUG_FILE", 260);
    if (path.isEmpty()) return;
    String line = String::format("%u %s\n", Platform::getProcessId(), message.getNarrow());
    Platform::appendToFile(path, line);
}

} // namespace

Exception::Exception(int32_t code, const char* text, const char* file, int line, const char* function)
    : code_(code), message_(String::format("%s(%d) : %s: Error %d: %s\n", file, line, function, int(code), text))
{
    copyToDiagnosticFile(message_);
}

Exception::Exception(int32_t code, const String& text, const char* file, int line, const char* function)
    : code_(code), message_(String::format("%s(%d) : %s: Error %d: ", file, line, function, int(code)) + text + "\n")
{
    copyToDiagnosticFile(message_);
}

Exception::Exception(const Exception& other) : std::exception(other), code_(other.code_), message_(other.message_) {}

Exception& Exception::operator=(const Exception& other)
{
    code_ = other.code_;
    message_ = other.message_;
    return *this;
}

Exception::~Exception() = default;

const char* Exception::what() const noexcept
{
    try {
        return message_.getNarrow();
    } catch (...) {
        return "No error message obtained...";
    }
}

} // namespace Vantorix

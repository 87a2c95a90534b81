// The one exception type of the library. Every throw names its source file, line and fully
// qualified function; the message line is "%s(%d) : %s: Error %d: %s\n".
//
// When the environment variable "_QRMB_DEBUG_FILE" names a file, each newly built exception
// (not its copies) appends "<pid> <message line>\n" to it.
#pragma once

#include <cstdint>
#include <exception>

#include "vtx_errorcodes.h"
#include "vtx_string.h"

namespace Vantorix {

class Exception : public std::exception {
public:
    Exception(int32_t code, const char* text, const char* file, int line, const char* function);
    Exception(int32_t code, const String& text, const char* file, int line, const char* function);
    Exception(const Exception& other);
    Exception& operator=(const Exception& other);
    ~Exception() override;

    // The message line as a narrow string; never throws.
    const char* what() const noexcept override;
    int32_t getCode() const noexcept { return code_; }
    String getMessage() const { return message_; }

private:
    int32_t code_;
    String message_;
};

} // namespace Vantorix

// Throws an Exception naming this file and line: VTX_THROW(errInvalidParam, "errInvalidParam", "Vantorix::X::f").
#define VTX_THROW(code, text, function) throw ::Vantorix::Exception((code), (text), __FILE__, __LINE__, (function))

// The one exception type of the library. Every throw names its source file, line and fully
// qualified function; the message line is "%s(%d) : %s: Error %d: %s\n".
//
// When the environment variable "_QRMB_DEBUG_FILE" names a file, each newly built exception
// (not its copies) appends "<pid> <message line>\n" to it.
#pragma once

#include <cstdint>
#include <exception>

#include "vtx_string.h"

namespace Vantorix {

enum ErrorCode : int32_t {
    errInternalError = -2,
    errOutOfMemory = 1,
    errDuplicateFailed = 4,
    errAuthFailed = 5,
    errInvalidParam = 7,
    errNotInitialized = 9,
    errAlreadyExists = 10,
    errNotFound = 12,
    errEOF = 13,
    errInitializationFailed = 14,
    errReadFailed = 16,
    errWriteFailed = 17,
    errDataBroken = 20,
    errOperationFailed = 26,
    errNotSupported = 27,
    errNotImplemented = 28,
    errLimitExceeded = 38,
    errSemInitFailed = 5000,
    errLockFailed = 5004,
    errUnlockFailed = 5005,
    errSignalFailed = 5006,
    errWaitFaild = 5007,
};

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

// Throws an Exception naming this file and line: VTX_THROW(7, "errInvalidParam", "Vantorix::X::f").
#define VTX_THROW(code, text, function) throw ::Vantorix::Exception((code), (text), __FILE__, __LINE__, (function))

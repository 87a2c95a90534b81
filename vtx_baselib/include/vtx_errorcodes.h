// The error codes of the library's exceptions. Kept apart from the exception class so that the
// low-level headers (the growable array) can name them without pulling in strings.
#pragma once

#include <cstdint>

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

} // namespace Vantorix

#include <windows.h>

#include <string>

#include "vtx_exception.h"
#include "vtx_stream.h"
#include "vtx_syncobjs.h"

namespace Vantorix {
namespace {

LPCWSTR wide(const String& s) { return reinterpret_cast<LPCWSTR>(s.getUtf16()); }

// The system's text for an error, without the line break FormatMessage ends it with.
String systemText(DWORD err)
{
    LPWSTR text = nullptr;
    DWORD n = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                 FORMAT_MESSAGE_IGNORE_INSERTS,
                             nullptr, err, 0, reinterpret_cast<LPWSTR>(&text), 0, nullptr);
    while (n > 0 && (text[n - 1] == L'\n' || text[n - 1] == L'\r' || text[n - 1] == L' ')) --n;
    String s = n ? String::fromUtf16(reinterpret_cast<const char16_t*>(text), int32_t(n))
                 : String::format("system error %lu", static_cast<unsigned long>(err));
    if (text) LocalFree(text);
    return s;
}

[[noreturn]] void throwLastError(const char* operation, const char* function)
{
    DWORD err = GetLastError();
    VTX_THROW(int32_t(err), String(operation) + ": " + systemText(err), function);
}

DWORD creationDisposition(uint32_t access, uint32_t creation)
{
    switch (creation) {
    case DiskStorage::crDefault: return access == DiskStorage::accRead ? OPEN_EXISTING : CREATE_ALWAYS;
    case DiskStorage::crOpenExisting: return OPEN_EXISTING;
    case DiskStorage::crOpenAlways: return OPEN_ALWAYS;
    case DiskStorage::crCreateNew: return CREATE_NEW;
    case DiskStorage::crCreateAlways: return CREATE_ALWAYS;
    default: return TRUNCATE_EXISTING;
    }
}

} // namespace

// A file on disk through a Win32 handle; the handle's file pointer is the position.
class DiskStorageImpl final : public DiskStorage {
public:
    DiskStorageImpl(const String& path, uint32_t access, uint32_t creation, DWORD extraFlags = 0)
        : path_(path), access_(access)
    {
        if (access < accRead || access > accReadWrite || creation > crTruncateExisting)
            VTX_THROW(errInvalidParam, "errInvalidParam", "Vantorix::DiskStorageImpl::DiskStorageImpl");
        if (creation == crTruncateExisting && access == accRead)
            VTX_THROW(errInvalidParam, "errInvalidParam", "Vantorix::DiskStorageImpl::DiskStorageImpl");
        DWORD desired = (access & accRead ? GENERIC_READ : 0) | (access & accWrite ? GENERIC_WRITE : 0);
        DWORD share = access == accRead ? FILE_SHARE_READ : 0;
        DWORD flags = FILE_ATTRIBUTE_NORMAL | (access == accRead ? FILE_FLAG_RANDOM_ACCESS : 0) | extraFlags;
        handle_ = CreateFileW(wide(path_), desired, share, nullptr, creationDisposition(access, creation), flags, nullptr);
        if (handle_ == INVALID_HANDLE_VALUE)
            throwLastError("DiskStorageImpl::DiskStorageImpl", "Vantorix::DiskStorageImpl::DiskStorageImpl");
    }

    ~DiskStorageImpl() override { CloseHandle(handle_); }

    uint32_t readBytes(void* buffer, uint32_t size, bool exact) override
    {
        uint32_t done = 0;
        while (done < size) {
            DWORD n = 0;
            if (!ReadFile(handle_, static_cast<char*>(buffer) + done, size - done, &n, nullptr))
                throwLastError("DiskStorageImpl::readBytes", "Vantorix::DiskStorageImpl::readBytes");
            if (n == 0) {
                eof_ = true;
                if (exact) VTX_THROW(errReadFailed, "Could not read the bytes specified!", "Vantorix::DiskStorageImpl::readBytes");
                break;
            }
            done += n;
        }
        return done;
    }

    void writeBytes(const void* buffer, uint32_t size) override
    {
        uint32_t done = 0;
        while (done < size) {
            DWORD n = 0;
            if (!WriteFile(handle_, static_cast<const char*>(buffer) + done, size - done, &n, nullptr) || n == 0)
                throwLastError("DiskStorageImpl::writeBytes", "Vantorix::DiskStorageImpl::writeBytes");
            done += n;
        }
        eof_ = false;
    }

    void flushBuffer() override {}
    bool isEof() override { return eof_ || getPos() >= getSize(); }

    uint64_t getSize() override
    {
        DWORD high = 0;
        DWORD low = GetFileSize(handle_, &high);
        if (low == INVALID_FILE_SIZE && GetLastError() != NO_ERROR)
            throwLastError("DiskStorageImpl::getSize", "Vantorix::DiskStorageImpl::getSize");
        return (uint64_t(high) << 32) | low;
    }

    uint64_t getPos() override { return seek(0, FILE_CURRENT, "Vantorix::DiskStorageImpl::getPos"); }
    void reserve(uint64_t) override {}
    void setPos(uint64_t pos) override { seek(int64_t(pos), FILE_BEGIN, "Vantorix::DiskStorageImpl::setPos"); }
    void setPosRelative(int64_t offset) override { seek(offset, FILE_CURRENT, "Vantorix::DiskStorageImpl::setPosRelative"); }
    void setPosFromEnd(int64_t offset) override { seek(offset, FILE_END, "Vantorix::DiskStorageImpl::setPosFromEnd"); }

    void setEof() override
    {
        if (!SetEndOfFile(handle_)) throwLastError("DiskStorageImpl::setEof", "Vantorix::DiskStorageImpl::setEof");
    }

    String getName() override { return path_; }

    // A second open of the same file at the same position; a file opened for writing is not
    // shared, so it cannot be duplicated.
    AutoPtr<Storage> duplicate() override
    {
        uint64_t pos = getPos();
        AutoPtr<DiskStorageImpl> copy;
        try {
            copy = new DiskStorageImpl(path_, access_, crOpenExisting);
        } catch (const Exception&) {
            VTX_THROW(errDuplicateFailed, "DiskStorage: could not duplicate the storage!", "Vantorix::DiskStorageImpl::duplicate");
        }
        copy->setPos(pos);
        return AutoPtr<Storage>(copy);
    }

    void lockRange(uint64_t offset, uint64_t length, bool exclusive, bool wait) override
    {
        if (length == 0) VTX_THROW(errInvalidParam, "errInvalidParam", "Vantorix::DiskStorageImpl::lockRange");
        OVERLAPPED ov = {};
        ov.Offset = DWORD(offset);
        ov.OffsetHigh = DWORD(offset >> 32);
        DWORD flags = (exclusive ? LOCKFILE_EXCLUSIVE_LOCK : 0) | (wait ? 0 : LOCKFILE_FAIL_IMMEDIATELY);
        if (!LockFileEx(handle_, flags, 0, DWORD(length), DWORD(length >> 32), &ov))
            VTX_THROW(int32_t(GetLastError()), "LockFileEx failed!", "Vantorix::DiskStorageImpl::lockRange");
    }

    void unlockRange(uint64_t offset, uint64_t length) override
    {
        if (length == 0) VTX_THROW(errInvalidParam, "errInvalidParam", "Vantorix::DiskStorageImpl::unlockRange");
        OVERLAPPED ov = {};
        ov.Offset = DWORD(offset);
        ov.OffsetHigh = DWORD(offset >> 32);
        if (!UnlockFileEx(handle_, 0, DWORD(length), DWORD(length >> 32), &ov))
            VTX_THROW(int32_t(GetLastError()), "UnlockFileEx failed!", "Vantorix::DiskStorageImpl::unlockRange");
    }

    void lock() override { mutex_.lock(); }
    void unlock() override { mutex_.unlock(); }

private:
    // The 64-bit offset goes to SetFilePointer as two 32-bit halves.
    uint64_t seek(int64_t offset, DWORD method, const char* function)
    {
        LONG high = LONG(offset >> 32);
        SetLastError(NO_ERROR);
        DWORD low = SetFilePointer(handle_, LONG(uint32_t(offset)), &high, method);
        if (low == INVALID_SET_FILE_POINTER && GetLastError() != NO_ERROR)
            throwLastError("DiskStorageImpl::setPos", function);
        if (method != FILE_CURRENT || offset != 0) eof_ = false;
        return (uint64_t(uint32_t(high)) << 32) | low;
    }

    String path_;
    HANDLE handle_ = INVALID_HANDLE_VALUE;
    uint32_t access_;
    bool eof_ = false;
    Mutex mutex_;
};

AutoPtr<DiskStorage> DiskStorage::create(const String& path, uint32_t access, uint32_t creation)
{
    return AutoPtr<DiskStorage>(new DiskStorageImpl(path, access, creation));
}

AutoPtr<DiskStorage> DiskStorage::createTemp()
{
    wchar_t dir[MAX_PATH + 1];
    wchar_t file[MAX_PATH + 1];
    DWORD n = GetTempPathW(MAX_PATH + 1, dir);
    if (n == 0 || n > MAX_PATH || !GetTempFileNameW(dir, L"vtx", 0, file))
        VTX_THROW(errOperationFailed, "errOperationFailed", "Vantorix::DiskStorage::createTemp");
    String path = String::fromUtf16(reinterpret_cast<const char16_t*>(file));
    try {
        return AutoPtr<DiskStorage>(new DiskStorageImpl(path, accReadWrite, crCreateAlways,
                                                        FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE));
    } catch (const Exception&) {
        DeleteFileW(file);
        VTX_THROW(errOperationFailed, "errOperationFailed", "Vantorix::DiskStorage::createTemp");
    }
}

} // namespace Vantorix

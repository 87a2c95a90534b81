#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>

#include "vtx_exception.h"
#include "vtx_stream.h"
#include "vtx_syncobjs.h"

namespace Vantorix {
namespace {

[[noreturn]] void throwErrno(int err, const char* operation, const char* function)
{
    VTX_THROW(int32_t(err), String::format("%s: %s", operation, std::strerror(err)), function);
}

int openFlags(uint32_t access, uint32_t creation)
{
    int flags = access == DiskStorage::accRead ? O_RDONLY : access == DiskStorage::accWrite ? O_WRONLY : O_RDWR;
    switch (creation) {
    case DiskStorage::crDefault: return flags | (access == DiskStorage::accRead ? 0 : O_CREAT | O_TRUNC);
    case DiskStorage::crOpenExisting: return flags;
    case DiskStorage::crOpenAlways: return flags | O_CREAT;
    case DiskStorage::crCreateNew: return flags | O_CREAT | O_EXCL;
    case DiskStorage::crCreateAlways: return flags | O_CREAT | O_TRUNC;
    default: return flags | O_TRUNC; // truncate existing
    }
}

} // namespace

// A file on disk. The descriptor's own offset is the position, as a handle's file pointer is
// on Windows; no share modes are emulated here.
class DiskStorageImpl final : public DiskStorage {
public:
    DiskStorageImpl(const String& path, uint32_t access, uint32_t creation, bool deleteOnClose = false)
        : path_(path), access_(access), deleteOnClose_(deleteOnClose)
    {
        if (access < accRead || access > accReadWrite || creation > crTruncateExisting)
            VTX_THROW(errInvalidParam, "errInvalidParam", "Vantorix::DiskStorageImpl::DiskStorageImpl");
        if (creation == crTruncateExisting && access == accRead)
            VTX_THROW(errInvalidParam, "errInvalidParam", "Vantorix::DiskStorageImpl::DiskStorageImpl");
        do {
            fd_ = ::open(path_.getNarrow(), openFlags(access, creation) | O_CLOEXEC, 0666);
        } while (fd_ < 0 && errno == EINTR);
        if (fd_ < 0) throwErrno(errno, "DiskStorageImpl::DiskStorageImpl", "Vantorix::DiskStorageImpl::DiskStorageImpl");
        struct stat st;
        if (::fstat(fd_, &st) == 0 && S_ISDIR(st.st_mode)) {
            ::close(fd_);
            throwErrno(EISDIR, "DiskStorageImpl::DiskStorageImpl", "Vantorix::DiskStorageImpl::DiskStorageImpl");
        }
    }

    ~DiskStorageImpl() override
    {
        ::close(fd_);
        if (deleteOnClose_) ::unlink(path_.getNarrow());
    }

    uint32_t readBytes(void* buffer, uint32_t size, bool exact) override
    {
        uint32_t done = 0;
        while (done < size) {
            ssize_t n = ::read(fd_, static_cast<char*>(buffer) + done, size - done);
            if (n < 0) {
                if (errno == EINTR) continue;
                throwErrno(errno, "DiskStorageImpl::readBytes", "Vantorix::DiskStorageImpl::readBytes");
            }
            if (n == 0) {
                eof_ = true;
                if (exact) VTX_THROW(errReadFailed, "Could not read the bytes specified!", "Vantorix::DiskStorageImpl::readBytes");
                break;
            }
            done += uint32_t(n);
        }
        return done;
    }

    void writeBytes(const void* buffer, uint32_t size) override
    {
        uint32_t done = 0;
        while (done < size) {
            ssize_t n = ::write(fd_, static_cast<const char*>(buffer) + done, size - done);
            if (n < 0) {
                if (errno == EINTR) continue;
                throwErrno(errno, "DiskStorageImpl::writeBytes", "Vantorix::DiskStorageImpl::writeBytes");
            }
            if (n == 0) throwErrno(ENOSPC, "DiskStorageImpl::writeBytes", "Vantorix::DiskStorageImpl::writeBytes");
            done += uint32_t(n);
        }
        eof_ = false;
    }

    void flushBuffer() override {}
    bool isEof() override { return eof_ || getPos() >= getSize(); }

    uint64_t getSize() override
    {
        struct stat st;
        if (::fstat(fd_, &st) != 0) throwErrno(errno, "DiskStorageImpl::getSize", "Vantorix::DiskStorageImpl::getSize");
        return uint64_t(st.st_size);
    }

    uint64_t getPos() override { return seek(0, SEEK_CUR, "Vantorix::DiskStorageImpl::getPos"); }
    void reserve(uint64_t) override {}
    void setPos(uint64_t pos) override { seek(int64_t(pos), SEEK_SET, "Vantorix::DiskStorageImpl::setPos"); }
    void setPosRelative(int64_t offset) override { seek(offset, SEEK_CUR, "Vantorix::DiskStorageImpl::setPosRelative"); }
    void setPosFromEnd(int64_t offset) override { seek(offset, SEEK_END, "Vantorix::DiskStorageImpl::setPosFromEnd"); }

    void setEof() override
    {
        uint64_t pos = getPos();
        if (::ftruncate(fd_, off_t(pos)) != 0)
            throwErrno(errno, "DiskStorageImpl::setEof", "Vantorix::DiskStorageImpl::setEof");
    }

    String getName() override { return path_; }

    // A second, independent open of the same file at the same position.
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
        rangeLock(offset, length, exclusive ? F_WRLCK : F_RDLCK, wait, "LockFileEx failed!", "Vantorix::DiskStorageImpl::lockRange");
    }

    void unlockRange(uint64_t offset, uint64_t length) override
    {
        rangeLock(offset, length, F_UNLCK, false, "UnlockFileEx failed!", "Vantorix::DiskStorageImpl::unlockRange");
    }

    void lock() override { mutex_.lock(); }
    void unlock() override { mutex_.unlock(); }

private:
    uint64_t seek(int64_t offset, int whence, const char* function)
    {
        off_t r = ::lseek(fd_, off_t(offset), whence);
        if (r < 0) throwErrno(errno, "DiskStorageImpl::setPos", function);
        if (whence != SEEK_CUR || offset != 0) eof_ = false;
        return uint64_t(r);
    }

    // Open-file-description locks belong to this open of the file, like a Windows handle's, so
    // two storages over one file exclude each other even inside one process.
    void rangeLock(uint64_t offset, uint64_t length, short type, bool wait, const char* text, const char* function)
    {
        if (length == 0 || offset > uint64_t(INT64_MAX) || length > uint64_t(INT64_MAX) - offset)
            VTX_THROW(errInvalidParam, "errInvalidParam", function);
        struct flock fl;
        std::memset(&fl, 0, sizeof fl);
        fl.l_type = type;
        fl.l_whence = SEEK_SET;
        fl.l_start = off_t(offset);
        fl.l_len = off_t(length);
#ifdef F_OFD_SETLK
        int cmd = wait ? F_OFD_SETLKW : F_OFD_SETLK;
#else
        int cmd = wait ? F_SETLKW : F_SETLK;
#endif
        int r;
        do {
            r = ::fcntl(fd_, cmd, &fl);
        } while (r != 0 && errno == EINTR);
        if (r != 0) VTX_THROW(int32_t(errno), text, function);
    }

    String path_;
    int fd_ = -1;
    uint32_t access_;
    bool deleteOnClose_;
    bool eof_ = false;
    Mutex mutex_;
};

AutoPtr<DiskStorage> DiskStorage::create(const String& path, uint32_t access, uint32_t creation)
{
    return AutoPtr<DiskStorage>(new DiskStorageImpl(path, access, creation));
}

AutoPtr<DiskStorage> DiskStorage::createTemp()
{
    const char* dir = std::getenv("TMPDIR");
    std::string pattern = std::string(dir && *dir ? dir : "/tmp") + "/vtx-XXXXXX";
    int fd = ::mkstemp(pattern.data());
    if (fd < 0) VTX_THROW(errOperationFailed, "errOperationFailed", "Vantorix::DiskStorage::createTemp");
    ::close(fd);
    try {
        return AutoPtr<DiskStorage>(new DiskStorageImpl(String(pattern), accReadWrite, crOpenExisting, true));
    } catch (const Exception&) {
        ::unlink(pattern.c_str());
        VTX_THROW(errOperationFailed, "errOperationFailed", "Vantorix::DiskStorage::createTemp");
    }
}

} // namespace Vantorix

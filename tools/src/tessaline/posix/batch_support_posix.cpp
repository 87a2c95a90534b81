#include <fcntl.h>
#include <malloc.h>
#include <unistd.h>

#include "../batch_support.h"

namespace Tessaline {

void keepFreedMemory()
{
    // By default the allocator hands large blocks back (unmapped, or trimmed off the heap's top)
    // and the next page of the same size is zeroed again by the kernel. Blocks up to 32 MiB now
    // come from the heap, and its top is kept.
    mallopt(M_MMAP_THRESHOLD, 32 << 20);
    mallopt(M_TRIM_THRESHOLD, 1 << 30);
}

void readAhead(const std::string& path)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return;
    ::posix_fadvise(fd, 0, 0, POSIX_FADV_WILLNEED);
    ::close(fd);
}

} // namespace Tessaline

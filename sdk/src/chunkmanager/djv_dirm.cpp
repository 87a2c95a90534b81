#include "djv_compressStream.h"
#include "djv_iff.h"

namespace Vantorix::DjVu::IFF {
namespace {

constexpr const char* kFunction = "Vantorix::DjVu::DjVuResourceBroker::DjVuResourceBroker";
// Identifiers, names and titles of 65535 components fit easily; more is a decompression bomb.
constexpr uint32_t kMaxStringBlock = 16u << 20;

// Takes the next zero-terminated string of the block; the terminator must lie inside it.
String takeString(const ByteArray& block, uint32_t& pos)
{
    uint32_t start = pos, n = block.getSize();
    while (pos < n && block[pos] != 0) ++pos;
    if (pos >= n) VTX_THROW(errDataBroken, "DIRM string is not terminated!", kFunction);
    return String::fromUtf8(reinterpret_cast<const char*>(block.data()) + start, int32_t(pos++ - start));
}

} // namespace

Directory readDIRM(const AutoPtr<Storage>& storage, uint32_t length)
{
    uint8_t head[3];
    if (length < 3) VTX_THROW(errDataBroken, "DIRM chunk is too short!", kFunction);
    storage->readBytes(head, 3, true);
    uint8_t version = head[0] & 0x7F;
    if (version == 0) VTX_THROW(errNotSupported, "DIRM V0 is not supportted any more!", kFunction);
    if (version > 1) VTX_THROW(errNotSupported, "Unsupported DIRM version!", kFunction);
    Directory dir;
    dir.bundled = (head[0] & 0x80) != 0;
    uint32_t count = uint32_t(head[1]) << 8 | head[2];
    uint32_t left = length - 3;
    dir.entries.resize(count);

    if (dir.bundled) {
        if (uint64_t(count) * 4 > left) VTX_THROW(errDataBroken, "DIRM offsets exceed the chunk!", kFunction);
        ByteArray offsets(count * 4);
        if (count) storage->readBytes(offsets.data(), count * 4, true);
        for (uint32_t i = 0; i < count; ++i) {
            const uint8_t* p = offsets.data() + 4 * i;
            dir.entries[i].offset = uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3];
            dir.entries[i].storage = storage;
        }
        left -= count * 4;
    }
    if (count == 0) return dir;
    if (left == 0) VTX_THROW(errDataBroken, "DIRM has no component table!", kFunction);

    AutoPtr<InflateStream> bzz = InflateStream::create(AutoPtr<Stream>(storage.get()), left);
    ByteArray table(count * 4);
    bzz->readBytes(table.data(), count * 4, true);
    ByteArray block;
    for (;;) {
        const uint32_t step = 0x10000;
        uint32_t at = block.getSize();
        if (at >= kMaxStringBlock) VTX_THROW(errDataBroken, "DIRM component names are too long!", kFunction);
        block.resize(at + step);
        uint32_t got = bzz->readBytes(block.data() + at, step, false);
        block.resize(at + got);
        if (got < step) break;
    }

    uint32_t pos = 0;
    for (uint32_t i = 0; i < count; ++i) {
        DIRMEntry& e = dir.entries[i];
        const uint8_t* s = table.data() + 3 * i;
        e.size = uint32_t(s[0]) << 16 | uint32_t(s[1]) << 8 | s[2];
        uint8_t flags = table[3 * count + i];
        e.kind = flags & 7;
        e.id = takeString(block, pos);
        if (flags & 0x80) e.name = takeString(block, pos);
        if (flags & 0x40) e.title = takeString(block, pos);
    }
    return dir;
}

} // namespace Vantorix::DjVu::IFF

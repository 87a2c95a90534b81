// Helpers shared by the BZZ tests: POSIX cksum, and decoding a payload.
#pragma once

#include <cstdint>
#include <vector>

#include "djv_compressStream.h"
#include "testutil.h"

namespace bzztest {

using vtxtest::readFile;
using vtxtest::streamOf;

// The checksum of POSIX `cksum`: CRC-32 (0x04C11DB7, most significant bit first) over the
// bytes and then the length, complemented.
class Cksum {
public:
    void update(const uint8_t* p, size_t n)
    {
        for (size_t i = 0; i < n; ++i) step(p[i]);
        length_ += n;
    }
    uint32_t value() const
    {
        Cksum c = *this;
        for (uint64_t n = length_; n; n >>= 8) c.step(uint8_t(n));
        return ~c.crc_;
    }

private:
    void step(uint8_t b)
    {
        crc_ ^= uint32_t(b) << 24;
        for (int i = 0; i < 8; ++i) crc_ = (crc_ & 0x80000000u) ? (crc_ << 1) ^ 0x04C11DB7u : crc_ << 1;
    }
    uint32_t crc_ = 0;
    uint64_t length_ = 0;
};

// Everything the payload holds, read in pieces of `chunk` bytes.
inline std::vector<uint8_t> inflateAll(const std::vector<uint8_t>& payload, uint32_t chunk = 4093,
                                       uint32_t byteLimit = 0)
{
    auto z = Vantorix::DjVu::InflateStream::create(streamOf(payload), byteLimit);
    std::vector<uint8_t> out;
    std::vector<uint8_t> buf(chunk);
    while (uint32_t n = z->readBytes(buf.data(), chunk, false)) out.insert(out.end(), buf.begin(), buf.begin() + n);
    return out;
}

} // namespace bzztest

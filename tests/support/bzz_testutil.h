// Helpers shared by the BZZ tests: whole-file reads, POSIX cksum, and decoding a payload.
#pragma once

#include <cstdint>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "djv_compressStream.h"
#include "vtx_stream.h"

namespace bzztest {

inline std::vector<uint8_t> readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

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

inline Vantorix::AutoPtr<Vantorix::Stream> memoryStream(const std::vector<uint8_t>& bytes)
{
    return Vantorix::MemoryStorage::create(bytes.data(), uint32_t(bytes.size()));
}

// Everything the payload holds, read in pieces of `chunk` bytes.
inline std::vector<uint8_t> inflateAll(const std::vector<uint8_t>& payload, uint32_t chunk = 4093,
                                       uint32_t byteLimit = 0)
{
    auto z = Vantorix::DjVu::InflateStream::create(memoryStream(payload), byteLimit);
    std::vector<uint8_t> out;
    std::vector<uint8_t> buf(chunk);
    while (uint32_t n = z->readBytes(buf.data(), chunk, false)) out.insert(out.end(), buf.begin(), buf.begin() + n);
    return out;
}

} // namespace bzztest

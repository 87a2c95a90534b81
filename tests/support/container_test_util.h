// Helpers of the container tests: IFF files built in memory and a broker over named byte blocks.
#pragma once

#include <cstdint>
#include <map>
#include <string>

#include "djv_chunk.h"
#include "testutil.h"

namespace ContainerTest {

using vtxtest::contains;
using vtxtest::expectThrow;
using vtxtest::streamOf;
using vtxtest::thrownBy;
using vtxtest::Thrown;

using Bytes = std::string;

inline Bytes be32(uint32_t v)
{
    return {char(v >> 24), char(v >> 16), char(v >> 8), char(v)};
}

// One chunk: identifier, length, payload and the pad byte of an odd length.
inline Bytes chunk(const std::string& id, const Bytes& payload)
{
    Bytes out = id + be32(uint32_t(payload.size())) + payload;
    if (payload.size() & 1) out += '\0';
    return out;
}

inline Bytes form(const std::string& type, const Bytes& children) { return chunk("FORM", type + children); }

// A whole file: the magic, then one chunk.
inline Bytes file(const Bytes& top) { return "AT&T" + top; }

// An INFO payload: width, height, minor version, then as many optional bytes as given.
inline Bytes info(uint16_t w, uint16_t h, uint8_t minor, const Bytes& rest = Bytes())
{
    return Bytes{char(w >> 8), char(w), char(h >> 8), char(h), char(minor)} + rest;
}

// The container fixtures, and the INFO chunk of a 100 x 50 page at 300 dpi.
inline const std::string kDir = VTX_FIXTURE_DIR "/container/";
inline const Bytes kInfo = chunk("INFO", info(100, 50, 24, Bytes("\0\x2c\x01\x16\x01", 5)));

// A whole file as bytes.
inline Bytes slurp(const std::string& path)
{
    vtxtest::Bytes b = vtxtest::readFile(path);
    return Bytes(b.begin(), b.end());
}

inline std::string payloadOf(Vantorix::DjVu::Chunk& c)
{
    auto data = c.getData();
    return std::string(reinterpret_cast<const char*>(data->getBytes()), data->getLength());
}

// Opens names from a table of byte blocks and counts the loads.
class MapBroker : public Vantorix::ResourceBroker {
public:
    std::map<std::string, Bytes> files;
    std::map<std::string, int> loads;

    Vantorix::AutoPtr<Vantorix::Storage> load(const Vantorix::String& name) override
    {
        std::string key = name.toStdString();
        ++loads[key];
        auto it = files.find(key);
        if (it == files.end()) VTX_THROW(12, "no such test file", "ContainerTest::MapBroker::load");
        return vtxtest::streamOf(it->second);
    }
};

} // namespace ContainerTest

// Test helpers for IW44: the BG44/FG44 payloads of DjVu fixtures (a minimal IFF walk), decoding
// chunks from memory, and leaf chunks over bytes.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "djv_chunkimpls.h"
#include "djv_iw44.h"
#include "imaging_testutil.h"
#include "testutil.h"

namespace iw44test {

using Bytes = std::vector<uint8_t>;
using imagingtest::firstDifference;
using imagingtest::Image;
using imagingtest::readPnm;
using vtxtest::contains;
using vtxtest::expectThrow;
using vtxtest::readFile;
using vtxtest::thrownBy;

inline std::string fixture(const std::string& name) { return std::string(VTX_FIXTURE_DIR) + "/iw44/" + name; }

inline uint32_t be32(const uint8_t* p) { return uint32_t(p[0]) << 24 | p[1] << 16 | p[2] << 8 | p[3]; }

// Payloads of every chunk named id, in file order, descending into FORMs.
inline void collectChunks(const uint8_t* p, size_t size, const std::string& id, std::vector<Bytes>& out)
{
    size_t pos = 0;
    while (pos + 8 <= size) {
        std::string name(reinterpret_cast<const char*>(p + pos), 4);
        uint32_t len = be32(p + pos + 4);
        if (len > size - pos - 8) return;
        const uint8_t* body = p + pos + 8;
        if (name == "FORM")
            collectChunks(body + 4, len - 4, id, out);
        else if (name == id)
            out.emplace_back(body, body + len);
        pos += 8 + len + (len & 1);
    }
}

inline std::vector<Bytes> djvuChunks(const std::string& path, const std::string& id = "BG44")
{
    Bytes file = readFile(path);
    std::vector<Bytes> out;
    if (file.size() > 4) collectChunks(file.data() + 4, file.size() - 4, id, out); // skip "AT&T"
    return out;
}

// A decoder fed with the given chunks through memory streams.
inline Vantorix::AutoPtr<Vantorix::DjVu::IW44::IW44Decoder> decodeAll(const std::vector<Bytes>& chunks)
{
    auto decoder = Vantorix::DjVu::IW44::IW44Decoder::create();
    for (const Bytes& c : chunks) decoder->decode(vtxtest::streamOf(c).get());
    return decoder;
}

// The whole image reduced by the subsample, in one photometric.
inline Image renderWhole(Vantorix::DjVu::IW44::IW44Decoder& d, Vantorix::DjVu::Photometric photometric, uint32_t subsample)
{
    Image out(d.getWidth() / subsample, d.getHeight() / subsample, photometric == Vantorix::DjVu::Photometric::Gray ? 1 : 3);
    d.render(out.px.data(), out.stride(), photometric, subsample, nullptr);
    return out;
}

inline Bytes reduced(Vantorix::DjVu::IW44::IW44Decoder& d, uint32_t subsample)
{
    return renderWhole(d, Vantorix::DjVu::Photometric::RGB, subsample).px;
}

// A leaf chunk over a copy of the bytes; with streamless, its payload offers no stream.
inline Vantorix::AutoPtr<Vantorix::DjVu::Chunk> chunkOf(const char* id, const Bytes& bytes, bool streamless = false)
{
    using namespace Vantorix;
    using namespace Vantorix::DjVu;
    AutoPtr<Chunk> chunk = ChunkImpl::create(id, bytes.data(), uint32_t(bytes.size()));
    struct Streamless : Data {
        AutoPtr<Data> inner;
        const uint8_t* getBytes() override { return inner->getBytes(); }
        uint32_t getLength() override { return inner->getLength(); }
        AutoPtr<Storage> getStream(bool) override { return nullptr; }
        void load() override {}
        AutoPtr<Data> clone() override { return inner->clone(); }
        void compact() override {}
        void lock() override {}
        void unlock() override {}
    };
    if (streamless) {
        auto data = makeAuto<Streamless>();
        data->inner = chunk->getData();
        chunk->setData(data);
    }
    return chunk;
}

} // namespace iw44test

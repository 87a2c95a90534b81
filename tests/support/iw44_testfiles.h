// Test helpers for IW44: reading DjVu fixtures (a minimal IFF walk, enough to pull out the
// BG44/FG44 payloads), PNM reference images, and decoding chunks from memory.
#pragma once

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include "djv_chunk.h"
#include "djv_iw44.h"
#include "vtx_exception.h"
#include "vtx_stream.h"

namespace iw44test {

using Bytes = std::vector<uint8_t>;

inline std::string fixture(const std::string& name) { return std::string(VTX_FIXTURE_DIR) + "/iw44/" + name; }

inline Bytes readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

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

struct Pnm {
    uint32_t width = 0, height = 0, channels = 0;
    Bytes pixels;
};

inline Pnm readPnm(const std::string& path)
{
    Pnm img;
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return img;
    char magic[3] = {};
    unsigned w = 0, h = 0, maxval = 0;
    if (std::fscanf(f, "%2s %u %u %u", magic, &w, &h, &maxval) == 4 && std::fgetc(f) != EOF) {
        img.channels = std::string(magic) == "P6" ? 3 : 1;
        img.width = w;
        img.height = h;
        img.pixels.resize(size_t(w) * h * img.channels);
        if (std::fread(img.pixels.data(), 1, img.pixels.size(), f) != img.pixels.size()) img.pixels.clear();
    }
    std::fclose(f);
    return img;
}

// A decoder fed with the given chunks through memory streams.
inline Vantorix::AutoPtr<Vantorix::DjVu::IW44::IW44Decoder> decodeAll(const std::vector<Bytes>& chunks)
{
    auto decoder = Vantorix::DjVu::IW44::IW44Decoder::create();
    for (const Bytes& c : chunks) {
        auto stream = Vantorix::MemoryStorage::create(c.data(), uint32_t(c.size()));
        decoder->decode(stream.get());
    }
    return decoder;
}

// Just enough of a leaf chunk to hand a payload to a decoder or renderer. Without bytes it has
// no data; with `streamless` its data offers no stream.
class TestData : public Vantorix::DjVu::Data {
public:
    TestData(const Bytes& bytes, bool streamless) : bytes_(bytes), streamless_(streamless) {}
    const uint8_t* getBytes() override { return bytes_.data(); }
    uint32_t getLength() override { return uint32_t(bytes_.size()); }
    Vantorix::AutoPtr<Vantorix::Storage> getStream(bool) override
    {
        if (streamless_) return nullptr;
        return Vantorix::MemoryStorage::create(bytes_.data(), uint32_t(bytes_.size()));
    }
    void load() override {}
    Vantorix::AutoPtr<Vantorix::DjVu::Data> clone() override { return Vantorix::makeAuto<TestData>(bytes_, streamless_); }
    void compact() override {}
    void lock() override {}
    void unlock() override {}

private:
    Bytes bytes_;
    bool streamless_;
};

class TestChunk : public Vantorix::DjVu::Chunk {
public:
    TestChunk(const char* id, Vantorix::AutoPtr<Vantorix::DjVu::Data> data) : id_(id), data_(data) {}
    static Vantorix::AutoPtr<Vantorix::DjVu::Chunk> make(const char* id, const Bytes& bytes, bool streamless = false)
    {
        return Vantorix::makeAuto<TestChunk>(id, Vantorix::makeAuto<TestData>(bytes, streamless));
    }
    static Vantorix::AutoPtr<Vantorix::DjVu::Chunk> empty(const char* id)
    {
        return Vantorix::makeAuto<TestChunk>(id, nullptr);
    }
    Vantorix::String getId() override { return id_; }
    Vantorix::AutoPtr<Vantorix::DjVu::Data> getData() override { return data_; }
    void setData(const Vantorix::AutoPtr<Vantorix::DjVu::Data>& data) override { data_ = data; }
    Vantorix::DjVu::ChunkArray& getChildren() override { VTX_THROW(26, "Not a collection chunk!", "TestChunk"); }
    int32_t find(const Vantorix::String&, const Vantorix::String&, int32_t, bool) override { return -1; }
    int32_t find(const Vantorix::String&, int32_t, bool) override { return -1; }
    bool isRedirector() override { return false; }
    bool isAvailable() override { return true; }
    bool isCollection() override { return false; }
    void loadAll(Vantorix::DjVu::ChunkCallback, void*) override {}
    void compact() override {}
    void lock() override {}
    void unlock() override {}

private:
    Vantorix::String id_;
    Vantorix::AutoPtr<Vantorix::DjVu::Data> data_;
};

// Runs f, which must throw; returns the exception's code and message line ("" if it did not
// throw).
template <class F>
std::pair<int32_t, std::string> thrown(F&& f)
{
    try {
        f();
    } catch (const Vantorix::Exception& e) {
        return {e.getCode(), e.what()};
    }
    return {0, ""};
}

inline bool contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// First differing byte as "pixel (x, y) channel c: got g, want w", or "" when equal.
inline std::string firstDifference(const Bytes& got, const Bytes& want, uint32_t width, uint32_t channels)
{
    if (got.size() != want.size()) return "sizes differ";
    for (size_t i = 0; i < got.size(); ++i) {
        if (got[i] != want[i]) {
            size_t px = i / channels;
            char buf[160];
            std::snprintf(buf, sizeof buf, "pixel (%zu, %zu) channel %zu: got %u, want %u", px % width, px / width,
                          i % channels, got[i], want[i]);
            return buf;
        }
    }
    return "";
}

} // namespace iw44test

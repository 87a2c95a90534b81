// The mask-driven slice decoder against a plain one that walks every coefficient with a state
// byte each, on random streams and on the coded data of grey c44 images: after every slice
// the coefficients, the adaptive contexts and the next decision of the coder must agree.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "djv_iw44codec.h"
#include "iw44_testfiles.h"
#include "vtx_exception.h"

using namespace Vantorix;
using namespace Vantorix::DjVu;
using namespace Vantorix::DjVu::IW44;
using namespace iw44test;

namespace {

enum : uint8_t { kZero = 1, kActive = 2, kNew = 4, kUnk = 8 };

// One slice, coefficient by coefficient. The steps are taken from the decoder under test
// before its own slice, so only the coefficient decoding is compared.
struct PlainComponent : ComponentCodec {
    explicit PlainComponent(uint32_t w, uint32_t h) : map(makeAuto<Map>(w, h, kImageByteLimit)) {}

    void decodeSlice(ZPDecoder& zp, uint32_t band)
    {
        bool null = band > 0 && quantHi[band] >= 0x8000;
        if (band == 0) {
            null = true;
            for (int k = 0; k < 16; ++k) {
                coeffState[k] = quantLo[k] >= 0x8000 ? kZero : kUnk;
                null &= coeffState[k] == kZero;
            }
        }
        if (null) return;
        for (uint32_t by = 0; by < map->getBlocksHigh(); ++by)
            for (uint32_t bx = 0; bx < map->getBlocksWide(); ++bx) {
                Map::Block* row = map->getRow(by);
                Map::Block scratch = {};
                decodeBlock(zp, row ? row[bx] : scratch, band);
                if (!row && std::memcmp(&scratch, &Map::kEmptyBlock, sizeof scratch) != 0) map->makeRow(by)[bx] = scratch;
            }
    }

    void decodeBlock(ZPDecoder& zp, Map::Block& block, uint32_t band)
    {
        const uint32_t first = kBandFirstBucket[band], nb = kBandBuckets[band];
        uint8_t blockState = 0;
        for (uint32_t i = 0; i < nb; ++i) {
            const int16_t* b = Map::getBucket(block, first + i);
            bucketState[i] = 0;
            for (uint32_t k = 0; k < 16; ++k) {
                uint8_t& cs = coeffState[16 * i + k];
                if (band > 0 || cs != kZero) cs = b && b[k] ? kActive : kUnk;
                bucketState[i] |= cs;
            }
            blockState |= bucketState[i];
        }
        if (nb < 16 || (blockState & kActive) || ((blockState & kUnk) && zp.decode(ctxRoot))) {
            for (uint32_t i = 0; i < nb; ++i) {
                if (!(bucketState[i] & kUnk)) continue;
                uint32_t c = 0;
                for (uint32_t j = 0; band > 0 && j < 4; ++j) {
                    const uint32_t parent = 4 * (first + i) + j;
                    const int16_t* pb = Map::getBucket(block, parent >> 4);
                    c += pb && pb[parent & 15] ? 1 : 0;
                }
                if (zp.decode(ctxBucket[band][(c < 3 ? c : 3) + ((blockState & kActive) ? 4 : 0)]))
                    bucketState[i] |= kNew;
            }
            for (uint32_t i = 0; i < nb; ++i) {
                if (!(bucketState[i] & kNew)) continue;
                int16_t* b = map->makeBucket(block, first + i);
                uint32_t u = 0;
                for (uint32_t k = 0; k < 16; ++k) u += coeffState[16 * i + k] == kUnk;
                for (uint32_t k = 0; k < 16; ++k) {
                    if (coeffState[16 * i + k] != kUnk) continue;
                    if (zp.decode(ctxStart[(u < 7 ? u : 7) + ((bucketState[i] & kActive) ? 8 : 0)])) {
                        coeffState[16 * i + k] = kNew;
                        const int32_t t = step(band, k), v = t + (t >> 1) - (t >> 3);
                        b[k] = int16_t(zp.decodePassthroughIW44() ? -v : v);
                        u = 0;
                    } else if (u > 0) {
                        --u;
                    }
                }
            }
        }
        for (uint32_t i = 0; i < nb; ++i) {
            int16_t* b = Map::getBucket(block, first + i);
            for (uint32_t k = 0; k < 16; ++k) {
                if (coeffState[16 * i + k] != kActive) continue;
                const int32_t t = step(band, k), v = b[k];
                int32_t a = v < 0 ? -v : v;
                const bool adaptive = a <= 3 * t;
                a += adaptive ? t >> 2 : 0;
                const int bit = adaptive ? zp.decode(ctxMant) : zp.decodePassthroughIW44();
                a += bit ? (t >> 1) : (t >> 1) - t;
                b[k] = int16_t(v > 0 ? a : -a);
            }
        }
    }

    int32_t step(uint32_t band, uint32_t k) const { return int32_t(band == 0 ? quantLo[k] : quantHi[band]); }

    uint8_t coeffState[256] = {};
    uint8_t bucketState[16] = {};
    AutoPtr<Map> map;
};

std::vector<int16_t> coefficients(const Map& map)
{
    std::vector<int16_t> out;
    for (uint32_t by = 0; by < map.getBlocksHigh(); ++by)
        for (uint32_t bx = 0; bx < map.getBlocksWide(); ++bx) {
            const Map::Block* row = map.getRow(by);
            for (uint32_t n = 0; n < 64; ++n) {
                const int16_t* b = row ? Map::getBucket(row[bx], n) : nullptr;
                for (uint32_t k = 0; k < 16; ++k) out.push_back(b ? b[k] : 0);
            }
        }
    return out;
}

std::vector<uint8_t> contexts(const ComponentCodec& c)
{
    std::vector<uint8_t> out(std::begin(c.ctxStart), std::end(c.ctxStart));
    for (const auto& band : c.ctxBucket) out.insert(out.end(), std::begin(band), std::end(band));
    out.push_back(c.ctxMant);
    out.push_back(c.ctxRoot);
    return out;
}

// Both decoders side by side over the same chunks (slice data and slice count). With
// probeEachSlice one raw bit is drawn from both coders after every slice (it shifts the rest
// of the stream alike on both sides); otherwise only after each chunk, so that the coded data
// of a real image is decoded as coded.
void expectSameSlices(uint32_t w, uint32_t h, const std::vector<std::pair<Bytes, int>>& chunks, bool probeEachSlice,
                      const std::string& what)
{
    ComponentDecoder fast(makeAuto<Map>(w, h, kImageByteLimit));
    PlainComponent plain(w, h);
    int slice = 0;
    for (const auto& [data, slices] : chunks) {
        auto fastStream = vtxtest::streamOf(data), plainStream = vtxtest::streamOf(data);
        ZPDecoder fastZp(fastStream.get()), plainZp(plainStream.get());
        for (int s = 0; s < slices && fast.curBit >= 0; ++s, ++slice) {
            std::memcpy(plain.quantHi, fast.quantHi, sizeof plain.quantHi);
            std::memcpy(plain.quantLo, fast.quantLo, sizeof plain.quantLo);
            const uint32_t band = fast.curBand;
            plain.decodeSlice(plainZp, band);
            fast.decodeSlice(fastZp);
            ASSERT_EQ(coefficients(fast.getMap()), coefficients(*plain.map)) << what << " slice " << slice;
            ASSERT_EQ(contexts(fast), contexts(plain)) << what << " slice " << slice;
            if (probeEachSlice) {
                ASSERT_EQ(fastZp.decodePassthrough(), plainZp.decodePassthrough()) << what << " slice " << slice;
            }
        }
        for (int bit = 0; bit < 32; ++bit)
            ASSERT_EQ(fastZp.decodePassthrough(), plainZp.decodePassthrough()) << what << " after slice " << slice;
    }
}

// Random bytes of several densities (sparse bytes keep the blocks mostly empty, dense ones
// fill them) on images of one block, a ragged edge, several rows of blocks, and long rows
// (long runs of empty blocks).
TEST(IW44Slices, MaskDecoderEqualsPlainDecoderOnRandomStreams)
{
    std::mt19937 rng(4711);
    const struct {
        uint32_t w, h;
        int slices;
    } cases[] = {{1, 1, 200}, {32, 32, 120}, {45, 70, 80}, {130, 97, 60}, {300, 7, 60}, {7, 300, 60}, {2000, 70, 40}};
    for (const auto& c : cases) {
        for (uint32_t density : {0u, 2u, 8u}) {
            Bytes data(1 << 16);
            for (auto& b : data) b = uint8_t(density == 8 ? rng() : rng() & ((1u << density) - 1));
            expectSameSlices(c.w, c.h, {{data, c.slices}}, true,
                             std::to_string(c.w) + "x" + std::to_string(c.h) + " density " + std::to_string(density));
        }
    }
}

// The slice data of grey images as c44 coded them, chunk after chunk.
TEST(IW44Slices, MaskDecoderEqualsPlainDecoderOnCodedImages)
{
    for (const char* name : {"photo_grey.djvu", "detail_grey.djvu", "g157x113.djvu"}) {
        const std::vector<Bytes> chunks = djvuChunks(fixture(name));
        ASSERT_FALSE(chunks.empty()) << name;
        const Bytes& head = chunks[0];
        ASSERT_GE(head.size(), 9u) << name;
        const uint32_t w = uint32_t(head[4]) << 8 | head[5], h = uint32_t(head[6]) << 8 | head[7];
        std::vector<std::pair<Bytes, int>> data;
        for (size_t i = 0; i < chunks.size(); ++i) {
            const size_t skip = i > 0 ? 2 : head[3] == 2 ? 9 : 8;
            data.emplace_back(Bytes(chunks[i].begin() + ptrdiff_t(skip), chunks[i].end()), chunks[i][1]);
        }
        expectSameSlices(w, h, data, false, name);
    }
}

} // namespace

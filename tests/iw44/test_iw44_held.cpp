// The held last chunk: a layer decodes of its newest chunk only the slices that the render's
// reduction reads. Its pixels must be those of the fully decoded image at every subsample,
// whether the first render is coarse or fine, and a finer render after a coarse one must still
// be exact.
#include <gtest/gtest.h>

#include "djv_iw44decoder.h"
#include "djv_iw44renderer.h"
#include "iw44_testfiles.h"

using namespace Vantorix;
using namespace Vantorix::DjVu;
using namespace iw44test;

namespace {

constexpr uint32_t kSubsamples[] = {1, 2, 4, 8, 16, 32};

// Colour with chroma at half and full resolution, chroma delays of 0, 3, 7 and 10, no chroma,
// grey, one, two and three chunks, and sizes that are not multiples of a block.
const char* const kFiles[] = {"photo.djvu",         "photo_half.djvu",  "photo_delay3.djvu", "photo_full.djvu",
                              "photo_nocrcb.djvu",  "photo_grey.djvu",  "photo_grey150.djvu", "photo_slice20.djvu",
                              "c157x113.djvu",      "c129x70.djvu",     "c1x1.djvu",         "c300x7.djvu",
                              "c7x300.djvu",        "g157x113.djvu",    "detail.djvu",       "held_delay7.djvu",
                              "held_odd.djvu"};

AutoPtr<IW44::IW44DecoderImpl> held(const std::vector<Bytes>& chunks)
{
    auto d = makeAuto<IW44::IW44DecoderImpl>(nullptr, nullptr);
    for (const Bytes& c : chunks) d->hold(chunkOf("BG44", c));
    return d;
}

bool fits(IW44::IW44Decoder& d, uint32_t s) { return d.getWidth() / s > 0 && d.getHeight() / s > 0; }

class HeldChunk : public ::testing::TestWithParam<const char*> {
protected:
    void SetUp() override
    {
        chunks = djvuChunks(fixture(GetParam()));
        ASSERT_FALSE(chunks.empty());
        full = decodeAll(chunks);
    }
    std::vector<Bytes> chunks;
    AutoPtr<IW44::IW44Decoder> full;
};

// Each subsample as the first render of a fresh decoder, and after all coarser ones on another.
TEST_P(HeldChunk, FirstAndFinerRendersAreExact)
{
    auto coarseFirst = held(chunks);
    for (auto it = std::rbegin(kSubsamples); it != std::rend(kSubsamples); ++it) {
        if (!fits(*full, *it)) continue;
        const Bytes want = reduced(*full, *it);
        auto d = held(chunks);
        EXPECT_EQ(reduced(*d, *it), want) << "first render at subsample " << *it;
        // Whatever the render left undecoded is still there for the next chunk or a full decode.
        EXPECT_EQ(d->getChunkCount(), full->getChunkCount());
        EXPECT_EQ(reduced(*coarseFirst, *it), want) << "after coarser ones, subsample " << *it;
    }
}

// Each chunk but the last is decoded whole when the next one comes, also after a render.
TEST_P(HeldChunk, RendersBetweenChunksAreExact)
{
    auto d = makeAuto<IW44::IW44DecoderImpl>(nullptr, nullptr);
    auto partial = IW44::IW44Decoder::create();
    for (const Bytes& c : chunks) {
        d->hold(chunkOf("BG44", c));
        partial->decode(vtxtest::streamOf(c).get());
        for (uint32_t s : {32u, 8u}) {
            if (!fits(*full, s)) continue;
            EXPECT_EQ(reduced(*d, s), reduced(*partial, s)) << "subsample " << s;
        }
    }
    EXPECT_EQ(reduced(*d, 1), reduced(*full, 1));
}

INSTANTIATE_TEST_SUITE_P(Files, HeldChunk, ::testing::ValuesIn(kFiles));

// The layer renderer holds its chunks: a thumbnail first, then the image at its own size.
TEST(HeldChunkRenderer, ThumbnailThenFullSize)
{
    const std::vector<Bytes> chunks = djvuChunks(fixture("photo_delay3.djvu"));
    auto full = decodeAll(chunks);
    AutoPtr<Renderer> layer = RendererPrivate::IW44Renderer::create(chunkOf("BG44", chunks[0]), nullptr);
    for (size_t i = 1; i < chunks.size(); ++i) ASSERT_TRUE(layer->addChunk(chunkOf("BG44", chunks[i])));
    const uint32_t w = full->getWidth(), h = full->getHeight();
    for (uint32_t size : {w / 20, w}) {
        const uint32_t sh = h * size / w;
        Bytes ours(size_t(size) * sh * 3), want(ours.size());
        layer->render(ours.data(), int32_t(size * 3), Photometric::RGB, {0, 0, size, sh}, size, sh, nullptr, 0, 0, 0, 0);
        full->renderScaled(want.data(), int32_t(size * 3), Photometric::RGB, {0, 0, size, sh}, size, sh, 0, 0);
        EXPECT_EQ(ours, want) << size << " wide";
    }
}

} // namespace

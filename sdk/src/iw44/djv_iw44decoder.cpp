#include "djv_iw44decoder.h"

#include <algorithm>
#include <optional>

#include "djv_imageutils.h"
#include "djv_iw44colour.h"
#include "djv_iw44compose.h"
#include "djv_payload.h"
#include "djv_scaling.h"
#include "vtx_exception.h"

namespace Vantorix::DjVu::IW44 {
namespace {

constexpr const char* kDecode = "Vantorix::DjVu::IW44::IW44DecoderImpl::decode";
constexpr const char* kRender = "Vantorix::DjVu::IW44::IW44DecoderImpl::render";
constexpr const char* kCompose = "Vantorix::DjVu::IW44::ComponentDecoder::composeImage";

// The reduction level k of a subsample 32 >> k; anything else is refused.
uint32_t subsampleLevel(uint32_t subsample)
{
    uint32_t k = 0;
    while (k < 5 && (32u >> k) > subsample) ++k;
    if (subsample != (32u >> k))
        VTX_THROW(errInvalidParam, String::format("Invalid IW44 image sample_factor (%u != %u)", subsample, 32u >> k), kCompose);
    return k;
}

// The rectangle must be non-empty and inside the reduced image w x h.
void checkRect(const Rect& rect, uint32_t w, uint32_t h)
{
    if (rect.w == 0 || rect.h == 0 || uint64_t(rect.x) + rect.w > w || uint64_t(rect.y) + rect.h > h)
        VTX_THROW(errInvalidParam,
                  String::format("Invalid IW44 image (%u,%u) %ux%u out of %ux%u!", rect.x, rect.y, rect.w, rect.h, w,
                                 h),
                  kCompose);
}

} // namespace

void ComponentDecoder::composeImage(uint8_t* dst, int32_t dstStride, uint32_t subsample, const Rect& rect,
                                    uint32_t pixelStep, bool chromaHalf) const
{
    const uint32_t k = subsampleLevel(subsample);
    checkRect(rect, map->getWidth() / subsample, map->getHeight() / subsample);
    composeReduced(dst, dstStride, k, rect, pixelStep, chromaHalf);
}

IW44DecoderImpl::IW44DecoderImpl(ProgressCallback callback, void* data) : progressCallback(callback), userData(data)
{
}

AutoPtr<IW44Decoder> IW44Decoder::create(ProgressCallback progressCallback, void* userData)
{
    return makeAuto<IW44DecoderImpl>(progressCallback, userData);
}

namespace {

AutoPtr<Data> chunkData(const AutoPtr<Chunk>& chunk)
{
    if (!chunk) VTX_THROW(errInvalidParam, "inChunk is NULL.", kDecode);
    AutoPtr<Data> data = chunk->getData();
    if (!data) VTX_THROW(errInvalidParam, "inChunk has no data.", kDecode);
    return data;
}

AutoPtr<Storage> dataStream(const AutoPtr<Data>& data)
{
    AutoPtr<Storage> stream = data->getStream(true);
    if (!stream) VTX_THROW(errInvalidParam, "inChunk doesn't be compatible Stream.", kDecode);
    return stream;
}

} // namespace

bool IW44DecoderImpl::decode(const AutoPtr<Chunk>& chunk)
{
    return decode(dataStream(chunkData(chunk)).get());
}

void IW44DecoderImpl::hold(const AutoPtr<Chunk>& chunk)
{
    const AutoPtr<Data> data = chunkData(chunk);
    AutoPtr<Storage> stream = dataStream(data);
    // A chunk cut short by the end of its file is decoded whole now, so that its damage is
    // found where it always was, not skipped with the slices a render leaves out.
    if (data->getPresentLength() < data->getLength()) {
        decode(stream.get());
        return;
    }
    decodeHeld(10);
    const Header h = readHeader(stream.get());
    startChunk(h, *stream);
    held.emplace();
    try {
        held->storage = stream;
        held->zp.emplace(stream.get(), 0, 16);
    } catch (...) {
        held.reset();
        throw;
    }
    held->cursor = SliceCursor{h.serial, 0, h.slices};
    ++serial;
    holding.store(true, std::memory_order_release);
}

void IW44DecoderImpl::decodeHeld(uint32_t bands)
{
    if (!held) return;
    try {
        if (decodeSlices(*held->zp, held->cursor, bands) == SliceRun::Paused) return;
    } catch (...) {
        holding.store(false, std::memory_order_release);
        held.reset();
        throw;
    }
    holding.store(false, std::memory_order_release);
    held.reset();
}

IW44DecoderImpl::Header IW44DecoderImpl::readHeader(Stream* stream)
{
    constexpr const char* kReadHeader = "Vantorix::DjVu::IW44::IW44DecoderImpl::readHeader";
    Header h;
    uint8_t b[7];
    stream->readBytes(b, 2, true);
    if (b[0] != serial) VTX_THROW(errInvalidParam, "wrong serial number of the chunk.", kReadHeader);
    h.serial = b[0];
    h.slices = b[1];
    if (h.serial != 0) return h;
    stream->readBytes(b, 2, true);
    h.colour = (b[0] & 0x80) ? 0 : 1;
    const uint8_t major = b[0] & 0x7F, minor = b[1];
    if (major != 1 || minor > 2) VTX_THROW(errNotSupported, "version number of the IW44 data is not supported.", kReadHeader);
    stream->readBytes(b, 4, true);
    h.width = uint16_t((b[0] << 8) | b[1]);
    h.height = uint16_t((b[2] << 8) | b[3]);
    if (minor == 2) {
        stream->readBytes(b, 1, true);
        h.chromaDelay = b[0] & 0x7F;
        h.chromaHalf = (b[0] & 0x80) ? 0 : 1;
    }
    return h;
}

bool IW44DecoderImpl::decode(Stream* stream)
{
    if (!stream) VTX_THROW(errInvalidParam, "inStream is NULL.", kDecode);
    decodeHeld(10);
    const Header h = readHeader(stream);
    startChunk(h, *stream);
    ZPDecoder zp(stream, 0, 16);
    SliceCursor cursor{h.serial, 0, h.slices};
    if (decodeSlices(zp, cursor, 10) == SliceRun::Abandoned) return false;
    ++serial;
    return true;
}

void IW44DecoderImpl::startChunk(const Header& h, Stream& stream)
{
    if (h.serial == 0) {
        width = h.width;
        height = h.height;
        colour = h.colour;
        chromaDelay = h.chromaDelay;
        chromaHalf = h.chromaHalf;
        // A first chunk starts the image afresh, also after a first chunk that failed.
        sliceCount = 0;
        workLeft = kWorkAllowance;
        for (auto& c : components) c = nullptr;
        AutoPtr<MapBudget> budget = makeAuto<MapBudget>(kImageByteLimit);
        for (int i = 0; i < (colour ? 3 : 1); ++i)
            components[i] = makeAuto<ComponentDecoder>(makeAuto<Map>(width, height, budget));
    }
    workLeft += _Vtx_Internal_NS_::remainingBytes(stream) * kWorkPerByte;
}

IW44DecoderImpl::SliceRun IW44DecoderImpl::decodeSlices(ZPDecoder& zp, SliceCursor& cursor, uint32_t bands)
{
    while (cursor.next < cursor.slices) {
        if (!touchesBands(cursor.slices - cursor.next, bands)) return SliceRun::Paused;
        const uint32_t i = cursor.next++;
        spendSlice(*components[0]);
        int more = components[0]->decodeSlice(zp);
        if (colour && chromaDelay <= sliceCount) {
            spendSlice(*components[1]);
            spendSlice(*components[2]);
            more |= components[1]->decodeSlice(zp);
            more |= components[2]->decodeSlice(zp);
        }
        ++sliceCount;
        if (!more) break;
        if (progressCallback && progressCallback(this, cursor.serial, i, 0, userData) == 1) return SliceRun::Abandoned;
    }
    return SliceRun::Finished;
}

// Each component takes the bands in turn, one per slice; the chroma ones start at band 0 once
// chromaDelay slices have passed. Both cycles repeat every ten slices, so ten slices past the
// start of chroma tell as much as the whole rest of the chunk.
bool IW44DecoderImpl::touchesBands(uint32_t remaining, uint32_t bands) const
{
    if (bands >= 10) return true;
    const uint32_t chromaFrom = sliceCount > chromaDelay ? sliceCount : chromaDelay;
    const uint32_t horizon = std::min(remaining, chromaFrom - sliceCount + 10);
    for (uint32_t j = 0; j < horizon; ++j) {
        if ((components[0]->curBand + j) % 10 < bands) return true;
        if (colour && sliceCount + j >= chromaFrom && (components[1]->curBand + sliceCount + j - chromaFrom) % 10 < bands)
            return true;
    }
    return false;
}

void IW44DecoderImpl::spendSlice(const ComponentDecoder& component)
{
    const uint64_t blocks = uint64_t(component.getMap().getBlocksWide()) * component.getMap().getBlocksHigh();
    if (blocks > workLeft)
        VTX_THROW(errLimitExceeded, "IW44 image needs too much work for its data.",
                  "Vantorix::DjVu::IW44::IW44DecoderImpl::decode");
    workLeft -= blocks;
}

bool IW44DecoderImpl::isNextChunk(const AutoPtr<Chunk>& chunk)
{
    try {
        if (!chunk) return false;
        AutoPtr<Data> data = chunk->getData();
        if (!data) return false;
        AutoPtr<Storage> stream = data->getStream(true);
        return stream && isNextChunk(stream.get());
    } catch (const Exception& e) {
        // Memory running out says nothing about the chunk.
        if (e.getCode() == errOutOfMemory) throw;
        return false;
    }
}

bool IW44DecoderImpl::isNextChunk(Stream* stream)
{
    if (!stream) return false;
    try {
        auto* storage = dynamic_cast<Storage*>(stream);
        const uint64_t pos = storage ? storage->getPos() : 0;
        uint8_t first = 0;
        const bool read = stream->readBytes(&first, 1, false) == 1;
        if (storage) storage->setPos(pos);
        return read && first == serial;
    } catch (const Exception& e) {
        if (e.getCode() == errOutOfMemory) throw;
        return false;
    }
}

void IW44DecoderImpl::render(uint8_t* dst, int32_t dstStride, Photometric photometric, uint32_t subsample,
                             const Rect* rect)
{
    if (!components[0]) VTX_THROW(errNotInitialized, "There are no decoded image yet.", kRender);
    if (uint32_t(photometric) > uint32_t(Photometric::YCbCr)) VTX_THROW(errInvalidParam, "Unknown photometric!", kRender);

    const uint32_t level = subsampleLevel(subsample);
    const uint32_t rw = width / subsample, rh = height / subsample;
    // Planes run bottom-up: the top-down rectangle is turned over, and so is the output.
    Rect plane{0, 0, rw, rh};
    if (rect) plane = Rect{rect->x, rh - rect->y - rect->h, rect->w, rect->h};
    checkRect(plane, rw, rh);
    std::optional<AutoLock> guard;
    if (holding.load(std::memory_order_acquire)) {
        guard.emplace(heldMutex);
        decodeHeld(bandsRead(level));
    }

    const bool whole = subsample == 1 && !rect;
    const int count = (colour && photometric != Photometric::Gray) ? 3 : 1;
    std::optional<ComponentRows> rows[3];
    for (int c = 0; c < count; ++c) {
        const bool half = c > 0 && chromaHalf;
        if (whole)
            rows[c].emplace(*components[c], half);
        else
            rows[c].emplace(*components[c], level, plane, half);
    }
    // Plane row 0 is the bottom row of the output.
    for (uint32_t y = 0; y < plane.h; ++y) {
        SampleRows in;
        in.y = rows[0]->row(y);
        if (count == 3) {
            in.cb = rows[1]->row(y);
            in.cr = rows[2]->row(y);
            in.halfColumns = rows[1]->halfColumns();
        }
        emitRow(Imaging::rowAt(dst, dstStride, plane.h - 1 - y), in, plane.w, photometric, colour != 0);
    }
}

uint32_t reductionFor(uint32_t width, uint32_t height, uint32_t scaledW, uint32_t scaledH)
{
    uint32_t r = 1;
    if (scaledW && scaledH) {
        const uint32_t rx = (width + scaledW - 1) / scaledW, ry = (height + scaledH - 1) / scaledH;
        r = rx < ry ? rx : ry;
    }
    uint32_t s = 1;
    while (s < r && s < 32) s <<= 1;
    return s;
}

void IW44DecoderImpl::renderScaled(uint8_t* dst, int32_t dstStride, Photometric photometric, const Rect& rect,
                                   uint32_t outWidth, uint32_t outHeight, uint32_t rotation, uint32_t flags)
{
    constexpr const char* kRenderScaled = "Vantorix::DjVu::IW44::IW44DecoderImpl::renderScaled";
    if (rotation > 3) VTX_THROW(errInvalidParam, "errInvalidParam", kRenderScaled);
    if (rect.w == 0 || rect.h == 0) return;
    const bool quarter = rotation == 1 || rotation == 3;
    // The displayed size, and the unrotated size that the image is scaled to.
    const uint32_t shownW = outWidth ? outWidth : (quarter ? height : width);
    const uint32_t shownH = outHeight ? outHeight : (quarter ? width : height);
    const uint32_t scaledW = quarter ? shownH : shownW, scaledH = quarter ? shownW : shownH;

    const uint32_t s = reductionFor(width, height, scaledW, scaledH);
    const uint32_t reducedW = width / s, reducedH = height / s;
    if (rotation == 0 && scaledW == reducedW && scaledH == reducedH && rect == Rect{0, 0, reducedW, reducedH}) {
        // Nothing to scale: straight into the caller's buffer.
        render(dst, dstStride, photometric, s, nullptr);
        return;
    }
    ImageUtils::SimpleImage reduced(reducedW, reducedH, photometric);
    render(reduced.getPixels(), int32_t(reduced.getStride()), photometric, s, nullptr);
    const uint8_t* src = reduced.getPixels();
    const int32_t srcStride = int32_t(reduced.getStride());

    Imaging::drawTurned(dst, dstStride, photometric, rect, shownW, shownH, rotation,
                        [&](uint8_t* upright, int32_t uprightStride, const Rect& part) {
                            Imaging::resample(upright, uprightStride, part, scaledW, scaledH, src, srcStride,
                                              reducedW, reducedH, photometric, flags);
                        });
}

} // namespace Vantorix::DjVu::IW44

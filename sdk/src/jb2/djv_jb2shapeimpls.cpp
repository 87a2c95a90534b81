#include "djv_jb2shapeimpls.h"

#include <bit>
#include <cstring>

#include "vtx_exception.h"
#include "vtx_syncobjs.h"

namespace Vantorix::DjVu::JB2 {

static_assert(std::endian::native == std::endian::little, "bit packing assumes a little-endian machine");

namespace {

void packRowAny(const uint8_t* bytes, uint32_t width, uint8_t* out)
{
    uint32_t x = 0;
    for (; x + 8 <= width; x += 8) {
        uint8_t v = 0;
        for (int k = 0; k < 8; ++k) v = uint8_t((v << 1) | (bytes[x + k] != 0));
        *out++ = v;
    }
    if (x < width) {
        uint8_t v = 0;
        for (uint32_t k = 0; x + k < width; ++k) v |= uint8_t((bytes[x + k] != 0) << (7 - k));
        *out = v;
    }
}

ShapeBitmap packBytes(uint32_t width, uint32_t height, int32_t stride, const uint8_t* pixels)
{
    ShapeBitmap bitmap(width, height);
    for (uint32_t y = 0; y < height; ++y)
        packRowAny(pixels + int64_t(y) * stride, width, bitmap.getRow(y));
    return bitmap;
}

void checkNormalOrNonMark(ShapeType type)
{
    if (type != Normal && type != NonMark)
        VTX_THROW(errOperationFailed, "This function si only for Normal and NonMark Shape!", "Vantorix::DjVu::JB2::Shape::create");
}

void checkReference(const AutoPtr<Shape>& reference, const char* function)
{
    if (!reference || reference->getType() == Matched)
        VTX_THROW(errOperationFailed, "Refinement target should not be matched shape!", function);
}

} // namespace

namespace {
uint32_t checkedByteCount(uint32_t width, uint32_t height)
{
    uint64_t bytes = uint64_t(height) * ((uint64_t(width) + 7) >> 3);
    if (bytes >= (uint64_t(1) << 31))
        VTX_THROW(errOperationFailed, "SimpleArray: The size of the memory block exceeds 2GB, we could not deal with the request!",
                  "Vantorix::DjVu::JB2::ShapeBitmap::ShapeBitmap");
    return uint32_t(bytes);
}
} // namespace

// Exact capacities (bitmaps are many and never grow), plus the zero padding behind the rows.
ShapeBitmap::ShapeBitmap(uint32_t width, uint32_t height) : width_(width), height_(height)
{
    const uint32_t count = checkedByteCount(width, height);
    if (!count) return;
    bits_ = ByteArray(count, int64_t(count) + kPadding);
    std::memset(bits_.data(), 0, size_t(count) + kPadding);
}

ShapeBitmap::ShapeBitmap(const ShapeBitmap& other) : width_(other.width_), height_(other.height_)
{
    const uint32_t count = other.bits_.size();
    if (!count) return;
    bits_ = ByteArray(count, int64_t(count) + kPadding);
    std::memcpy(bits_.data(), other.bits_.data(), size_t(count) + kPadding);
}

ShapeBitmap& ShapeBitmap::operator=(const ShapeBitmap& other)
{
    if (this != &other) *this = ShapeBitmap(other);
    return *this;
}

BoundingBox computeBoundingBox(const ShapeBitmap& bitmap)
{
    const uint32_t w = bitmap.getWidth(), h = bitmap.getHeight(), rowBytes = bitmap.getRowBytes();
    auto rowIsWhite = [&](uint32_t y) {
        const uint8_t* r = bitmap.getRow(y);
        for (uint32_t i = 0; i < rowBytes; ++i)
            if (r[i]) return false;
        return true;
    };
    uint32_t top = 0;
    while (top < h && rowIsWhite(top)) ++top;
    if (top == h) return BoundingBox{int32_t(w), int32_t(h), 0, 0};
    uint32_t bottom = h - 1;
    while (rowIsWhite(bottom)) --bottom;

    // The first and last bytes any of the rows top..bottom has set: each row is read only in the
    // white margins left so far, which on a tight shape are a byte or two.
    uint32_t first = rowBytes, last = 0;
    for (uint32_t y = top; y <= bottom; ++y) {
        const uint8_t* r = bitmap.getRow(y);
        uint32_t i = 0;
        while (i < first && !r[i]) ++i;
        first = i;
        uint32_t j = rowBytes;
        while (j > last + 1 && !r[j - 1]) --j;
        last = j - 1;
    }
    // Then the bits of those two bytes, over the same rows.
    uint8_t firstBits = 0, lastBits = 0;
    for (uint32_t y = top; y <= bottom; ++y) {
        const uint8_t* r = bitmap.getRow(y);
        firstBits |= r[first];
        lastBits |= r[last];
    }
    int32_t left = int32_t(first * 8 + std::countl_zero(firstBits));
    int32_t trailing = int32_t((rowBytes - 1 - last) * 8 + std::countr_zero(lastBits));
    return BoundingBox{left, int32_t(top), int32_t(rowBytes * 8) - trailing - left, int32_t(bottom - top + 1)};
}

ShapeImpl::ShapeImpl(ShapeType type, const AutoPtr<Shape>& reference, uint32_t x, uint32_t y, ShapeBitmap&& bitmap,
                     bool hasBitmap)
    : type_(type), reference_(reference), x_(x), y_(y), bitmap_(std::move(bitmap)), hasBitmap_(hasBitmap)
{
}

namespace {
// Unpacking a compact shape for getBitmap() is rare; one lock serves every shape.
Mutex& unpackLock()
{
    static Mutex lock;
    return lock;
}
} // namespace

uint32_t ShapeImpl::getWidth() const
{
    const ShapePixels p = getPixels();
    return p.runs ? p.runs->getWidth() : p.bitmap->getWidth();
}

uint32_t ShapeImpl::getHeight() const
{
    const ShapePixels p = getPixels();
    return p.runs ? p.runs->getHeight() : p.bitmap->getHeight();
}

const ShapeBitmap* ShapeImpl::getBitmap() const
{
    if (!hasBitmap_) return reference_->getBitmap();
    if (compact_ && !unpacked_.load(std::memory_order_acquire)) {
        AutoLock hold(unpackLock());
        if (!unpacked_.load(std::memory_order_relaxed)) {
            bitmap_ = runs_.toBitmap();
            unpacked_.store(true, std::memory_order_release);
        }
    }
    return &bitmap_;
}

ShapePixels ShapeImpl::getPixels() const
{
    if (!hasBitmap_) return reference_->getPixels();
    return compact_ ? ShapePixels{nullptr, &runs_} : ShapePixels{&bitmap_, nullptr};
}

void ShapeImpl::compactBitmap()
{
    if (!hasBitmap_ || compact_ || !ShapeRuns::make(bitmap_, runs_)) return;
    bitmap_ = ShapeBitmap();
    compact_ = true;
}

void ShapeImpl::dropRuns()
{
    runs_ = ShapeRuns();
    compact_ = false;
    unpacked_ = false;
}

void ShapeImpl::replaceBitmap(const ShapeBitmap& bitmap)
{
    if (!hasBitmap_) VTX_THROW(errOperationFailed, "Could not replace the bitmap", "Vantorix::DjVu::JB2::ShapeImpl::replaceBitmap");
    bitmap_ = bitmap;
    dropRuns();
}

void ShapeImpl::setRefinement(const AutoPtr<Shape>& reference)
{
    checkReference(reference, "Vantorix::DjVu::JB2::ShapeImpl::setRefinement");
    if (!hasBitmap_)
        VTX_THROW(errOperationFailed, "Could not refine due to lack of bitmap!", "Vantorix::DjVu::JB2::ShapeImpl::setRefinement");
    type_ = Refined;
    reference_ = reference;
}

void ShapeImpl::setMatch(const AutoPtr<Shape>& reference)
{
    checkReference(reference, "Vantorix::DjVu::JB2::ShapeImpl::setMatch");
    if (!hasBitmap_)
        VTX_THROW(errOperationFailed, "Could not match due to lack of bitmap!", "Vantorix::DjVu::JB2::ShapeImpl::setMatch");
    type_ = Matched;
    reference_ = reference;
    bitmap_ = ShapeBitmap();
    dropRuns();
    hasBitmap_ = false;
}

AutoPtr<Shape> Shape::create(uint32_t width, uint32_t height, int32_t stride, const uint8_t* pixels, uint32_t x,
                             uint32_t y, ShapeType type)
{
    checkNormalOrNonMark(type);
    return makeAuto<ShapeImpl>(type, nullptr, x, y, packBytes(width, height, stride, pixels), true);
}

AutoPtr<Shape> Shape::create(const ShapeBitmap& bitmap, uint32_t x, uint32_t y, ShapeType type)
{
    checkNormalOrNonMark(type);
    return makeAuto<ShapeImpl>(type, nullptr, x, y, ShapeBitmap(bitmap), true);
}

AutoPtr<Shape> Shape::createRefined(const AutoPtr<Shape>& reference, uint32_t width, uint32_t height, int32_t stride,
                                    const uint8_t* pixels, uint32_t x, uint32_t y)
{
    checkReference(reference, "Vantorix::DjVu::JB2::Shape::create");
    return makeAuto<ShapeImpl>(Refined, reference, x, y, packBytes(width, height, stride, pixels), true);
}

AutoPtr<Shape> Shape::createRefined(const AutoPtr<Shape>& reference, const ShapeBitmap& bitmap, uint32_t x, uint32_t y)
{
    checkReference(reference, "Vantorix::DjVu::JB2::Shape::create");
    return makeAuto<ShapeImpl>(Refined, reference, x, y, ShapeBitmap(bitmap), true);
}

AutoPtr<Shape> Shape::createMatched(const AutoPtr<Shape>& reference, uint32_t x, uint32_t y)
{
    checkReference(reference, "Vantorix::DjVu::JB2::Shape::create");
    return makeAuto<ShapeImpl>(Matched, reference, x, y, ShapeBitmap(), false);
}

} // namespace Vantorix::DjVu::JB2

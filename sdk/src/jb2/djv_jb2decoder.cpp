#include "djv_jb2decoder.h"

#include <cstring>

#include "vtx_exception.h"

using namespace Vantorix;
using namespace Vantorix::DjVu;
using namespace Vantorix::DjVu::JB2;

namespace {

// The payload of a leaf chunk as a stream at its first byte.
AutoPtr<Stream> payloadOf(const AutoPtr<Chunk>& chunk, const char* function)
{
    if (!chunk) VTX_THROW(errInvalidParam, "errInvalidParam", function);
    AutoPtr<Data> data = chunk->getData();
    AutoPtr<Storage> storage = data ? data->getStream(true) : nullptr;
    if (!storage) VTX_THROW(errOperationFailed, "errOperationFailed", function);
    return AutoPtr<Stream>(storage);
}

} // namespace

namespace _Vtx_Internal_NS_ {

namespace {

void discardTrace(const String&) {}

std::atomic<JB2TraceSink> g_traceSink{&discardTrace};

void trace(const String& message) { g_traceSink.load(std::memory_order_relaxed)(message); }

} // namespace

JB2TraceSink setJB2TraceSink(JB2TraceSink sink)
{
    return g_traceSink.exchange(sink ? sink : &discardTrace);
}

JB2DictionaryImpl::JB2DictionaryImpl() : shapes_(0, 32) {}

JB2DictionaryImpl::JB2DictionaryImpl(Stream& stream) : shapes_(0, 32)
{
    JB2Decompressor::decodeDictionary(stream, shapes_, &library_);
    libraryValid_ = true;
}

ShapeArray& JB2DictionaryImpl::getShapesForChange()
{
    invalidate();
    libraryValid_ = false;
    return shapes_;
}

JB2PageImpl::JB2PageImpl(uint32_t width, uint32_t height) : width_(width), height_(height) {}

JB2PageImpl::JB2PageImpl(Stream& stream, const AutoPtr<JB2DictionaryImpl>& dictionary) : dictionary_(dictionary)
{
    if (!dictionary) {
        JB2Decompressor::decodePage(stream, width_, height_, shapes_, nullptr, nullptr);
        return;
    }
    AutoLock hold(dictionary->getReferenceLock());
    try {
        JB2Decompressor::decodePage(stream, width_, height_, shapes_, &dictionary->getShapes(),
                                    dictionary->getLibrary());
    } catch (...) {
        shapes_.clear();
        throw;
    }
}

JB2PageImpl::~JB2PageImpl()
{
    if (!dictionary_) return;
    AutoLock hold(dictionary_->getReferenceLock());
    shapes_.clear();
}

ShapeArray& JB2PageImpl::getShapesForChange()
{
    invalidate();
    return shapes_;
}

void JB2PageImpl::compact()
{
    if (dictionary_) dictionary_->compact();
    shapes_.compact();
}

void JB2PageImpl::invalidate()
{
    rowIndexBuilt_ = false;
    rowShapes_ = SimpleArray<const Shape*, 2>();
    bandStart_ = SimpleArray<uint32_t, 2>();
    rowEntries_ = SimpleArray<uint32_t, 2>();
}

AutoPtr<JB2Dictionary> JB2PageImpl::getDictionaryForChange()
{
    invalidate();
    return dictionary_;
}

void JB2PageImpl::addFGbz(const AutoPtr<Chunk>& chunk)
{
    addFGbz(payloadOf(chunk, "_Vtx_Internal_NS_::JB2PageImpl::addFGbz"));
}

void JB2PageImpl::addFGbz(const AutoPtr<Stream>& stream)
{
    if (hasFGbz_) VTX_THROW(errOperationFailed, "FGbz already loaded!", "_Vtx_Internal_NS_::JB2PageImpl::addFGbz");
    Compressor::decodeFGbz(stream, shapes_);
    hasFGbz_ = true;
}

void JB2PageImpl::buildRowIndex()
{
    static const char* const kFunction = "_Vtx_Internal_NS_::JB2PageImpl::buildRowIndex";
    invalidate();
    // Decoded pages are at most 262142 rows; a page made by hand could claim anything.
    if (height_ > (1u << 28)) VTX_THROW(errLimitExceeded, "JB2Page: the row index would be too large!", kFunction);
    // Exact capacities: the index lives as long as the page.
    constexpr uint32_t kShift = JB2RowSource::kBandShift;
    const uint32_t bands = uint32_t((uint64_t(height_) + (1u << kShift) - 1) >> kShift);
    bandStart_ = SimpleArray<uint32_t, 2>(bands + 1, bands + 1);
    std::memset(bandStart_.data(), 0, sizeof(uint32_t) * (size_t(bands) + 1));

    // Pass 1: keep the shapes that fit and count the entries of each band (as differences).
    rowShapes_.reserve(shapes_.size());
    uint64_t total = 0;
    for (uint32_t i = 0; i < shapes_.size(); ++i) {
        const Shape& shape = *shapes_[i];
        const uint32_t y = shape.getY();
        if (y >= height_) {
            trace(String::format("Ignored: Shape %u has invalid position (y=%u)\n", i, y));
            continue;
        }
        const uint32_t h = shape.getHeight();
        if (uint64_t(y) + h > height_) {
            trace(String::format("Ignored: Shape %u has invalid height (h=%u)\n", i, h));
            continue;
        }
        if (h == 0 || shape.getWidth() == 0) continue;
        rowShapes_.append(&shape);
        const uint32_t first = y >> kShift, end = ((y + h - 1) >> kShift) + 1;
        bandStart_[first] += 1;
        bandStart_[end] -= 1;
        total += end - first;
    }
    if (total >= (uint64_t(1) << 29)) VTX_THROW(errLimitExceeded, "JB2Page: the row index would be too large!", kFunction);

    // Running sum of the differences gives counts; an exclusive prefix sum gives the starts.
    uint32_t count = 0, start = 0;
    for (uint32_t b = 0; b <= bands; ++b) {
        count += bandStart_[b];
        bandStart_[b] = start;
        start += count;
    }

    // Pass 2: fill in page order, so every band lists its shapes in page order too.
    rowEntries_ = SimpleArray<uint32_t, 2>(uint32_t(total), int64_t(total));
    SimpleArray<uint32_t, 2> next(bandStart_);
    for (uint32_t k = 0; k < rowShapes_.size(); ++k) {
        const uint32_t top = rowShapes_[k]->getY(), bottom = top + rowShapes_[k]->getHeight();
        for (uint32_t b = top >> kShift; b <= (bottom - 1) >> kShift; ++b) rowEntries_[next[b]++] = k;
    }
    rowIndexBuilt_ = true;
}

JB2RowSource JB2PageImpl::getRowSource()
{
    if (!rowIndexBuilt_) buildRowIndex();
    return JB2RowSource(rowShapes_.data(), bandStart_.data(), rowEntries_.data(), height_);
}

} // namespace _Vtx_Internal_NS_

namespace Vantorix::DjVu::JB2 {

AutoPtr<JB2Dictionary> JB2Dictionary::create(const AutoPtr<Chunk>& chunk)
{
    return create(payloadOf(chunk, "Vantorix::DjVu::JB2::JB2Dictionary::create"));
}

AutoPtr<JB2Dictionary> JB2Dictionary::create(const AutoPtr<Stream>& stream)
{
    if (!stream) VTX_THROW(errInvalidParam, "errInvalidParam", "Vantorix::DjVu::JB2::JB2Dictionary::create");
    return makeAuto<_Vtx_Internal_NS_::JB2DictionaryImpl>(*stream);
}

AutoPtr<JB2Dictionary> JB2Dictionary::create()
{
    return makeAuto<_Vtx_Internal_NS_::JB2DictionaryImpl>();
}

AutoPtr<JB2Page> JB2Page::create(const AutoPtr<Chunk>& chunk, const AutoPtr<JB2Dictionary>& dictionary)
{
    return create(payloadOf(chunk, "Vantorix::DjVu::JB2::JB2Page::create"), dictionary);
}

AutoPtr<JB2Page> JB2Page::create(const AutoPtr<Stream>& stream, const AutoPtr<JB2Dictionary>& dictionary)
{
    if (!stream) VTX_THROW(errInvalidParam, "errInvalidParam", "Vantorix::DjVu::JB2::JB2Page::create");
    using _Vtx_Internal_NS_::JB2DictionaryImpl;
    AutoPtr<JB2DictionaryImpl> impl(dynamic_cast<JB2DictionaryImpl*>(dictionary.get()));
    return makeAuto<_Vtx_Internal_NS_::JB2PageImpl>(*stream, impl);
}

AutoPtr<JB2Page> JB2Page::create(uint32_t width, uint32_t height)
{
    return makeAuto<_Vtx_Internal_NS_::JB2PageImpl>(width, height);
}

} // namespace Vantorix::DjVu::JB2

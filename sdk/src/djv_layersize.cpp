#include "djv_layersize.h"

#include "djv_imageutils.h"
#include "djv_payload.h"
#include "vtx_exception.h"

namespace _Vtx_Internal_NS_ {

using namespace Vantorix;
using namespace Vantorix::DjVu;

namespace {

std::optional<LayerSize> readIW44Size(Stream& stream)
{
    if (readBigEndian(stream, 1) != 0) return std::nullopt; // only the first chunk has a header
    readBigEndian(stream, 3);                                 // slices and version
    LayerSize size;
    size.width = readBigEndian(stream, 2);
    size.height = readBigEndian(stream, 2);
    return size;
}

std::optional<LayerSize> readMMRSize(Stream& stream)
{
    readBigEndian(stream, 4); // the magic, checked by the decoder
    LayerSize size;
    size.width = readBigEndian(stream, 2);
    size.height = readBigEndian(stream, 2);
    return size;
}

} // namespace

std::optional<LayerSize> peekLayerSize(Chunk& chunk)
{
    const String id = chunk.getId();
    const bool iw44 = id == "BG44" || id == "FG44";
    if (!iw44 && id != "Smmr") return std::nullopt;
    AutoPtr<Data> data = chunk.getData();
    AutoPtr<Storage> stream = data ? data->getStream(true) : AutoPtr<Storage>();
    if (!stream) return std::nullopt;
    try {
        return iw44 ? readIW44Size(*stream) : readMMRSize(*stream);
    } catch (const Exception&) {
        return std::nullopt; // too short: the decoder says what is wrong
    }
}

void checkLayerSize(const String& chunkId, LayerKind kind, const LayerSize& size, const PageInfo& page)
{
    const bool image = kind == LayerKind::Background || kind == LayerKind::Foreground;
    bool fits = false;
    for (uint32_t k = 1; k <= (image ? kMaxLayerReduction : 1) && !fits; ++k) {
        uint32_t w = 0, h = 0;
        ImageUtils::estimateSubsampledSize(&w, &h, page.width, page.height, k);
        fits = size.width == w && size.height == h;
    }
    if (!fits)
        VTX_THROW(errDataBroken, String("Incorrect size in ") + chunkId + String(" chunk"),
                  "_Vtx_Internal_NS_::checkLayerSize");
}

} // namespace _Vtx_Internal_NS_

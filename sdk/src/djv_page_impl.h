// The page implementation: the INFO record, the one visit of the page's chunks, and the step
// that turns each chunk into a layer.
#pragma once

#include <atomic>
#include <functional>
#include <map>

#include "djv_dictmap.h"
#include "djv_imageutils.h"
#include "djv_page.h"
#include "djv_renderer.h"
#include "djv_text.h"
#include "djv_annotation.h"

namespace _Vtx_Internal_NS_ {

class PageImpl : public Vantorix::DjVu::Page {
public:
    // dictMap: the document's shared-dictionary table, or null for a page on its own.
    PageImpl(const Vantorix::AutoPtr<Vantorix::DjVu::Chunk>& chunk, const Vantorix::AutoPtr<DictMap>& dictMap);

    uint32_t getWidth() override;
    uint32_t getHeight() override;
    uint32_t getStoredWidth() override { return getInfo().width; }
    uint32_t getStoredHeight() override { return getInfo().height; }
    uint32_t getDpi() override { return getInfo().dpi; }
    void setDpi(uint32_t dpi) override;
    uint32_t getRotation() override { return getInfo().getRotation(); }
    void setRotation(uint32_t rotation) override;
    const Vantorix::DjVu::PageInfo& getInfo() override;
    bool hasInfo() override
    {
        Vantorix::AutoLock hold(*chunk_);
        return info_.width != 0;
    }
    Vantorix::DjVu::Chunk* getChunk() override { return chunk_.get(); }
    const Vantorix::DjVu::Chunk* getChunk() const override { return chunk_.get(); }
    void visit(Vantorix::DjVu::Photometric photometric) override;
    int32_t getLastPhotometric() override { return lastPhotometric_; }
    void unload() override;
    void setChunkCallback(Vantorix::DjVu::ChunkCallback callback, void* context) override;
    void render(uint8_t* dst, int32_t dstStride, Vantorix::DjVu::Photometric photometric,
                const Vantorix::DjVu::Rect& rect, uint32_t width, uint32_t height, uint32_t layers,
                uint32_t flags) override;
    void render(uint8_t* dst, int32_t dstStride, Vantorix::DjVu::Photometric photometric,
                const Vantorix::DjVu::Rect& rect, uint32_t width, uint32_t height, uint32_t layers, uint32_t rotation,
                uint32_t flags) override;
    void renderBlackMask(uint8_t* dst, int32_t dstStride, Vantorix::DjVu::Photometric photometric,
                         const Vantorix::DjVu::Rect& rect, uint32_t width, uint32_t height, uint32_t flags) override;
    Vantorix::AutoPtr<Vantorix::DjVu::Chunk> getThumbnailChunk() override { return thumbnailChunk_; }
    void setThumbnailChunk(const Vantorix::AutoPtr<Vantorix::DjVu::Chunk>& chunk) override { thumbnailChunk_ = chunk; }
    bool renderThumbnail(uint8_t* dst, int32_t dstStride, Vantorix::DjVu::Photometric photometric,
                         const Vantorix::DjVu::Rect& rect, uint32_t width, uint32_t height, uint32_t flags,
                         bool wholePage) override;
    Vantorix::AutoPtr<Vantorix::DjVu::Renderer> getMaskRenderer() override { return slot(LayerKind::Mask); }
    Vantorix::AutoPtr<Vantorix::DjVu::Renderer> getForegroundRenderer() override
    {
        return slot(LayerKind::Foreground);
    }
    Vantorix::AutoPtr<Vantorix::DjVu::Renderer> getBackgroundRenderer() override
    {
        return slot(LayerKind::Background);
    }
    Vantorix::AutoPtr<Vantorix::DjVu::TextZone> getText() override;
    Vantorix::AutoPtr<Vantorix::DjVu::Annotation> getAnnotation() override;

private:
    static void onChunk(void* self, Vantorix::DjVu::Chunk* chunk);
    void readInfo(Vantorix::DjVu::Chunk& infoChunk);
    // Hands one chunk of the page to the layer it belongs to.
    void buildLayer(const Vantorix::AutoPtr<Vantorix::DjVu::Chunk>& chunk);
    using LayerKind = Vantorix::DjVu::LayerKind;
    Vantorix::AutoPtr<Vantorix::DjVu::Renderer>& slot(LayerKind kind) { return layers_[int(kind) - 2]; }
    void dropLayers();
    // The foreground layer rendered in this photometric for a page drawn at width x height
    // (reduced when the page is), cached; null when the page has no foreground layer. Draws of
    // loaded pages take no page lock, so the cache is swapped under a lock of its own and each
    // draw keeps its own reference.
    Vantorix::AutoPtr<Vantorix::DjVu::ImageUtils::SimpleImage>
    prepareForeground(Vantorix::DjVu::Photometric photometric, uint32_t width, uint32_t height);
    // What render and renderBlackMask share: the visit (unless loaded-only), the default size,
    // the rectangle check (thrown as function), and the turn by rotation around drawUpright,
    // which gets the unturned part, its buffer and the unturned picture's size.
    using UprightDraw = std::function<void(uint8_t*, int32_t, const Vantorix::DjVu::Rect&, uint32_t, uint32_t)>;
    void drawPage(uint8_t* dst, int32_t dstStride, Vantorix::DjVu::Photometric photometric,
                  const Vantorix::DjVu::Rect& rect, uint32_t width, uint32_t height, uint32_t rotation,
                  uint32_t flags, const char* function, const UprightDraw& drawUpright);
    // Background (or white), then the mask, into the unrotated picture.
    void compose(uint8_t* dst, int32_t dstStride, Vantorix::DjVu::Photometric photometric,
                 const Vantorix::DjVu::Rect& rect, uint32_t width, uint32_t height, uint32_t layers, uint32_t flags);

    Vantorix::AutoPtr<Vantorix::DjVu::Chunk> chunk_;
    Vantorix::DjVu::PageInfo info_;
    Vantorix::AutoPtr<DictMap> dictMap_;
    std::map<Vantorix::String, Vantorix::AutoPtr<Vantorix::DjVu::Dictionary>> dictionaries_;
    Vantorix::AutoPtr<Vantorix::DjVu::Renderer> layers_[3]; // mask, foreground, background
    Vantorix::AutoPtr<Vantorix::DjVu::ImageUtils::SimpleImage> foreground_;
    uint32_t foregroundReduction_ = 1; // of foreground_
    Vantorix::Mutex foregroundMutex_;  // guards foreground_ and foregroundReduction_
    Vantorix::AutoPtr<Vantorix::DjVu::Chunk> thumbnailChunk_;
    bool visited_ = false;
    std::atomic<int32_t> lastPhotometric_ = -1; // written by draws that may hold no lock
    Vantorix::DjVu::ChunkCallback callback_ = nullptr;
    void* callbackContext_ = nullptr;
    Vantorix::AutoPtr<Vantorix::DjVu::TextZone> text_;
    Vantorix::AutoPtr<Vantorix::DjVu::Annotation> annotation_;
};

} // namespace _Vtx_Internal_NS_

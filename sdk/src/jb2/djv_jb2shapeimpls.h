// Shapes and the small bitmap helpers shared by the decoder and the page.
#pragma once

#include <atomic>
#include <cstdint>

#include "djv_jb2.h"
#include "djv_jb2runs.h"

namespace Vantorix::DjVu::JB2 {

// Black-pixel box of a bitmap, in its own top-down coordinates. A white bitmap gives
// (width, height, 0, 0).
struct BoundingBox {
    int32_t left = 0, top = 0, width = 0, height = 0;
    bool operator==(const BoundingBox&) const = default;
};
BoundingBox computeBoundingBox(const ShapeBitmap& bitmap);


class ShapeImpl final : public Shape {
public:
    // The bitmap is taken over (moved); Matched shapes pass an empty one and hasBitmap false.
    ShapeImpl(ShapeType type, const AutoPtr<Shape>& reference, uint32_t x, uint32_t y, ShapeBitmap&& bitmap,
              bool hasBitmap);

    ShapeType getType() const override { return type_; }
    uint32_t getWidth() const override;
    uint32_t getHeight() const override;
    uint32_t getX() const override { return x_; }
    uint32_t getY() const override { return y_; }
    void setPosition(uint32_t x, uint32_t y) override { x_ = x; y_ = y; }
    Rect getRect() const override { return Rect{x_, y_, getWidth(), getHeight()}; }
    const ShapeBitmap* getBitmap() const override;
    void replaceBitmap(const ShapeBitmap& bitmap) override;
    void setRefinement(const AutoPtr<Shape>& reference) override;
    void setMatch(const AutoPtr<Shape>& reference) override;
    Color getColor() const override { return color_; }
    void setColor(const Color& color) override { color_ = color; }
    AutoPtr<Shape> getReference() const override { return reference_; }
    ShapePixels getPixels() const override;
    void compactBitmap() override;

private:
    void dropRuns();

    ShapeType type_;
    AutoPtr<Shape> reference_;
    uint32_t x_, y_;
    Color color_;
    // A compact shape holds runs_, and bitmap_ only once getBitmap() has unpacked them.
    mutable ShapeBitmap bitmap_;
    ShapeRuns runs_;
    bool hasBitmap_;
    bool compact_ = false;
    mutable std::atomic<bool> unpacked_{false};
};

} // namespace Vantorix::DjVu::JB2

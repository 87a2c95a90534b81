// Scaling, rotation and mirroring of byte images. Every byte of a pixel is an independent
// channel, so one routine per pixel width (1 to 4 bytes) serves all photometrics. Images are
// (address, signed stride, width, height); nothing here allocates the images it is given.
#pragma once

#include <cstdint>
#include <functional>

#include "djv_types.h"

namespace Vantorix::DjVu::Imaging {

// The source regarded as scaled to width x height; the part rect of that picture goes to dst
// (rect.w x rect.h pixels). Equal sizes copy; smaller in both directions shrinks (box method
// when the low byte of flags is not 0, else the interpolating method); anything else is
// bilinear enlargement.
void resample(uint8_t* dst, int32_t dstStride, const Rect& rect, uint32_t width, uint32_t height,
              const uint8_t* src, int32_t srcStride, uint32_t srcWidth, uint32_t srcHeight,
              Photometric photometric, uint32_t flags);

// dst receives srcHeight x srcWidth pixels, the source turned a quarter turn.
void rotate90(uint8_t* dst, int32_t dstStride, const uint8_t* src, int32_t srcStride, uint32_t srcWidth,
              uint32_t srcHeight, Photometric photometric, bool counterClockwise);

// Reverses the pixels of every row in place.
void horzMirror(uint8_t* pixels, int32_t stride, Photometric photometric, uint32_t width, uint32_t height);

// 0: copy rows; 1: quarter turn counter-clockwise; 3: clockwise; 2: rows reversed, written
// from dst towards lower addresses (pass the address of the last destination row).
void rotate(uint8_t* dst, int32_t dstStride, const uint8_t* src, int32_t srcStride, uint32_t width,
            uint32_t height, Photometric photometric, int quarterTurns);

// Draws a picture turned by rotation quarter turns (0 to 3, 1 counter-clockwise). The shown
// picture is shownWidth x shownHeight; its part rect goes to dst. drawUpright(dst, dstStride,
// uprightRect) draws the part uprightRect of the unturned picture: straight into dst for 0,
// into dst upside down (last row first, negative stride) before each row is mirrored for 2,
// and into a temporary image that is then turned for 1 and 3. An empty rect draws nothing.
void drawTurned(uint8_t* dst, int32_t dstStride, Photometric photometric, const Rect& rect, uint32_t shownWidth,
                uint32_t shownHeight, uint32_t rotation,
                const std::function<void(uint8_t*, int32_t, const Rect&)>& drawUpright);

} // namespace Vantorix::DjVu::Imaging

// The two bitmap templates of JB2, decoded on packed rows. Each pixel's context is kept in a
// register across the row: per pixel it shifts left by one and takes in the one new pixel of
// each row it reads (fetched a byte at a time into windows that shift along), so no neighbour
// is gathered pixel by pixel and rows are never unpacked to bytes.
#pragma once

#include <cstdint>

#include "djv_jb2.h"
#include "djv_zpdecoder.h"

namespace _Vtx_Internal_NS_ {

// Decodes every pixel of a zeroed bitmap under the context of its ten decoded neighbours (two
// rows above, two pixels to the left). zeros: getRowBytes() zero bytes, the rows above the top.
void decodeDirectRows(Vantorix::DjVu::ZPDecoder& zp, Vantorix::DjVu::BitContext* contexts,
                      Vantorix::DjVu::JB2::ShapeBitmap& bitmap, const uint8_t* zeros);

// A reference bitmap placed against the one being refined: pixel (x, y) of the new bitmap
// lies over pixel (x + dx, y + dy) of the reference.
struct RefinementReference {
    const Vantorix::DjVu::JB2::ShapeBitmap& bitmap;
    int64_t dx, dy;
};

// Decodes every pixel of a zeroed bitmap under the context of its four decoded neighbours and
// seven pixels of the reference around its own position. zeros as above; scratch: three rows
// of getRowBytes() + 2 bytes, each readable from one byte before its pointer.
void decodeRefinedRows(Vantorix::DjVu::ZPDecoder& zp, Vantorix::DjVu::BitContext* contexts,
                       Vantorix::DjVu::JB2::ShapeBitmap& bitmap, const RefinementReference& reference,
                       const uint8_t* zeros, uint8_t* const scratch[3]);

} // namespace _Vtx_Internal_NS_

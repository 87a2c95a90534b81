// PNG encoding by the platform's own means: libdeflate (libpng for large pictures) on POSIX
// systems, the Windows Imaging Component on Windows. Private to image_output.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "image_output.h"

namespace Tessaline {

// Sample order of an output file's rows.
enum class Samples { Gray, RGB, BGR };

// Row y of the picture in the samples an output file wants (1 byte a pixel for Gray, else 3).
void samplesOfRow(const PixelView& v, uint32_t y, Samples out, uint8_t* dst);

// Writes the picture to file as an 8-bit PNG: grey when gray is true (the caller has made sure
// that every pixel is grey, or the view's layout is Gray), else colour. Returns false when the encoder fails, with *error saying why when it can (empty when the file
// could not be written: the caller sees that through ferror). Safe on any thread.
bool encodePng(const PixelView& v, bool gray, FILE* file, std::string* error);

} // namespace Tessaline

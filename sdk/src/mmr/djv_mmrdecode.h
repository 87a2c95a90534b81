// MMR (ITU-T T.6, Group 4) decoding of Smmr masks.
//
// A row is handed out as run lengths that alternate white, black, white, ... and sum to the
// width, followed by two zero entries. Each row is coded against the previous one (the
// reference row), so the decoder keeps two run lists and swaps them per row. Positions on the
// reference row are walked through a running prefix sum b1 of its runs; the index p of the next
// reference run only ever moves inside that list (hostile code cannot push it out).
//
// The bit reader keeps a 32-bit window, most significant bit first, refilled a byte at a time;
// past the end of the data (or of a stripe) it shifts in zero bits, which decode as an unknown
// code soon after, so truncated input ends in an Exception and never loops.
#pragma once

#include <cstdint>

#include "vtx_memory.h"
#include "vtx_stream.h"

namespace _Vtx_Internal_NS_ {

// One prefix code, left-aligned in the table's index bits. A list ends with codelen 0.
struct VLCode {
    uint16_t code;
    uint16_t codelen;
    uint16_t value;
    bool operator==(const VLCode&) const = default;
};

// The lists compiled from t4_codes.tsv: 9 mode codes (values below), 104 white and 104 black run
// codes (terminating 0..63, make-up 64..1728, extended make-up 1792..2560). Static storage.
enum MMRMode : uint16_t { mmrPass, mmrHorizontal, mmrV0, mmrVR1, mmrVR2, mmrVR3, mmrVL1, mmrVL2, mmrVL3 };
const VLCode* mmrModeCodes();  // 7 index bits
const VLCode* mmrWhiteCodes(); // 13 index bits
const VLCode* mmrBlackCodes(); // 13 index bits

// Bit reader over the Smmr payload. With stripes, each stripe is a 4-byte big-endian byte
// count and that many bytes; reading never crosses into the next stripe.
class VLSource : public Vantorix::Referable {
public:
    // Reads the first stripe's byte count when striped (exact read: throws on a short stream).
    VLSource(const Vantorix::AutoPtr<Vantorix::Stream>& stream, bool striped);

    // The window, next bit at the top.
    uint32_t peek() const { return codeword_; }
    void shift(uint32_t n)
    {
        codeword_ <<= n;
        lowbits_ += n;
        if (lowbits_ >= 16) preload();
    }
    // Fills the window to at least 25 valid bits while the data lasts.
    void preload();
    // Skips what the current stripe has left and starts the next one.
    void nextstripe();

private:
    Vantorix::AutoPtr<Vantorix::Stream> stream_;
    uint32_t codeword_ = 0;
    uint32_t lowbits_ = 32;
    uint8_t buffer_[64];
    uint32_t bufmax_ = 0, bufpos_ = 0;
    uint32_t readmax_ = 0xFFFFFFFFu;
};

// Direct lookup table of one prefix code: 2^n bytes, each n-bit prefix mapped to its entry.
class VLTable : public Vantorix::Referable {
public:
    // Runs init; the list is not copied and must outlive the table.
    VLTable(const VLCode* codes, uint32_t nbits);
    // Throws 20 "Invalid MMR data!" (more than 14 bits or 256 codes or more), "Invalid MMR
    // codelen!" (a code longer than the index), "Bad MMR codebook!" (overlapping codes).
    void init(uint32_t nbits);
    // The value of the code at the top of the window (0xFFFF when none matches), consumed.
    uint32_t decode(VLSource& source) const
    {
        const VLCode& c = codes_[index_[source.peek() >> shift_]];
        source.shift(c.codelen);
        return c.value;
    }

private:
    const VLCode* codes_;
    uint32_t ncodes_ = 0;
    uint32_t nbits_ = 0, shift_ = 32;
    Vantorix::ByteArray index_;
};

class MMRDecoder : public Vantorix::Referable {
public:
    // Reads and checks the header. Throws 20 "Unrecognized header!" or "Invalid image size!";
    // a header cut short throws the stream's exception.
    explicit MMRDecoder(const Vantorix::AutoPtr<Vantorix::Stream>& stream);

    uint32_t getWidth() const { return width_; }
    uint32_t getHeight() const { return height_; }
    // Rows start with black instead of white.
    bool isInverted() const { return inverted_ != 0; }

    // The runs of the next row; end points at its two terminating zeros. Null (end untouched)
    // once every row was delivered or after an end-of-facsimile-block code. The list stays
    // valid until the next call. Throws 20 "Unknown MMR code!" or "MMR data broken!".
    const uint16_t* getScanline(const uint16_t*& end);

private:
    uint32_t decodeRun(const VLTable& table);
    [[noreturn]] static void broken();
    [[noreturn]] static void unknown();

    uint32_t width_ = 0, height_ = 0;
    uint8_t inverted_ = 0;
    uint32_t lineno_ = 0, striplineno_ = 0, rowsperstrip_ = 0;
    Vantorix::SimpleArray<uint16_t> lineruns_, prevruns_;
    uint32_t prevcount_ = 1; // runs in prevruns_ before its terminating zeros
    Vantorix::AutoPtr<VLSource> src_;
    const VLTable &mrtable_, &wtable_, &btable_; // shared by all decoders
};

} // namespace _Vtx_Internal_NS_

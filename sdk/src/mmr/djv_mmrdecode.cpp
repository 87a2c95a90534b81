#include "djv_mmrdecode.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "djv_payload.h"
#include "vtx_exception.h"

using namespace Vantorix;

namespace _Vtx_Internal_NS_ {

// ---- VLSource

VLSource::VLSource(const AutoPtr<Stream>& stream, bool striped) : stream_(stream)
{
    if (striped) readmax_ = readBigEndian(*stream_, 4);
    preload();
}

void VLSource::preload()
{
    while (lowbits_ >= 8) {
        if (bufpos_ >= bufmax_) {
            bufpos_ = bufmax_ = 0;
            uint32_t size = std::min<uint32_t>(sizeof buffer_, readmax_);
            if (size == 0) return;
            uint32_t got = stream_->readBytes(buffer_, size, false);
            if (got == 0) return;
            readmax_ -= got;
            bufmax_ = got;
        }
        lowbits_ -= 8;
        codeword_ |= uint32_t(buffer_[bufpos_++]) << lowbits_;
    }
}

void VLSource::nextstripe()
{
    while (readmax_ > 0) {
        uint32_t size = std::min<uint32_t>(sizeof buffer_, readmax_);
        stream_->readBytes(buffer_, size, true);
        readmax_ -= size;
    }
    bufpos_ = bufmax_ = 0;
    readmax_ = readBigEndian(*stream_, 4);
    codeword_ = 0;
    lowbits_ = 32;
    preload();
}

// ---- VLTable

VLTable::VLTable(const VLCode* codes, uint32_t nbits) : codes_(codes) { init(nbits); }

void VLTable::init(uint32_t nbits)
{
    static const char* const kFunction = "_Vtx_Internal_NS_::VLTable::init";
    ncodes_ = 0;
    while (ncodes_ < 256 && codes_[ncodes_].codelen != 0) ++ncodes_;
    if (nbits > 14 || ncodes_ >= 256) VTX_THROW(errDataBroken, "Invalid MMR data!", kFunction);
    nbits_ = nbits;
    shift_ = 32 - nbits;
    const uint32_t size = 1u << nbits;
    index_.resize(size);
    std::memset(index_.data(), int(ncodes_), size);
    for (uint32_t i = 0; i < ncodes_; ++i) {
        const VLCode& c = codes_[i];
        if (c.codelen > nbits) VTX_THROW(errDataBroken, "Invalid MMR codelen!", kFunction);
        const uint32_t first = c.code, span = 1u << (nbits - c.codelen);
        if (first + span > size) VTX_THROW(errDataBroken, "Bad MMR codebook!", kFunction);
        for (uint32_t j = first; j < first + span; ++j) {
            if (index_[j] != ncodes_) VTX_THROW(errDataBroken, "Bad MMR codebook!", kFunction);
            index_[j] = uint8_t(i);
        }
    }
}

// ---- MMRDecoder

namespace {
// The code tables never change: built once, on first use, and shared by every decoder (a
// thumbnail batch opens one per page).
struct MMRTables {
    VLTable modes{mmrModeCodes(), 7}, white{mmrWhiteCodes(), 13}, black{mmrBlackCodes(), 13};
};
const MMRTables& mmrTables()
{
    static const MMRTables tables;
    return tables;
}
} // namespace

MMRDecoder::MMRDecoder(const AutoPtr<Stream>& stream)
    : mrtable_(mmrTables().modes), wtable_(mmrTables().white), btable_(mmrTables().black)
{
    static const char* const kFunction = "_Vtx_Internal_NS_::MMRDecoder::MMRDecoder";
    const uint32_t magic = readBigEndian(*stream, 4);
    if ((magic & 0xFFFFFFFCu) != 0x4D4D5200u) VTX_THROW(errDataBroken, "Unrecognized header!", kFunction);
    inverted_ = uint8_t(magic & 1);
    const bool striped = (magic & 2) != 0;
    width_ = readBigEndian(*stream, 2);
    height_ = readBigEndian(*stream, 2);
    if (width_ == 0 || height_ == 0) VTX_THROW(errDataBroken, "Invalid image size!", kFunction);

    for (auto* runs : {&lineruns_, &prevruns_}) {
        runs->resize(width_ + 4);
        std::memset(runs->data(), 0, runs->size() * sizeof(uint16_t));
        (*runs)[0] = uint16_t(width_);
    }
    rowsperstrip_ = striped ? readBigEndian(*stream, 2) : height_;
    src_ = makeAuto<VLSource>(stream, striped);
}

void MMRDecoder::broken() { VTX_THROW(errDataBroken, "MMR data broken!", "_Vtx_Internal_NS_::MMRDecoder::getScanline"); }
void MMRDecoder::unknown() { VTX_THROW(errDataBroken, "Unknown MMR code!", "_Vtx_Internal_NS_::MMRDecoder::getScanline"); }

// A run of one colour: make-up codes until a terminating code (below 64).
uint32_t MMRDecoder::decodeRun(const VLTable& table)
{
    uint32_t total = 0;
    for (;;) {
        const uint32_t v = table.decode(*src_);
        if (v == 0xFFFF) unknown();
        total += v;
        if (v < 64) return total;
        if (total > 0xFFFF) broken(); // no row holds such a run; stop before it wraps
    }
}

const uint16_t* MMRDecoder::getScanline(const uint16_t*& end)
{
    if (lineno_ >= height_) return nullptr;
    if (striplineno_ == rowsperstrip_) {
        // A stripe starts against an all-white row: the width and its two terminating zeros,
        // so that no run of an older row shows through behind it.
        striplineno_ = 0;
        for (auto* runs : {&lineruns_, &prevruns_}) {
            (*runs)[0] = uint16_t(width_);
            (*runs)[1] = (*runs)[2] = 0;
        }
        prevcount_ = 1;
        src_->nextstripe();
    }
    std::swap(lineruns_, prevruns_);
    const uint16_t* pr = prevruns_.data();
    uint16_t* xr = lineruns_.data();
    const int32_t width = int32_t(width_);
    // Runs a row may hold before its terminating zeros; beyond that the code is hostile.
    const uint32_t capacity = width_ + 2;
    // Reference entries that exist: the runs and their two terminating zeros.
    const uint32_t plimit = prevcount_ + 2;
    uint32_t n = 0, p = 1;
    // Positions are signed: left modes near the row start may point before it. b1 stays in
    // [0, width] (a prefix sum of the reference runs); a run computed below 0 is kept modulo
    // 2^16 like any other and the trimming below takes it out again.
    int32_t a0 = 0, rle = 0, b1 = pr[0];
    bool black = false;

    auto emit = [&](int32_t run) {
        if (n >= capacity) broken();
        xr[n++] = uint16_t(run);
    };
    auto forward = [&]() { if (p < plimit) b1 += pr[p++]; };
    auto back = [&]() { if (p > 0) b1 -= pr[--p]; };

    while (a0 < width) {
        const uint32_t mode = mrtable_.decode(*src_);
        switch (mode) {
        case mmrPass:
            forward();
            rle += b1 - a0;
            a0 = b1;
            forward();
            break;
        case mmrHorizontal: {
            const int32_t r1 = int32_t(decodeRun(black ? btable_ : wtable_));
            a0 += r1;
            emit(rle + r1);
            const int32_t r2 = int32_t(decodeRun(black ? wtable_ : btable_));
            a0 += r2;
            emit(r2);
            rle = 0;
            break;
        }
        case mmrV0:
        case mmrVR1:
        case mmrVR2:
        case mmrVR3:
        case mmrVL1:
        case mmrVL2:
        case mmrVL3: {
            int32_t inc;
            if (mode <= mmrVR3) {
                inc = b1 + int32_t(mode - mmrV0);
                forward();
            } else {
                inc = b1 - int32_t(mode - mmrVL1 + 1);
                back();
            }
            emit(inc + rle - a0);
            a0 = inc;
            rle = 0;
            black = !black;
            break;
        }
        default: {
            src_->preload();
            uint32_t m = src_->peek();
            if ((m & 0xFFFFFF00u) == 0x00100100u) { // end of facsimile block
                lineno_ = height_;
                return nullptr;
            }
            if ((m & 0xFFC00000u) != 0x03C00000u) unknown();
            // Uncompressed mode: one bit per pixel (1 black), 000001 for five white pixels,
            // and 0000001T to leave with the next run in colour T.
            src_->shift(10);
            while (((m = src_->peek()) & 0xFC000000u) != 0) {
                if ((m & 0xFC000000u) == 0x04000000u) {
                    src_->shift(6);
                    if (black) {
                        emit(rle);
                        rle = 0;
                        black = false;
                    }
                    rle += 5;
                    a0 += 5;
                } else {
                    src_->shift(1);
                    const bool bit = (m & 0x80000000u) != 0;
                    if (bit != black) {
                        emit(rle);
                        rle = 0;
                        black = bit;
                    }
                    rle += 1;
                    a0 += 1;
                }
                if (a0 > width) broken();
            }
            const uint32_t t = src_->peek() >> 24;
            src_->shift(8);
            if ((t & 0xFE) != 0x02) broken();
            if (rle > 0) {
                emit(rle);
                rle = 0;
                black = !black;
            }
            if (black != ((t & 1) != 0)) {
                emit(0);
                black = !black;
            }
            break;
        }
        }
        while (b1 <= a0 && b1 < width && p < plimit) {
            forward();
            forward();
        }
    }
    if (rle > 0) {
        // The row ended in pass mode; a V0 code closes it.
        if (mrtable_.decode(*src_) != mmrV0) broken();
        emit(rle);
    }

    // Trim runs that overshoot the width (some encoders write them).
    uint32_t sum = 0;
    for (uint32_t i = 0; i < n; ++i) sum += xr[i];
    if (sum > width_) {
        while (n > 0 && sum > width_) sum -= xr[--n];
        if (sum < width_) xr[n++] = uint16_t(width_ - sum);
    }
    xr[n] = xr[n + 1] = 0;
    end = xr + n;
    prevcount_ = n;
    ++lineno_;
    ++striplineno_;
    return xr;
}

} // namespace _Vtx_Internal_NS_

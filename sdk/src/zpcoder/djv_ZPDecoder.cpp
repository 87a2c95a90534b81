#include "djv_zpdecoder.h"

#include <bit>

#include "vtx_exception.h"

namespace Vantorix::DjVu {

const ZPDecoder::StateRow ZPDecoder::kStateTable[251] = {
#include "zp_states.inc"
};

ZPDecoder::ZPDecoder(Stream* stream, uint32_t byteLimit, uint32_t bufferSize)
    : stream_(stream), bufSize_(bufferSize ? bufferSize : 16), allowance_(byteLimit ? byteLimit : 0xFFFFFFFFu)
{
    if (!stream) VTX_THROW(errOperationFailed, "no stream", "Vantorix::DjVu::ZPDecoder::ZPDecoder");
    readBuf_ = ByteArray(bufSize_, bufSize_);
    for (int i = 0; i < 251; ++i) {
        p_[i] = kStateTable[i].p;
        m_[i] = kStateTable[i].m;
        up_[i] = kStateTable[i].up;
        dn_[i] = kStateTable[i].dn;
    }
    uint8_t b1 = 0xFF, b2 = 0xFF;
    if (!read(b1)) b1 = 0xFF;
    if (!read(b2)) b2 = 0xFF;
    code_ = (uint32_t(b1) << 8) | b2;
    preload();
    fence_ = code_ < 0x7FFF ? code_ : 0x7FFF;
}

ZPDecoder::~ZPDecoder() = default;

bool ZPDecoder::read(uint8_t& byte)
{
    if (bufPos_ < bufFill_) {
        byte = readBuf_[bufPos_++];
        return true;
    }
    if (allowance_ == 0) return false;
    uint32_t want = bufSize_ < allowance_ ? bufSize_ : allowance_;
    uint32_t got = stream_->readBytes(readBuf_.data(), want, false);
    allowance_ -= got;
    if (got == 0) {
        if (stream_->isEof()) return false;
        VTX_THROW(errReadFailed, "ZPCoder: read error.", "Vantorix::DjVu::ZPDecoder::read");
    }
    bufFill_ = got;
    bufPos_ = 1;
    byte = readBuf_[0];
    return true;
}

void ZPDecoder::preload()
{
    while (scount_ <= 24) {
        uint8_t byte;
        if (!read(byte)) {
            if (--delay_ <= 0) VTX_THROW(errOperationFailed, "preload failed.", "Vantorix::DjVu::ZPDecoder::preload");
            byte = 0xFF;
        }
        buffer_ = (buffer_ << 8) | byte;
        scount_ += 8;
    }
}

inline void ZPDecoder::renormalizeMps(uint32_t z)
{
    scount_ -= 1;
    a_ = (z << 1) & 0xFFFF;
    code_ = ((code_ << 1) & 0xFFFF) | ((buffer_ >> scount_) & 1);
    if (scount_ < 16) preload();
    fence_ = code_ < 0x7FFF ? code_ : 0x7FFF;
}

inline void ZPDecoder::renormalizeLps(uint32_t z)
{
    uint32_t d = 0x10000 - z;
    a_ += d;
    code_ += d;
    // The interval is below 0x10000 here: its leading ones are the bits to shift out.
    const uint32_t shift = uint32_t(std::countl_one(uint16_t(a_)));
    scount_ -= int32_t(shift);
    a_ = (a_ << shift) & 0xFFFF;
    code_ = ((code_ << shift) & 0xFFFF) | ((buffer_ >> scount_) & ((1u << shift) - 1));
    if (scount_ < 16) preload();
    fence_ = code_ < 0x7FFF ? code_ : 0x7FFF;
}

int ZPDecoder::decodeSlow(BitContext& ctx, uint32_t z)
{
    int bit = ctx & 1;
    uint32_t limit = 0x6000 + ((a_ + z) >> 2);
    if (z > limit) z = limit;
    if (z <= code_) {
        if (a_ >= m_[ctx]) ctx = up_[ctx];
        renormalizeMps(z);
        return bit;
    }
    ctx = dn_[ctx];
    renormalizeLps(z);
    return 1 - bit;
}

int ZPDecoder::decodeFixed(uint32_t z)
{
    if (z <= code_) {
        renormalizeMps(z);
        return 0;
    }
    renormalizeLps(z);
    return 1;
}

} // namespace Vantorix::DjVu

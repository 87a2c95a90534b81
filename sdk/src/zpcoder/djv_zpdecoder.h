// ZP adaptive binary arithmetic decoder of the DjVu format.
//
// State: `a` is the interval (below 0x10000), `code` a 16-bit window of the code stream,
// `buffer` a reservoir of input bits (newest byte lowest) of which `scount` are unread.
// `fence` = min(code, 0x7FFF) lets the common case (more probable symbol without
// renormalisation) finish in one add, one compare and one store. Contexts are single bytes
// owned by the caller: a probability-table state whose low bit is the predicted value.
//
// Past the end of input, each missing byte reads as 0xFF; the 25th invented byte a refill
// needs throws "preload failed." (26). A stream read that returns nothing without reporting
// end of stream throws "ZPCoder: read error." (16).
#pragma once

#include <cstdint>

#include "vtx_memory.h"
#include "vtx_stream.h"

namespace Vantorix::DjVu {

using BitContext = uint8_t;

class ZPDecoder {
public:
    // byteLimit 0: no limit; bufferSize 0: 16. Reads the first six bytes at once. The stream
    // is not owned: the caller keeps it alive while the decoder lives.
    explicit ZPDecoder(Stream* stream, uint32_t byteLimit = 0, uint32_t bufferSize = 0);
    ~ZPDecoder();
    ZPDecoder(const ZPDecoder&) = delete;
    ZPDecoder& operator=(const ZPDecoder&) = delete;

    // One bit under an adaptive context; the context changes only on the slow path.
    inline int decode(BitContext& ctx)
    {
        const BitContext state = ctx;
        uint32_t z = a_ + p_[state];
        if (z <= fence_) {
            a_ = z;
            return state & 1;
        }
        return decodeSlow(ctx, z);
    }

    // decode() for a bitmap loop: the interval and the fence live in the loop's registers
    // instead of being reloaded and stored around every context update (contexts are bytes, so
    // the compiler must assume a context write may change the decoder). While a Session is
    // open, the decoder must be used only through it; closing it hands the interval back.
    class Session {
    public:
        explicit Session(ZPDecoder& zp) : zp_(zp), a_(zp.a_), fence_(zp.fence_) {}
        ~Session() { zp_.a_ = a_; }
        Session(const Session&) = delete;
        Session& operator=(const Session&) = delete;

        inline int decode(BitContext& ctx)
        {
            const BitContext state = ctx;
            const uint32_t z = a_ + zp_.p_[state];
            if (z <= fence_) {
                a_ = z;
                return state & 1;
            }
            zp_.a_ = a_;
            const int bit = zp_.decodeSlow(ctx, z);
            a_ = zp_.a_;
            fence_ = zp_.fence_;
            return bit;
        }
        // count decisions at once under a context whose state is state, when every one of them
        // would take the fast path: the interval only grows, so the last one decides for all.
        // Returns false, having decided nothing, when one of them would not. The decisions all
        // give the predicted value (state & 1) and leave the context as it was.
        inline bool decodeRun(uint32_t state, uint32_t count)
        {
            const uint32_t z = a_ + count * zp_.p_[state];
            if (z > fence_) return false;
            a_ = z;
            return true;
        }
        int decodePassthroughIW44()
        {
            zp_.a_ = a_;
            const int bit = zp_.decodePassthroughIW44();
            a_ = zp_.a_;
            fence_ = zp_.fence_;
            return bit;
        }

    private:
        ZPDecoder& zp_;
        uint32_t a_, fence_;
    };
    // One bit at the split point 0x8000 + a/2 (BZZ block sizes and speed bits).
    int decodePassthrough() { return decodeFixed(0x8000 + (a_ >> 1)); }
    // One bit at the split point 0x8000 + 3a/8 (IW44 signs and raw coefficient bits).
    int decodePassthroughIW44() { return decodeFixed(0x8000 + ((3 * a_) >> 3)); }

    // The probability table as compiled in: rows of (p, m, up, dn).
    struct StateRow {
        uint16_t p, m;
        uint8_t up, dn;
    };
    static const StateRow kStateTable[251];

private:
    int decodeSlow(BitContext& ctx, uint32_t z);
    int decodeFixed(uint32_t z);
    void renormalizeMps(uint32_t z);
    void renormalizeLps(uint32_t z);
    bool read(uint8_t& byte);
    void preload();

    uint32_t a_ = 0, code_ = 0, fence_ = 0, buffer_ = 0;
    int32_t scount_ = 0;
    int32_t delay_ = 25;
    uint32_t p_[256] = {}, m_[256] = {};
    uint8_t up_[256] = {}, dn_[256] = {};

    Stream* stream_;
    ByteArray readBuf_; // an array, not a bare pointer: the constructor may throw after allocating
    uint32_t bufSize_, bufFill_ = 0, bufPos_ = 0, allowance_;
};

} // namespace Vantorix::DjVu

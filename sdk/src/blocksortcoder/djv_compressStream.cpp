#include "djv_compressStream.h"

#include <cstring>

#include "djv_blocksort.h"
#include "djv_zpdecoder.h"
#include "vtx_exception.h"
#include "vtx_syncobjs.h"

namespace _Vtx_Internal_NS_ {

using Vantorix::AutoPtr;
using Vantorix::ByteArray;
using Vantorix::Stream;
using Vantorix::DjVu::BitContext;
using Vantorix::DjVu::ZPDecoder;

namespace {

constexpr uint32_t kMaxBlockSize = 4096 * 1024;
constexpr uint32_t kNoMarker = 0xFFFFFFFFu;
constexpr const char* kDecodeName = "_Vtx_Internal_NS_::InflateStreamImpl::decode";

// n bits, most significant first, without context.
inline uint32_t decodeRawBits(ZPDecoder& zp, int n)
{
    const uint32_t top = 1u << n;
    uint32_t v = 1;
    while (v < top) v = (v << 1) | uint32_t(zp.decodePassthrough());
    return v - top;
}

// n bits through a binary tree of 2^n - 1 contexts; contexts[0] decides the top bit.
inline uint32_t decodeBinary(ZPDecoder& zp, BitContext* contexts, int n)
{
    const uint32_t top = 1u << n;
    uint32_t v = 1;
    while (v < top) v = (v << 1) | uint32_t(zp.decode(contexts[v - 1]));
    return v - top;
}

} // namespace

class InflateStreamImpl final : public Vantorix::DjVu::InflateStream {
public:
    InflateStreamImpl(const AutoPtr<Stream>& source, uint32_t byteLimit, uint32_t bufferSize)
        : source_(source), zp_(source.get(), byteLimit, bufferSize)
    {
    }

    uint32_t readBytes(void* buffer, uint32_t size, bool exact) override;

    void writeBytes(const void*, uint32_t) override
    {
        VTX_THROW(Vantorix::errNotImplemented, "errNotImplemented", "_Vtx_Internal_NS_::InflateStreamImpl::writeBytes");
    }
    void flushBuffer() override
    {
        VTX_THROW(Vantorix::errNotImplemented, "errNotImplemented", "_Vtx_Internal_NS_::InflateStreamImpl::flushBuffer");
    }
    bool isEof() override { return eof_; }
    void lock() override { mutex_.lock(); }
    void unlock() override { mutex_.unlock(); }

private:
    uint32_t decode();
    uint32_t decodeSymbols(uint8_t* out, uint32_t n, int fshift);

    AutoPtr<Stream> source_;
    ZPDecoder zp_; // one coded sequence across all blocks
    BitContext ctx_[300] = {};
    ByteArray block_; // its size is the largest block seen
    uint32_t blockLeft_ = 0;
    uint32_t readPos_ = 0;
    bool eof_ = false;
    Vantorix::Mutex mutex_;
};

uint32_t InflateStreamImpl::readBytes(void* buffer, uint32_t size, bool exact)
{
    uint8_t* dst = static_cast<uint8_t*>(buffer);
    uint32_t remaining = size;
    while (remaining > 0 && !eof_) {
        if (blockLeft_ == 0) {
            readPos_ = 0;
            uint32_t n = decode();
            if (n == 0) {
                eof_ = true;
                n = 1;
            }
            blockLeft_ = n - 1; // the marker's slot is not output
        }
        uint32_t take = blockLeft_ < remaining ? blockLeft_ : remaining;
        if (dst && take) {
            std::memcpy(dst, block_.data() + readPos_, take);
            dst += take;
        }
        readPos_ += take;
        blockLeft_ -= take;
        remaining -= take;
    }
    if (exact && remaining)
        VTX_THROW(Vantorix::errOperationFailed, "Could not read 'size' many bytes", "_Vtx_Internal_NS_::InflateStreamImpl::readBytes");
    return size - remaining;
}

// Decodes the next block into block_ and returns its symbol count (0 at the end of stream).
uint32_t InflateStreamImpl::decode()
{
    uint32_t n = decodeRawBits(zp_, 24);
    if (n == 0) return 0;
    if (n > kMaxBlockSize) VTX_THROW(Vantorix::errOperationFailed, "Stream corrupt", kDecodeName);
    if (n > block_.getSize()) {
        block_ = ByteArray(); // release first: old content is not needed
        block_ = ByteArray(n, n);
    }
    int fshift = 0;
    if (zp_.decodePassthrough()) {
        fshift = 1;
        if (zp_.decodePassthrough()) fshift = 2;
    }
    uint32_t marker = decodeSymbols(block_.data(), n, fshift);
    if (marker >= n) VTX_THROW(Vantorix::errOperationFailed, "Stream corrupt", kDecodeName);
    switch (inverseBlockSort(block_.data(), n, marker)) {
    case BlockSortResult::ok: return n;
    case BlockSortResult::outOfRange: VTX_THROW(Vantorix::errOperationFailed, "Index out of range", kDecodeName);
    case BlockSortResult::corrupt: break;
    }
    VTX_THROW(Vantorix::errOperationFailed, "Stream corrupt", kDecodeName);
}

// Move-to-front decoding of n symbols; returns the position of the last marker, or kNoMarker.
uint32_t InflateStreamImpl::decodeSymbols(uint8_t* out, uint32_t n, int fshift)
{
    uint8_t mtf[256];
    for (int i = 0; i < 256; ++i) mtf[i] = uint8_t(i);
    uint32_t freq[4] = {};
    uint32_t fadd = 4;
    uint32_t prev = 3;
    uint32_t marker = kNoMarker;
    ZPDecoder& zp = zp_;
    BitContext* const ctx = ctx_;

    for (uint32_t i = 0; i < n; ++i) {
        const uint32_t k = prev < 2 ? prev : 2;
        uint32_t r;
        if (zp.decode(ctx[k])) {
            r = 0;
        } else if (zp.decode(ctx[3 + k])) {
            r = 1;
        } else {
            // Index ranges [2^j, 2^(j+1)) for j = 1..7: a test context at 4 + 2^j, then the
            // 2^j - 1 contexts of the low bits right after it.
            int j = 1;
            while (j <= 7 && !zp.decode(ctx[4 + (1 << j)])) ++j;
            if (j > 7) {
                out[i] = 0;
                marker = i;
                prev = 256;
                continue;
            }
            r = (1u << j) + decodeBinary(zp, ctx + 5 + (1 << j), j);
        }

        const uint8_t c = mtf[r];
        out[i] = c;
        prev = r;

        fadd += fadd >> fshift;
        if (fadd > 0x10000000) {
            fadd >>= 24;
            freq[0] >>= 24;
            freq[1] >>= 24;
            freq[2] >>= 24;
            freq[3] >>= 24;
        }
        uint32_t fc = fadd;
        uint32_t p;
        if (r < 4) {
            fc += freq[r];
            p = r;
        } else {
            std::memmove(mtf + 4, mtf + 3, r - 3);
            p = 3;
        }
        while (p > 0 && fc >= freq[p - 1]) {
            mtf[p] = mtf[p - 1];
            freq[p] = freq[p - 1];
            --p;
        }
        mtf[p] = c;
        freq[p] = fc;
    }
    return marker;
}

} // namespace _Vtx_Internal_NS_

namespace Vantorix::DjVu {

AutoPtr<InflateStream> InflateStream::create(const AutoPtr<Stream>& source, uint32_t byteLimit, uint32_t bufferSize)
{
    return makeAuto<_Vtx_Internal_NS_::InflateStreamImpl>(source, byteLimit, bufferSize);
}

} // namespace Vantorix::DjVu

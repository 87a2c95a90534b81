// Builds BZZ payloads for tests, symbol by symbol (to craft broken blocks) or from plain bytes
// with a chosen speed and block size (shapes that `bzz -e` never makes: tiny blocks, every speed).
#pragma once

#include <algorithm>
#include <cstdint>
#include <numeric>
#include <vector>

#include "zp_testencoder.h"

namespace zptest {

class BzzTestWriter {
public:
    // Starts a block of n symbols (n = 0 ends the stream) with speed fshift (0, 1 or 2).
    void blockHeader(uint32_t n, int fshift = 0)
    {
        zp_.encodeRawBits(n, 24);
        if (n == 0) return;
        zp_.encodePassthrough(fshift > 0);
        if (fshift > 0) zp_.encodePassthrough(fshift > 1);
        prev_ = 3;
    }
    void end() { blockHeader(0); }

    // One move-to-front index 0..255.
    void index(uint32_t r)
    {
        uint32_t k = std::min<uint32_t>(prev_, 2);
        prev_ = r;
        zp_.encode(r == 0, ctx_[k]);
        if (r == 0) return;
        zp_.encode(r == 1, ctx_[3 + k]);
        if (r == 1) return;
        for (int j = 1; j <= 7; ++j) {
            uint32_t base = 4 + (1u << j);
            bool here = r < (2u << j);
            zp_.encode(here, ctx_[base]);
            if (!here) continue;
            uint32_t low = r - (1u << j);
            for (uint32_t v = 1, i = j; i-- > 0;) { // binary tree over contexts base + v
                int bit = int(low >> i) & 1;
                zp_.encode(bit, ctx_[base + v]);
                v = 2 * v + uint32_t(bit);
            }
            return;
        }
    }
    void marker()
    {
        uint32_t k = std::min<uint32_t>(prev_, 2);
        prev_ = 256;
        zp_.encode(0, ctx_[k]);
        zp_.encode(0, ctx_[3 + k]);
        for (int j = 1; j <= 7; ++j) zp_.encode(0, ctx_[4 + (1u << j)]);
    }

    // The sorted column of `data` as a block codes it: bytes, and -1 for the marker.
    // (At most a few hundred KiB: the sort is naive.)
    static std::vector<int> sortedColumn(const std::vector<uint8_t>& data)
    {
        const uint32_t n = uint32_t(data.size());
        // Sort the suffixes, the empty one first: the marker sorts before every byte.
        std::vector<uint32_t> sa(n + 1);
        std::iota(sa.begin(), sa.end(), 0u);
        std::sort(sa.begin(), sa.end(), [&](uint32_t x, uint32_t y) {
            return std::lexicographical_compare(data.begin() + x, data.end(), data.begin() + y, data.end());
        });
        std::vector<int> column(n + 1);
        for (uint32_t row = 0; row <= n; ++row) column[row] = sa[row] == 0 ? -1 : data[sa[row] - 1];
        return column;
    }

    // One block holding a column as given (it need not be a valid one).
    void columnBlock(const std::vector<int>& column, int fshift)
    {
        blockHeader(uint32_t(column.size()), fshift);
        MtfModel model;
        for (int sym : column) {
            if (sym < 0)
                marker();
            else
                index(model.encode(uint8_t(sym), fshift));
        }
    }

    void block(const std::vector<uint8_t>& data, int fshift) { columnBlock(sortedColumn(data), fshift); }

    // The whole input in blocks of at most blockBytes bytes, then the end of stream.
    static std::vector<uint8_t> compress(const std::vector<uint8_t>& input, int fshift, size_t blockBytes)
    {
        BzzTestWriter w;
        for (size_t at = 0; at < input.size(); at += blockBytes) {
            size_t n = std::min(blockBytes, input.size() - at);
            w.block(std::vector<uint8_t>(input.begin() + at, input.begin() + at + n), fshift);
        }
        w.end();
        return w.finish();
    }

    std::vector<uint8_t> finish() { return zp_.finish(); }
    ZPTestEncoder& zp() { return zp_; }

    // The adaptive move-to-front list as the decoder keeps it, seen from the encoder's side.
    struct MtfModel {
        uint8_t mtf[256];
        uint32_t freq[4] = {};
        uint32_t fadd = 4;
        MtfModel() { std::iota(mtf, mtf + 256, 0); }
        uint32_t encode(uint8_t c, int fshift)
        {
            uint32_t r = uint32_t(std::find(mtf, mtf + 256, c) - mtf);
            fadd += fadd >> fshift;
            if (fadd > 0x10000000) {
                fadd >>= 24;
                for (auto& f : freq) f >>= 24;
            }
            uint32_t fc = fadd + (r < 4 ? freq[r] : 0);
            uint32_t p = r;
            for (; p > 3; --p) mtf[p] = mtf[p - 1];
            for (; p > 0 && fc >= freq[p - 1]; --p) {
                mtf[p] = mtf[p - 1];
                freq[p] = freq[p - 1];
            }
            mtf[p] = c;
            freq[p] = fc;
            return r;
        }
    };

private:
    ZPTestEncoder zp_;
    BitContext ctx_[300] = {};
    uint32_t prev_ = 3;
};

} // namespace zptest

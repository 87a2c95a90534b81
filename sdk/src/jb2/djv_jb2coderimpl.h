// State shared by the JB2 decoder and an encoder: the bit contexts of the bitmap templates and
// of relative locations, the number coder (one binary tree of adaptive contexts per kind of
// number, grown on demand), and the location state that predicts where the next shape sits.
//
// codeNumber reads a number in [low, high] as a sign, then a run of "bigger" decisions that
// doubles an upper bound, then a binary search inside the last interval. Every decision that
// the range leaves open costs one adaptive bit; the tree node of a decision is found by the
// path of decisions before it, so frequent values learn their own probabilities.
#pragma once

#include <cstdint>

#include "djv_zpdecoder.h"
#include "vtx_memory.h"

namespace Vantorix::DjVu::JB2 {

// Root node index of one kind of number; 0 means no node yet.
using NumberContext = uint32_t;

enum NumberRoot {
    RootRecordType,
    RootImageSize,
    RootCommentLength,
    RootCommentByte,
    RootMatchIndex,
    RootInheritedCount,
    RootAbsoluteX,
    RootAbsoluteY,
    RootSymbolWidth,
    RootSymbolHeight,
    RootNewLineX,
    RootNewLineY,
    RootSameLineX,
    RootSameLineY,
    RootRefineWidth,
    RootRefineHeight,
    kNumberRoots
};

class JB2CoderImpl {
public:
    // One binary decision under ctx. An encoder writes bit and returns it; a decoder ignores
    // bit and returns what it reads.
    virtual int codeBit(int bit, BitContext& ctx) = 0;

    JB2CoderImpl();
    virtual ~JB2CoderImpl();
    JB2CoderImpl(const JB2CoderImpl&) = delete;
    JB2CoderImpl& operator=(const JB2CoderImpl&) = delete;

    // A number in [low, high] under the tree rooted at ctx. value is what an encoder codes.
    // Throws 7 "JB2Codec.bad_number_of_context" when ctx names a node not allocated yet, and 38
    // when the trees would pass their node limit.
    int32_t codeNumber(int32_t low, int32_t high, int32_t value, NumberContext& ctx);

    // Forgets every number tree (roots and nodes); the bit contexts stay.
    void resetNumberCoder();

    uint32_t getNodeCount() const { return nextNode_; }

protected:
    // Location state, in the format's coordinates (1-based, y upwards). Kept unsigned so that
    // hostile offsets wrap instead of overflowing; compared as signed.
    struct Location {
        uint32_t imageWidth = 0, imageHeight = 0;
        uint32_t lastRight = 0, lastBottom = 0;
        uint32_t lastRowLeft = 0, lastRowBottom = 0;
        uint32_t bottoms[3] = {0, 0, 0};
        uint32_t bottomPos = 0;
        bool started = false;
    };

    void resetContexts();
    // Starts a page: the location state as the first line of an image of this size expects it.
    void startImage(uint32_t width, uint32_t height);
    // Reads a relative location for a w x h shape; stores its top-left corner (top-down page
    // coordinates) in x, y.
    void codeRelativeLocation(uint32_t w, uint32_t h, uint32_t& x, uint32_t& y);

    // One decision: a decoder sets decoder_ while it reads, so that the numbers and locations,
    // a good part of a text page's decisions, reach the inline fast path without a virtual call.
    int decide(int bit, BitContext& ctx) { return decoder_ ? decoder_->decode(ctx) : codeBit(bit, ctx); }

    ZPDecoder* decoder_ = nullptr;
    // Bound of the node arrays: garbage data would otherwise grow them without end.
    uint32_t nodeLimit_;
    BitContext directContexts_[1024];
    BitContext refinementContexts_[2048];
    BitContext offsetTypeContext_;
    NumberContext roots_[kNumberRoots];
    Location loc_;

private:
    void growNodes();

    SimpleArray<BitContext, 2> nodeContexts_;
    SimpleArray<uint32_t, 2> nodeLeft_, nodeRight_;
    uint32_t nextNode_ = 1;
};

} // namespace Vantorix::DjVu::JB2

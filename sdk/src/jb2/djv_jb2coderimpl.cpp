#include "djv_jb2coderimpl.h"

#include <cstring>

#include "djv_jb2.h"
#include "vtx_exception.h"

namespace Vantorix::DjVu::JB2 {

namespace {
constexpr uint32_t kNodeStep = 20000;
}

JB2CoderImpl::JB2CoderImpl() : nodeLimit_(JB2Limits::kMaxNumberNodes)
{
    resetContexts();
    nodeContexts_.resize(kNodeStep);
    nodeLeft_.resize(kNodeStep);
    nodeRight_.resize(kNodeStep);
    resetNumberCoder();
}

JB2CoderImpl::~JB2CoderImpl() = default;

void JB2CoderImpl::resetContexts()
{
    std::memset(directContexts_, 0, sizeof directContexts_);
    std::memset(refinementContexts_, 0, sizeof refinementContexts_);
    offsetTypeContext_ = 0;
    loc_ = Location();
}

void JB2CoderImpl::resetNumberCoder()
{
    // Nodes are cleared as they are handed out, so forgetting them is just a new start.
    std::memset(roots_, 0, sizeof roots_);
    nextNode_ = 1;
}

void JB2CoderImpl::growNodes()
{
    uint32_t size = nodeContexts_.size();
    if (size + kNodeStep > nodeLimit_)
        VTX_THROW(errLimitExceeded, "JB2Codec: too many number contexts!", "Vantorix::DjVu::JB2::JB2CoderImpl::codeNumber");
    nodeContexts_.resize(size + kNodeStep);
    nodeLeft_.resize(size + kNodeStep);
    nodeRight_.resize(size + kNodeStep);
}

int32_t JB2CoderImpl::codeNumber(int32_t low, int32_t high, int32_t value, NumberContext& ctx)
{
    if (ctx >= nextNode_)
        VTX_THROW(errInvalidParam, "JB2Codec.bad_number_of_context", "Vantorix::DjVu::JB2::JB2CoderImpl::codeNumber");

    int phase = 1;
    int32_t cutoff = 0, range = -1;
    bool negative = false;
    uint32_t node = ctx;
    uint32_t* slot = &ctx; // where the index of node is kept (a root or a child field)
    uint32_t parent = 0;
    bool parentRight = false;

    while (range != 1) {
        if (node == 0) {
            if (nextNode_ >= nodeContexts_.size()) growNodes();
            node = nextNode_++;
            nodeContexts_[node] = 0;
            nodeLeft_[node] = nodeRight_[node] = 0;
            // The arrays may have moved: find the parent's child field again.
            if (parent) slot = parentRight ? &nodeRight_[parent] : &nodeLeft_[parent];
            *slot = node;
        }
        int decision;
        if (low >= cutoff)
            decision = 1;
        else if (high < cutoff)
            decision = 0;
        else
            decision = decide(value >= cutoff, nodeContexts_[node]);

        parent = node;
        parentRight = decision != 0;
        slot = decision ? &nodeRight_[node] : &nodeLeft_[node];
        node = *slot;

        switch (phase) {
        case 1:
            negative = !decision;
            if (negative) {
                int32_t oldLow = low;
                low = -high - 1;
                high = -oldLow - 1;
                value = -value - 1;
            }
            phase = 2;
            cutoff = 1;
            break;
        case 2:
            if (decision) {
                cutoff = 2 * cutoff + 1;
            } else {
                phase = 3;
                range = (cutoff + 1) / 2;
                if (range == 1)
                    cutoff = 0;
                else
                    cutoff -= range / 2;
            }
            break;
        default:
            range /= 2;
            if (range != 1)
                cutoff += decision ? range / 2 : -(range / 2);
            else if (!decision)
                cutoff -= 1;
            break;
        }
    }
    return negative ? -cutoff - 1 : cutoff;
}

void JB2CoderImpl::startImage(uint32_t width, uint32_t height)
{
    loc_.imageWidth = width;
    loc_.imageHeight = height;
    loc_.lastRowLeft = 0;
    loc_.lastRowBottom = height;
    loc_.lastRight = 0;
    loc_.bottoms[0] = loc_.bottoms[1] = loc_.bottoms[2] = height;
    loc_.bottomPos = 0;
    loc_.started = true;
}

namespace {
uint32_t median3(uint32_t a, uint32_t b, uint32_t c)
{
    int32_t x = int32_t(a), y = int32_t(b), z = int32_t(c);
    if (x > y) std::swap(x, y);
    if (y > z) y = z;
    return uint32_t(x > y ? x : y);
}
} // namespace

void JB2CoderImpl::codeRelativeLocation(uint32_t w, uint32_t h, uint32_t& x, uint32_t& y)
{
    uint32_t left, bottom;
    if (decide(0, offsetTypeContext_)) {
        uint32_t dx = uint32_t(codeNumber(-262143, 262142, 0, roots_[RootNewLineX]));
        uint32_t dy = uint32_t(codeNumber(-262143, 262142, 0, roots_[RootNewLineY]));
        left = loc_.lastRowLeft + dx;
        uint32_t top = loc_.lastRowBottom + dy;
        bottom = top - h + 1;
        loc_.lastRowLeft = left;
        loc_.lastRowBottom = bottom;
        loc_.lastBottom = bottom;
        loc_.bottoms[0] = loc_.bottoms[1] = loc_.bottoms[2] = bottom;
        loc_.bottomPos = 0;
    } else {
        uint32_t dx = uint32_t(codeNumber(-262143, 262142, 0, roots_[RootSameLineX]));
        uint32_t dy = uint32_t(codeNumber(-262143, 262142, 0, roots_[RootSameLineY]));
        left = loc_.lastRight + dx;
        bottom = loc_.lastBottom + dy;
        loc_.bottomPos = (loc_.bottomPos + 1) % 3;
        loc_.bottoms[loc_.bottomPos] = bottom;
        loc_.lastBottom = median3(loc_.bottoms[0], loc_.bottoms[1], loc_.bottoms[2]);
    }
    loc_.lastRight = left + w - 1;
    x = left - 1;
    y = loc_.imageHeight - bottom - h + 1;
}

} // namespace Vantorix::DjVu::JB2

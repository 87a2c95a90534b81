#include <algorithm>
#include <cmath>
#include <cstring>

#include "djv_scaling_internal.h"

namespace _Vtx_Internal_NS_ {

namespace {

typedef float v4sf __attribute__((vector_size(16), may_alias));

inline float weightOf(const Footprint& fp, uint32_t t)
{
    if (fp.len <= 4) return fp.w[t];
    if (t == 0) return fp.w[0];
    if (t == 1) return fp.w[1];
    if (t + 2 == fp.len) return fp.w[2];
    if (t + 1 == fp.len) return fp.w[3];
    return 1.0f;
}

// Sums of one footprint: explicit weights at both ends, whole pixels in between added as
// integers (exact, and much cheaper than converting each byte).
template <int C, bool Add>
void reduceRowT(const uint8_t* src, const Footprint* fp, uint32_t count, float* out, float w)
{
    for (uint32_t c = 0; c < count; ++c, out += C) {
        const Footprint& f = fp[c];
        const uint8_t* p = src + size_t(f.first) * C;
        float s[C];
        if (f.len <= 4) {
            for (int ch = 0; ch < C; ++ch) s[ch] = 0.0f;
            for (uint32_t k = 0; k < f.len; ++k)
                for (int ch = 0; ch < C; ++ch) s[ch] += f.w[k] * float(p[k * C + ch]);
        } else {
            // 32-bit sums hold rows of up to 16 million pixels.
            uint32_t m[C] = {};
            const uint8_t* q = p + 2 * C;
            const uint8_t* qe = p + size_t(f.len - 2) * C;
            for (; q < qe; q += C)
                for (int ch = 0; ch < C; ++ch) m[ch] += q[ch];
            for (int ch = 0; ch < C; ++ch) {
                float v = f.w[0] * float(p[ch]) + f.w[1] * float(p[C + ch]);
                v += float(m[ch]);
                v += f.w[2] * float(qe[ch]);
                v += f.w[3] * float(qe[C + ch]);
                s[ch] = v;
            }
        }
        for (int ch = 0; ch < C; ++ch) out[ch] = Add ? out[ch] + w * s[ch] : w * s[ch];
    }
}

template <int C>
void reduceRowC(bool add, const uint8_t* src, const Footprint* fp, uint32_t count, float* out, float w)
{
    if (add)
        reduceRowT<C, true>(src, fp, count, out, w);
    else
        reduceRowT<C, false>(src, fp, count, out, w);
}

} // namespace

void reduceRow(int channels, bool add, const uint8_t* src, const Footprint* fp, uint32_t count, float* out, float w)
{
    switch (channels) {
    case 1: reduceRowC<1>(add, src, fp, count, out, w); break;
    case 2: reduceRowC<2>(add, src, fp, count, out, w); break;
    case 3: reduceRowC<3>(add, src, fp, count, out, w); break;
    default: reduceRowC<4>(add, src, fp, count, out, w); break;
    }
}

void combineRow(float* acc, const float* r, uint32_t n, float w, bool init)
{
    v4sf* a = reinterpret_cast<v4sf*>(acc);
    const v4sf* b = reinterpret_cast<const v4sf*>(r);
    const v4sf wv = {w, w, w, w};
    const uint32_t n4 = n / 4;
    if (init) {
        for (uint32_t i = 0; i < n4; ++i) a[i] = wv * b[i];
    } else {
        for (uint32_t i = 0; i < n4; ++i) a[i] = a[i] + wv * b[i];
    }
}

float footprintWeight(ShrinkMethod method, uint32_t n, float f, float g, uint32_t k)
{
    if (n == 0) {
        // The whole interval lies inside one pixel: both methods integrate the line to the next.
        if (k == 0) return (2.0f - (f + g)) * (g - f) / 2.0f;
        if (k == 1) return (f + g) * (g - f) / 2.0f;
        return 0.0f;
    }
    if (method == ShrinkMethod::Box) {
        if (k == 0) return 1.0f - f;
        if (k < n) return 1.0f;
        return k == n ? g : 0.0f;
    }
    if (k == 0) return (1.0f - f) * (1.0f - f) / 2.0f;
    if (n == 1) {
        if (k == 1) return (1.0f - f * f + (2.0f - g) * g) / 2.0f;
        return k == 2 ? g * g / 2.0f : 0.0f;
    }
    if (k == 1) return (2.0f - f * f) / 2.0f;
    if (k < n) return 1.0f;
    if (k == n) return ((2.0f - g) * g + 1.0f) / 2.0f;
    return k == n + 1 ? g * g / 2.0f : 0.0f;
}

namespace {

// Footprint of an interval starting at index + f and crossing n boundaries, ending at fraction g.
// Weights that come out exactly 0 at the end are dropped: a pixel that weighs nothing is not needed.
Footprint makeFootprint(ShrinkMethod method, int64_t index, uint32_t n, float f, float g)
{
    Footprint fp{};
    fp.first = uint32_t(index);
    uint32_t len = n == 0 ? 2 : (method == ShrinkMethod::Box ? n + 1 : n + 2);
    while (len > 1 && footprintWeight(method, n, f, g, len - 1) == 0.0f) --len;
    fp.len = len;
    return fp;
}

void fillWeights(Footprint& fp, ShrinkMethod method, uint32_t n, float f, float g)
{
    if (fp.len <= 4) {
        for (uint32_t k = 0; k < 4; ++k) fp.w[k] = k < fp.len ? footprintWeight(method, n, f, g, k) : 0.0f;
    } else {
        fp.w[0] = footprintWeight(method, n, f, g, 0);
        fp.w[1] = footprintWeight(method, n, f, g, 1);
        fp.w[2] = footprintWeight(method, n, f, g, fp.len - 2);
        fp.w[3] = footprintWeight(method, n, f, g, fp.len - 1);
    }
}

} // namespace

void ShrinkAxis::position(uint32_t d, int64_t& index, float& fraction) const
{
    if (single_) {
        float p = float(d) * ratio_;
        float fl = std::floor(p);
        index = int64_t(fl);
        fraction = p - fl;
    } else {
        double p = double(d) * double(ratio_);
        double fl = std::floor(p);
        index = int64_t(fl);
        fraction = float(p - fl);
    }
}

bool ShrinkAxis::rawFootprint(uint32_t d, Footprint& fp) const
{
    int64_t i0, i1;
    float f, g;
    position(d, i0, f);
    position(d + 1, i1, g);
    fp = finish(d, i0, uint32_t(std::max<int64_t>(0, i1 - i0)), f, g, false);
    return int64_t(fp.first) + fp.len <= int64_t(srcLen_);
}

Footprint ShrinkAxis::finish(uint32_t d, int64_t index, uint32_t n, float f, float g, bool applyRule) const
{
    Footprint fp = makeFootprint(method_, index, n, f, g);
    const bool inside = int64_t(fp.first) + fp.len <= int64_t(srcLen_);
    if (applyRule && rule_ == EdgeRule::Replicate && (d >= firstReplicated_ || !inside)) {
        int64_t e;
        float unused;
        position(firstReplicated_, e, unused);
        return Footprint{uint32_t(std::min<int64_t>(e, int64_t(srcLen_) - 1)), 1, {ratio_, 0, 0, 0}};
    }
    if (applyRule && !inside) fp.len = fp.first >= srcLen_ ? 0 : srcLen_ - fp.first;
    fillWeights(fp, method_, n, f, g);
    return fp;
}

Footprint ShrinkAxis::footprintAt(uint32_t d) const
{
    int64_t i0, i1;
    float f, g;
    position(d, i0, f);
    position(d + 1, i1, g);
    return finish(d, i0, uint32_t(std::max<int64_t>(0, i1 - i0)), f, g, true);
}

void ShrinkAxis::build(uint32_t srcLen, uint32_t outLen, float ratio, uint32_t from, uint32_t count,
                       ShrinkMethod method, EdgeRule rule, bool singlePositions)
{
    srcLen_ = srcLen;
    outLen_ = outLen;
    ratio_ = ratio;
    method_ = method;
    rule_ = rule;
    single_ = singlePositions;

    firstReplicated_ = outLen;
    if (rule == EdgeRule::Replicate) {
        // Only the last few positions can reach past the end; find where they begin.
        Footprint probe;
        while (firstReplicated_ > 0 && !rawFootprint(firstReplicated_ - 1, probe)) --firstReplicated_;
    }

    map_.resize(count + 1);
    fp_.resize(count);
    int64_t prev = 0;
    for (uint32_t i = 0; i <= count; ++i) {
        int64_t index;
        position(from + i, index, map_[i].fraction);
        map_[i].count = 0;
        if (i > 0) map_[i - 1].count = uint32_t(std::max<int64_t>(0, index - prev));
        prev = index;
    }

    int64_t index;
    float unused;
    position(from, index, unused);
    lowest_ = ~0u;
    highest_ = 0;
    for (uint32_t i = 0; i < count; ++i) {
        const uint32_t n = map_[i].count;
        const Footprint fp = finish(from + i, index, n, map_[i].fraction, map_[i + 1].fraction, true);
        fp_[i] = fp;
        if (fp.len) {
            lowest_ = std::min(lowest_, fp.first);
            highest_ = std::max(highest_, fp.first + fp.len);
        }
        index += n;
    }
    if (lowest_ > highest_) lowest_ = highest_ = 0;
}

void FloatRows::allocate(uint32_t rows, uint32_t floatsPerRow)
{
    stride_ = (floatsPerRow + 3) & ~3u;
    uint64_t total = uint64_t(rows) * stride_ + 4; // + 4 floats of slack for the alignment
    store_.resize(0);
    store_.resize(uint32_t(std::min<uint64_t>(total, 0xFFFFFFFFu)));
    std::memset(static_cast<void*>(store_.data()), 0, size_t(store_.size()) * sizeof(float));
    uintptr_t p = reinterpret_cast<uintptr_t>(store_.data());
    base_ = reinterpret_cast<float*>((p + 15) & ~uintptr_t(15));
}

const Shrinker::Slot* Shrinker::cached(uint32_t y) const
{
    for (const Slot& s : slots_)
        if (s.y == int64_t(y)) return &s;
    return nullptr;
}

Shrinker::Slot& Shrinker::evict(uint32_t)
{
    return slots_[0].y <= slots_[1].y ? slots_[0] : slots_[1];
}

bool Shrinker::accumulate(const Footprint& fy, float* acc)
{
    const uint32_t n = rows_.stride();
    bool init = true;
    for (uint32_t t = 0; t < fy.len; ++t) {
        const uint32_t y = fy.first + t;
        const float w = weightOf(fy, t);
        if (const Slot* s = cached(y)) {
            if (!s->empty) {
                combineRow(acc, s->data, n, w, init);
                init = false;
            }
            continue;
        }
        const uint8_t* src = source_->row(y);
        if (t + 2 >= fy.len) {
            // The last two rows are the first ones of the next output row: keep them reduced.
            Slot& s = evict(y);
            s.y = y;
            s.empty = src == nullptr;
            if (src) {
                reduceRow(channels_, false, src, xfp_, rectW_, s.data, 1.0f);
                combineRow(acc, s.data, n, w, init);
                init = false;
            }
        } else if (src) {
            reduceRow(channels_, !init, src, xfp_, rectW_, acc, w);
            init = false;
        }
    }
    return !init;
}

void Shrinker::run(int channels, const ShrinkAxis& xs, uint32_t rectW, const ShrinkAxis& ys, uint32_t rectY,
                   uint32_t rectH, EdgeRule rowRule, uint32_t origin, ShrinkRowSource& source, ShrinkRowSink& sink)
{
    channels_ = channels;
    rectW_ = rectW;
    rowFloats_ = rectW * uint32_t(channels);
    source_ = &source;

    // Footprints relative to the first column the row pointers hold.
    Vantorix::SimpleArray<Footprint> local(rectW);
    for (uint32_t i = 0; i < rectW; ++i) {
        local[i] = xs[i];
        local[i].first = local[i].len ? local[i].first - origin : 0;
    }
    xfp_ = local.data();

    rows_.allocate(4, rowFloats_);
    slots_[0] = Slot{-1, true, rows_.row(0)};
    slots_[1] = Slot{-1, true, rows_.row(1)};
    float* acc = rows_.row(2);
    float* saved = rows_.row(3);
    bool haveSaved = false, savedAny = false;
    const uint32_t k = ys.firstReplicated();

    for (uint32_t j = 0; j < rectH; ++j) {
        const uint32_t y = rectY + j;
        if (rowRule == EdgeRule::Replicate && k > 0 && y >= k) {
            // Rows past the end repeat the last row that could be computed.
            if (!haveSaved) {
                savedAny = accumulate(ys.footprintAt(k - 1), saved);
                haveSaved = true;
            }
            sink.emit(j, savedAny ? saved : nullptr);
            continue;
        }
        bool any = accumulate(ys[j], acc);
        if (rowRule == EdgeRule::Replicate && y + 1 == k) {
            std::memcpy(saved, acc, size_t(rows_.stride()) * sizeof(float));
            haveSaved = true;
            savedAny = any;
        }
        sink.emit(j, any ? acc : nullptr);
    }
    xfp_ = nullptr;
    source_ = nullptr;
}

} // namespace _Vtx_Internal_NS_

#include "djv_iw44lifting.h"

#include "djv_iw44simd.h"
#include "vtx_memory.h"

namespace Vantorix::DjVu::IW44 {
namespace {

// Stands in for the rows beyond a region's ends, so the column kernels need no edge tests.
// Planes are at most 2048 blocks wide.
constexpr uint32_t kMaxLine = 65536;
int16_t gZeroRow[kMaxLine];

// The three filters of one output sample.
inline int32_t updated(int32_t d, int32_t a, int32_t b, int32_t c, int32_t e)
{
    return d - ((9 * (a + b) - c - e + 16) >> 5);
}
inline int32_t predicted4(int32_t d, int32_t a, int32_t b, int32_t c, int32_t e)
{
    return d + ((9 * (a + b) - c - e + 8) >> 4);
}
inline int32_t predicted2(int32_t d, int32_t a, int32_t b) { return d + ((a + b + 1) >> 1); }

// Row kernels: output row d from neighbour rows a, b (distance 1) and c, e (distance 3), over
// n samples spaced `step` apart. The scalar forms are the reference and serve the tails.
struct Update {
    static int32_t at(int32_t d, int32_t a, int32_t b, int32_t c, int32_t e) { return updated(d, a, b, c, e); }
};
struct Predict4 {
    static int32_t at(int32_t d, int32_t a, int32_t b, int32_t c, int32_t e) { return predicted4(d, a, b, c, e); }
};
struct Predict2 {
    static int32_t at(int32_t d, int32_t a, int32_t b, int32_t, int32_t) { return predicted2(d, a, b); }
};

template <class F>
void kernelScalar(int16_t* d, const int16_t* a, const int16_t* b, const int16_t* c, const int16_t* e, size_t from,
                  size_t n, size_t step)
{
    for (size_t j = from; j < n; ++j) {
        size_t x = j * step;
        d[x] = int16_t(F::at(d[x], a[x], b[x], c[x], e[x]));
    }
}

#ifdef VTX_IW44_VECTORS
using namespace Simd;

struct UpdateV {
    static V4 at(V4 d, V4 a, V4 b, V4 c, V4 e) { return d - ((9 * (a + b) - c - e + 16) >> 5); }
};
struct Predict4V {
    static V4 at(V4 d, V4 a, V4 b, V4 c, V4 e) { return d + ((9 * (a + b) - c - e + 8) >> 4); }
};
struct Predict2V {
    static V4 at(V4 d, V4 a, V4 b, V4, V4) { return d + ((a + b + 1) >> 1); }
};

// Contiguous samples, eight at a time.
template <class F, class FV>
void kernel1(int16_t* d, const int16_t* a, const int16_t* b, const int16_t* c, const int16_t* e, size_t n)
{
    size_t j = 0;
    for (; j + 8 <= n; j += 8) {
        V4 vd = load(d + j), va = load(a + j), vb = load(b + j), vc = load(c + j), ve = load(e + j);
        V4 low = FV::at(lowHalves(vd), lowHalves(va), lowHalves(vb), lowHalves(vc), lowHalves(ve));
        V4 high = FV::at(highHalves(vd), highHalves(va), highHalves(vb), highHalves(vc), highHalves(ve));
        store(d + j, join(low, high));
    }
    kernelScalar<F>(d, a, b, c, e, j, n, 1);
}

// Samples at even positions, four at a time; the odd positions are written back unchanged.
template <class F, class FV>
void kernel2(int16_t* d, const int16_t* a, const int16_t* b, const int16_t* c, const int16_t* e, size_t n)
{
    size_t j = 0;
    for (; j + 4 < n; j += 4) { // the vector's last lane (2j + 7) stays before sample n - 1
        const size_t x = 2 * j;
        V4 vd = load(d + x);
        V4 low = FV::at(lowHalves(vd), lowHalves(load(a + x)), lowHalves(load(b + x)), lowHalves(load(c + x)),
                        lowHalves(load(e + x)));
        store(d + x, join(low, highHalves(vd)));
    }
    kernelScalar<F>(d, a, b, c, e, j, n, 2);
}

template <class F, class FV>
void kernel(int16_t* d, const int16_t* a, const int16_t* b, const int16_t* c, const int16_t* e, size_t n,
            size_t step)
{
    if (step == 1)
        kernel1<F, FV>(d, a, b, c, e, n);
    else if (step == 2)
        kernel2<F, FV>(d, a, b, c, e, n);
    else
        kernelScalar<F>(d, a, b, c, e, 0, n, step);
}
#else
struct UpdateV {};
struct Predict4V {};
struct Predict2V {};
template <class F, class FV>
void kernel(int16_t* d, const int16_t* a, const int16_t* b, const int16_t* c, const int16_t* e, size_t n,
            size_t step)
{
    kernelScalar<F>(d, a, b, c, e, 0, n, step);
}
#endif

// One line split into its even samples e and odd samples o; o has two zeros before and after
// it so that the update needs no edge tests.
void liftLine(int16_t* e, int16_t* o, size_t n)
{
    const size_t ne = (n + 1) / 2, no = n / 2;
    kernel<Update, UpdateV>(e, o - 1, o, o - 2, o + 1, ne, 1);
    // Odd sample 2j+1 takes four taps when 3 <= 2j+1 and 2j+4 <= n-1, that is 1 <= j < hi.
    const size_t hi = n >= 5 ? (n - 5) / 2 + 1 : 0;
    auto twoTaps = [&](size_t j) { o[j] = int16_t(predicted2(o[j], e[j], j + 1 < ne ? e[j + 1] : e[j])); };
    if (no > 0) twoTaps(0);
    if (hi > 1) kernel<Predict4, Predict4V>(o + 1, e + 1, e + 2, e, e + 3, hi - 1, 1);
    for (size_t j = hi > 1 ? hi : 1; j < no; ++j) twoTaps(j);
}

} // namespace

ColumnLifter::ColumnLifter(int16_t* base, ptrdiff_t pitch, uint32_t width, uint32_t height, uint32_t step)
    : base_(base), pitch_(pitch), step_(step), count_(lineSamples(height, step)),
      columns_(width <= kMaxLine ? lineSamples(width, step) : 0)
{
}

ColumnLifter::ColumnLifter(int16_t* ring, ptrdiff_t pitch, uint32_t width, uint32_t height, Ring rows)
    : ColumnLifter(ring, pitch, width, height, 1)
{
    ringMask_ = rows.count - 1;
}

int16_t* ColumnLifter::row(int64_t i) const
{
    if (i < 0 || i >= int64_t(count_)) return gZeroRow;
    return base_ + (ringMask_ ? ptrdiff_t(i & ringMask_) : ptrdiff_t(i) * ptrdiff_t(step_)) * pitch_;
}

void ColumnLifter::update(uint32_t i)
{
    const int64_t k = i;
    kernel<Update, UpdateV>(row(k), row(k - 1), row(k + 1), row(k - 3), row(k + 3), columns_, step_);
}

void ColumnLifter::predict(uint32_t i)
{
    int16_t* d = row(i);
    if (i >= 3 && i + 3 < count_) {
        kernel<Predict4, Predict4V>(d, row(i - 1), row(i + 1), row(i - 3), row(i + 3), columns_, step_);
    } else {
        const int16_t* next = i + 1 < count_ ? row(i + 1) : row(i - 1);
        kernel<Predict2, Predict2V>(d, row(i - 1), next, d, d, columns_, step_);
    }
}

void ColumnLifter::finish(uint32_t i)
{
    if (count_ == 0 || columns_ == 0) return;
    if (i >= count_) i = count_ - 1;
    for (;;) {
        // An odd sample is predicted once the even samples up to three past it are updated.
        while (nextOdd_ <= i && nextOdd_ < count_ && (nextEven_ >= count_ || nextOdd_ + 3 < nextEven_)) {
            predict(nextOdd_);
            nextOdd_ += 2;
        }
        bool evensDone = nextEven_ > i || nextEven_ >= count_;
        bool oddsDone = nextOdd_ > i || nextOdd_ >= count_;
        if (evensDone && oddsDone) return;
        update(nextEven_);
        nextEven_ += 2;
    }
}

void liftColumns(int16_t* base, ptrdiff_t pitch, uint32_t width, uint32_t height, uint32_t step)
{
    ColumnLifter lifter(base, pitch, width, height, step);
    lifter.finish(lineSamples(height, step));
}

RowLifter::RowLifter(uint32_t width, uint32_t step)
    : step_(step), count_(lineSamples(width, step)), buffer_(count_ + 8)
{
    const uint32_t ne = (count_ + 1) / 2, no = count_ / 2;
    even_ = buffer_.data() + 2;
    odd_ = even_ + ne + 4;
    odd_[-2] = odd_[-1] = odd_[no] = odd_[no + 1] = 0;
}

void RowLifter::lift(int16_t* line)
{
    const size_t n = count_, s = step_, no = n / 2;
    if (n < 2) return; // one sample: both steps leave it as it is
    int16_t* e = even_;
    int16_t* o = odd_;
    for (size_t j = 0; j < no; ++j) {
        e[j] = line[2 * j * s];
        o[j] = line[(2 * j + 1) * s];
    }
    if (n & 1) e[no] = line[2 * no * s];
    liftLine(e, o, n);
    for (size_t j = 0; j < no; ++j) {
        line[2 * j * s] = e[j];
        line[(2 * j + 1) * s] = o[j];
    }
    if (n & 1) line[2 * no * s] = e[no];
}

void liftRows(int16_t* base, ptrdiff_t pitch, uint32_t width, uint32_t height, uint32_t step)
{
    RowLifter lifter(width, step);
    const uint32_t rows = lineSamples(height, step);
    for (uint32_t y = 0; y < rows; ++y) lifter.lift(base + ptrdiff_t(y) * ptrdiff_t(step) * pitch);
}

} // namespace Vantorix::DjVu::IW44

// Area averaging of a bilevel mask, run by run.
//
// A mask row is a handful of runs, not thousands of pixels, so nothing here walks pixels: each
// visible run adds colour x weight to the column sums whose footprints it crosses, the weight of
// a stretch of a footprint being a difference of prefix sums. Weights are fixed point and column
// sums integers, so a column's sum does not depend on how its runs were split, ordered or
// clipped: a partial rectangle gets exactly the pixels of the whole picture. Each mask row is
// read once; consecutive rows with the same vertical weights are summed as integers and then
// spread together into the (at most three) output rows whose footprints hold them.
#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>

#include "djv_maskscaling_internal.h"
#include "djv_scaling_internal.h"
#include "vtx_memory.h"

using Vantorix::SimpleArray;
using Vantorix::DjVu::Color;

namespace _Vtx_Internal_NS_ {

namespace {

inline int64_t quantise(float w) { return std::llround(double(w) * double(int64_t(1) << kWeightBits)); }

// Fixed-point footprints of the output positions of one axis.
class FixedAxis {
public:
    struct Position {
        uint32_t first, len; // source positions of the footprint, cut at the source's end
        uint32_t offset; // of its prefix sums
        uint32_t edges, edgeCount; // its pixels that weigh other than kUnit, in edges_
        uint32_t tables; // of its edge tables in tables_, or kNoTables
        uint32_t tailStart; // the first pixel of its tail nibble
    };
    // A pixel of a footprint (first + k) whose weight is kUnit + delta.
    struct Edge {
        uint32_t k;
        int64_t delta;
    };
    // The weight of a whole source pixel inside a footprint.
    static constexpr int64_t kUnit = int64_t(1) << kWeightBits;
    static constexpr uint32_t kNoTables = ~0u;

    // With packed, the positions get their edge tables for weighing packed rows.
    void build(const ShrinkAxis& axis, uint32_t count, ShrinkMethod method, bool packed)
    {
        pos_.resize(count);
        norm_.resize(count);
        prefix_.resize(0);
        edges_.resize(0);
        tables_.resize(0);
        for (uint32_t i = 0; i < count; ++i) {
            const SHRINK_MAP& m = axis.map()[i];
            const float f = m.fraction, g = axis.map()[i + 1].fraction;
            Position& p = pos_[i];
            p = Position{axis[i].first, axis[i].len, prefix_.size(), edges_.size(), 0, kNoTables, 0};
            int64_t sum = 0;
            prefix_.append(0);
            for (uint32_t k = 0; k < p.len; ++k) {
                const int64_t w = quantise(footprintWeight(method, m.count, f, g, k));
                sum += w;
                prefix_.append(sum);
                if (w != kUnit) edges_.append(Edge{k, w - kUnit});
            }
            p.edgeCount = edges_.size() - p.edges;
            if (packed) buildTables(p);
            // The scale is the whole footprint's, including what lies past the mask's edge:
            // outside counts as clear, not as absent.
            int64_t full = 0;
            for (uint32_t k = 0; k <= m.count + 1; ++k) full += quantise(footprintWeight(method, m.count, f, g, k));
            norm_[i] = double(full);
        }
        // For each source position, the first output position whose footprint reaches it.
        lo_ = axis.lowest();
        hi_ = axis.highest();
        indexOf_.resize(hi_ - lo_);
        uint32_t i = 0;
        for (uint32_t q = lo_; q < hi_; ++q) {
            while (i < count && pos_[i].first + pos_[i].len <= q) ++i;
            indexOf_[q - lo_] = i;
        }
        count_ = count;
    }

    // Edge pixels sit at the ends of a footprint (two at each end at most). When they all lie
    // in its first four pixels or in the four from tailStart, their deltas for every pattern of
    // set bits are two lookups by nibble instead of a test per edge.
    void buildTables(Position& p)
    {
        p.tailStart = std::max(4u, p.len < 4 ? 0u : p.len - 4);
        const Edge* const edges = edges_.data() + p.edges;
        for (uint32_t e = 0; e < p.edgeCount; ++e)
            if (edges[e].k >= 4 && (edges[e].k < p.tailStart || edges[e].k >= p.tailStart + 4)) return;
        int64_t delta[8] = {}; // of the head's four pixels, then the tail's
        for (uint32_t e = 0; e < p.edgeCount; ++e)
            delta[edges[e].k < 4 ? edges[e].k : 4 + edges[e].k - p.tailStart] += edges[e].delta;
        p.tables = tables_.size();
        tables_.resize(p.tables + 32);
        int64_t* t = tables_.data() + p.tables;
        for (uint32_t half = 0; half < 2; ++half, t += 16) {
            // A nibble's sum is that of the nibble without its lowest set bit, plus that bit's.
            t[0] = 0;
            for (uint32_t nibble = 1; nibble < 16; ++nibble)
                t[nibble] = t[nibble & (nibble - 1)] + delta[4 * half + 3 - uint32_t(std::countr_zero(nibble))];
        }
    }

    uint32_t count() const { return count_; }
    const Position* positions() const { return pos_.data(); }
    const int64_t* prefix() const { return prefix_.data(); }
    uint32_t first(uint32_t i) const { return pos_[i].first; }
    uint32_t len(uint32_t i) const { return pos_[i].len; }
    double norm(uint32_t i) const { return norm_[i]; }
    uint32_t lowest() const { return lo_; }
    uint32_t highest() const { return hi_; }
    uint32_t indexOf(uint32_t q) const { return indexOf_[q - lo_]; }
    // Weight of source positions [a, z) in footprint p, clipped to it.
    static int64_t weight(const Position& p, const int64_t* prefix, uint32_t a, uint32_t z)
    {
        a = std::max(a, p.first);
        z = std::min(z, p.first + p.len);
        if (a >= z) return 0;
        const int64_t* s = prefix + p.offset - p.first;
        return s[z] - s[a];
    }
    int64_t weight(uint32_t i, uint32_t a, uint32_t z) const { return weight(pos_[i], prefix_.data(), a, z); }
    // Weight of the set pixels of footprint p in a packed row: whole pixels by their count, the
    // few others by their tables.
    [[gnu::always_inline]] int64_t weight(const Position& p, const MaskPackedRow& row) const
    {
        if (p.len > MaskPackedRow::kWindow || p.tables == kNoTables) return weightByEdges(p, row);
        // The usual footprint fits one window: blank and full ones need no counting.
        const uint64_t v = row.window(p.first, p.len);
        if (v == 0) return 0;
        if (v == ~uint64_t(0) << (64 - p.len)) return prefix_[p.offset + p.len];
        const int64_t* t = tables_.data() + p.tables;
        return kUnit * countBits(v) + t[v >> 60] + t[16 + ((v << p.tailStart) >> 60)];
    }

    // Calls f(i, weight) for the positions whose footprints hold set pixels of a packed row that
    // weigh. With Skip, a blank footprint sends the search to the next set pixel, past blank
    // stretches of text rows a word at a time.
    template <bool Skip, class F>
    [[gnu::always_inline]] void forEachWeight(const MaskPackedRow& row, F&& f) const
    {
        const uint32_t hi = row.hi(), count = count_;
        for (uint32_t i = indexOf(row.lo()); i < count && pos_[i].first < hi; ++i) {
            const int64_t w = weight(pos_[i], row);
            if (w != 0) [[likely]]
                f(i, w);
            else if (Skip)
                i = skipBlank(i, row);
        }
    }
    // After blank footprint i: the position before the next footprint that reaches a set pixel
    // of the row, or count_ when none does. Out of line, so that the weighing loop keeps its
    // registers.
    [[gnu::noinline]] uint32_t skipBlank(uint32_t i, const MaskPackedRow& row) const
    {
        const uint32_t x = row.nextSet(pos_[i].first, row.hi());
        return x == row.hi() ? count_ : skipTo(i, x);
    }
    // The position before the first that reaches source position x, or i if that comes first
    // (footprints overlap: the first to reach x may come before i + 1).
    uint32_t skipTo(uint32_t i, uint32_t x) const
    {
        const uint32_t next = indexOf(x);
        return next > i + 1 ? next - 1 : i;
    }

private:
    // Wide footprints: the whole pixels by their count, the others one by one.
    int64_t weightByEdges(const Position& p, const MaskPackedRow& row) const
    {
        const Edge* const edges = edges_.data() + p.edges;
        int64_t w = kUnit * row.count(p.first, p.first + p.len);
        for (uint32_t e = 0; e < p.edgeCount; ++e)
            if (row.test(p.first + edges[e].k)) w += edges[e].delta;
        return w;
    }

    SimpleArray<Position> pos_;
    SimpleArray<uint32_t> indexOf_;
    SimpleArray<double> norm_;
    SimpleArray<int64_t> prefix_;
    SimpleArray<Edge> edges_;
    SimpleArray<int64_t> tables_; // 16 head and 16 tail sums of edge deltas per position
    uint32_t lo_ = 0, hi_ = 0, count_ = 0;
};

// C: colour bytes plus coverage (2 for Gray, 4 for the three-byte photometrics).
template <int C>
class MaskShrinker {
    static constexpr int kBpp = C - 1;

public:
    explicit MaskShrinker(const MaskCall& call) : c_(call) {}

    void run()
    {
        const float rx = float(c_.srcW) / float(c_.dstW), ry = float(c_.srcH) / float(c_.dstH);
        const ShrinkMethod method = (c_.flags & 0xFF) ? ShrinkMethod::Box : ShrinkMethod::Interpolating;
        {
            ShrinkAxis xs, ys;
            xs.build(c_.srcW, c_.dstW, rx, c_.rect.x, c_.rect.w, method, EdgeRule::Clear, true);
            ys.build(c_.srcH, c_.dstH, ry, c_.rect.y, c_.rect.h, method, EdgeRule::Clear, true);
            xs_.build(xs, c_.rect.w, method, true);
            ys_.build(ys, c_.rect.h, method, false);
        }
        const size_t rowValues = size_t(c_.rect.w) * C;
        columnSums_.resize(uint32_t(rowValues));
        std::memset(columnSums_.data(), 0, rowValues * sizeof(int64_t));
        touched_.resize(c_.rect.w);
        std::memset(touched_.data(), 0, c_.rect.w);
        touchedList_.resize(0);
        rowSums_.resize(uint32_t(rowValues * kSlots));
        std::memset(rowSums_.data(), 0, rowValues * kSlots * sizeof(double));
        for (bool& h : slotUsed_) h = false;

        uint32_t next = 0; // next output row to write
        for (uint32_t y = ys_.lowest(); y < ys_.highest(); ++y) {
            // Rows that weigh the same in the same output rows add up as integers first.
            RowWeights w = rowWeights(y);
            if (!(w == pending_)) {
                flush();
                pending_ = w;
            }
            const RowKind kind = packRow(y);
            if (kind == RowKind::Bits)
                stackPacked();
            else if (kind == RowKind::Runs && readRow(y))
                addRuns();
            while (next < ys_.count() && (ys_.len(next) == 0 || ys_.first(next) + ys_.len(next) <= y + 1)) {
                flush();
                emit(next++);
            }
        }
        flush();
        while (next < ys_.count()) emit(next++);
    }

private:
    static constexpr uint32_t kSlots = 4; // a mask row lies in at most three output rows

    static constexpr uint32_t kDigits = 33; // of a count of up to 2^32 rows

    // Packed rows of one colour, stacked.
    struct Stack {
        MaskPackedRow digits[kDigits]; // binary digits of the stacked rows' column counts
        uint32_t count = 0; // digits in use
        Color colour{};
        bool used = false;
    };

    // The output rows a mask row contributes to, with its weight in each.
    struct RowWeights {
        uint32_t count = 0;
        uint32_t row[kSlots] = {};
        int64_t weight[kSlots] = {};
        bool operator==(const RowWeights& o) const
        {
            if (count != o.count) return false;
            for (uint32_t k = 0; k < count; ++k)
                if (row[k] != o.row[k] || weight[k] != o.weight[k]) return false;
            return true;
        }
    };

    RowWeights rowWeights(uint32_t y) const
    {
        RowWeights w;
        for (uint32_t j = ys_.indexOf(y); j < ys_.count() && ys_.first(j) <= y && w.count < kSlots; ++j) {
            const int64_t v = ys_.weight(j, y, y + 1);
            if (v == 0) continue;
            w.row[w.count] = j;
            w.weight[w.count++] = v;
        }
        return w;
    }

    // The visible runs of mask row y within the columns any footprint needs.
    bool readRow(uint32_t y)
    {
        const uint32_t x0 = xs_.lowest(), x1 = std::min(xs_.highest(), c_.srcW);
        if (x0 >= x1) return false;
        c_.rows->collect(y, x0, x1, spans_);
        if (!spans_.size()) return false;
        runs_ = spans_.begin();
        runCount_ = spans_.size();
        if (spans_.unordered()) resolveOverlaps();
        if (c_.fg) {
            fgRow_ = c_.fgRow(y);
            tinted_ = true; // the foreground's colours are not looked at
        }
        return true;
    }

    enum class RowKind { Empty, Bits, Runs };

    // Mask row y as bits, when that is how it is summed: no foreground and few colours.
    RowKind packRow(uint32_t y)
    {
        const uint32_t x0 = xs_.lowest(), x1 = std::min(xs_.highest(), c_.srcW);
        if (x0 >= x1) return RowKind::Empty;
        if (c_.fg || c_.runsOnly) return RowKind::Runs;
        c_.rows->pack(y, x0, x1, packed_);
        if (packed_.tooMany()) return RowKind::Runs;
        return packed_.empty() ? RowKind::Empty : RowKind::Bits;
    }

    // Packed rows that weigh the same are stacked per colour as binary counters of set bits per
    // column (a digit per plane), and counted once for all of them: on strong reductions a
    // dozen rows cost one row's weighing per digit. Sums are linear in the bits, so the column
    // sums are the integers the rows one by one, or their runs, give.
    void stackPacked()
    {
        for (uint32_t p = 0; p < packed_.size(); ++p) {
            if (packed_[p].empty()) continue;
            Stack& s = stackOf(packed_.colour(p));
            for (uint32_t k = 0;; ++k) {
                if (k == s.count) {
                    const uint32_t x0 = xs_.lowest(), x1 = std::min(xs_.highest(), c_.srcW);
                    s.digits[s.count++].reset(x0, x1);
                }
                if (!s.digits[k].addDigit(packed_[p])) break;
            }
        }
    }

    // The stack of a colour; when all are taken by other colours, they go into the column sums.
    Stack& stackOf(const Color& colour)
    {
        Stack* free = nullptr;
        for (Stack& s : stacks_) {
            if (s.used && s.colour == colour) return s;
            if (!s.used && !free) free = &s;
        }
        if (!free) {
            addStacked();
            free = &stacks_[0];
        }
        free->used = true;
        free->colour = colour;
        return *free;
    }

    void addStacked()
    {
        for (Stack& s : stacks_) {
            if (!s.used) continue;
            uint8_t px[4] = {0, 0, 0, 255};
            colourOf(s.colour, px);
            for (uint32_t k = 0; k < s.count; ++k)
                if (!s.digits[k].empty()) addPacked(s.digits[k], int64_t(1) << k, px);
        }
        clearStacks();
    }

    void clearStacks()
    {
        const uint32_t x0 = xs_.lowest(), x1 = std::min(xs_.highest(), c_.srcW);
        for (Stack& s : stacks_) {
            if (!s.used) continue;
            for (uint32_t k = 0; k < s.count; ++k) s.digits[k].reset(x0, x1);
            s.used = false;
        }
    }

    // A packed row into the column sums, each bit weighing times its pixel's weight.
    void addPacked(const MaskPackedRow& row, int64_t times, const uint8_t* px)
    {
        xs_.forEachWeight<true>(row, [&](uint32_t i, int64_t v) { addColumn(i, v * times, px); });
    }

    void resolveOverlaps()
    {
        _Vtx_Internal_NS_::resolveOverlaps(spans_, xs_.lowest(), xs_.highest(), taken_, visible_);
        runs_ = visible_.data();
        runCount_ = visible_.size();
    }

    // Colour and coverage of every run into the sums of the columns whose footprints it crosses.
    void addRuns()
    {
        for (const MaskSpan* sp = runs_; sp != runs_ + runCount_; ++sp) {
            if (!c_.fg) {
                uint8_t px[4] = {0, 0, 0, 255};
                colourOf(sp->colour, px);
                addRun(sp->begin, sp->end, px);
                continue;
            }
            // The foreground colour is constant between its column boundaries.
            for (uint32_t x = sp->begin; x < sp->end;) {
                const uint64_t col = uint64_t(x) * c_.fgW / c_.srcW;
                const uint32_t next = uint32_t(std::min<uint64_t>(sp->end, ((col + 1) * c_.srcW + c_.fgW - 1) / c_.fgW));
                uint8_t px[4] = {0, 0, 0, 255};
                const uint8_t* f = fgRow_ + size_t(col) * kBpp;
                for (int ch = 0; ch < kBpp; ++ch) px[ch] = f[ch];
                addRun(x, next, px);
                x = next;
            }
        }
    }

    void colourOf(const Color& colour, uint8_t px[4])
    {
        if (!haveColour_ || !(colour == lastColour_)) {
            colourBytes(c_.photometric, colour, lastBytes_);
            lastColour_ = colour;
            haveColour_ = true;
            // Black shapes add nothing to the colour sums, which then stay zero and are skipped.
            lastTinted_ = false;
            for (int ch = 0; ch < kBpp; ++ch) lastTinted_ |= lastBytes_[ch] != 0;
        }
        for (int ch = 0; ch < kBpp; ++ch) px[ch] = lastBytes_[ch];
        tinted_ |= lastTinted_;
    }

    // Once per run: a call here costs as much as the run's few columns.
    [[gnu::always_inline]] void addRun(uint32_t begin, uint32_t end, const uint8_t* px)
    {
        const FixedAxis::Position* pos = xs_.positions();
        const int64_t* prefix = xs_.prefix();
        const uint32_t count = xs_.count();
        for (uint32_t i = xs_.indexOf(begin); i < count && pos[i].first < end; ++i)
            addColumn(i, FixedAxis::weight(pos[i], prefix, begin, end), px);
    }

    void addColumn(uint32_t i, int64_t w, const uint8_t* px)
    {
        if (w == 0) return;
        int64_t* s = columnSums_.data() + size_t(i) * C;
        for (int ch = 0; ch < kBpp; ++ch) s[ch] += w * px[ch];
        s[kBpp] += w * 255; // coverage follows the colour bytes
        if (!touched_[i]) {
            touched_[i] = 1;
            touchedList_.append(i);
        }
    }

    // The pending column sums into every output row they belong to, then cleared.
    void flush()
    {
        if (touchedList_.empty() && spreadStack()) return;
        addStacked();
        if (touchedList_.empty()) return;
        if (tinted_)
            spreadColumns<0>();
        else
            spreadColumns<kBpp>();
        tinted_ = false;
    }

    // One pass over the columns: each sum is converted once, spread, and cleared. The channels
    // below From are zero.
    template <int From>
    void spreadColumns()
    {
        double w[kSlots];
        double* rows[kSlots];
        pendingRows(w, rows);
        for (uint32_t i : touchedList_) {
            int64_t* s = columnSums_.data() + size_t(i) * C;
            double sum[C];
            for (int ch = From; ch < C; ++ch) {
                sum[ch] = double(s[ch]);
                s[ch] = 0;
            }
            spread<From>(i, sum, w, rows);
            touched_[i] = 0;
        }
        touchedList_.resize(0);
    }

    // One binary digit of a stack, with its place.
    struct Layer {
        const MaskPackedRow* row;
        uint32_t place;
    };

    // A stack of one colour with nothing else pending skips the integer column sums: each
    // column's sum is formed here from the stack's digits, the integer those sums would hold, so
    // it converts and spreads to the same doubles. Several colours go through the column sums,
    // which cost less than weighing every colour's digits at every column.
    bool spreadStack()
    {
        Stack* only = nullptr;
        for (Stack& s : stacks_) {
            if (!s.used) continue;
            if (only) return false;
            only = &s;
        }
        if (!only) return false;
        Layer layers[kDigits];
        uint32_t n = 0;
        uint8_t px[4] = {0, 0, 0, 255};
        colourOf(only->colour, px);
        for (uint32_t k = 0; k < only->count; ++k)
            if (!only->digits[k].empty()) layers[n++] = Layer{&only->digits[k], k};
        if (n == 0) return false;
        if (tinted_)
            spreadLayers<0>(layers, n, px);
        else
            spreadLayers<kBpp>(layers, n, px);
        tinted_ = false;
        clearStacks();
        return true;
    }

    template <int From>
    void spreadLayers(const Layer* layers, uint32_t n, const uint8_t px[4])
    {
        double w[kSlots];
        double* rows[kSlots];
        pendingRows(w, rows);
        // A row at a time (mild reductions) makes stacks of one digit. Their blank footprints
        // are passed one by one: looking ahead cost an all-black page a tenth more instructions
        // and saved text pages only 1%.
        if (n == 1) {
            xs_.forEachWeight<false>(*layers[0].row, [&](uint32_t i, int64_t v) {
                spreadWeight<From>(i, v << layers[0].place, px, w, rows);
            });
            return;
        }
        uint32_t lo = ~0u, hi = 0;
        for (uint32_t l = 0; l < n; ++l) {
            lo = std::min(lo, layers[l].row->lo());
            hi = std::max(hi, layers[l].row->hi());
        }
        const FixedAxis::Position* pos = xs_.positions();
        for (uint32_t i = xs_.indexOf(lo); i < xs_.count() && pos[i].first < hi; ++i) {
            // One colour: the digits' weights add up before they meet it.
            int64_t total = 0;
            bool any = false;
            for (uint32_t l = 0; l < n; ++l) {
                const int64_t v = xs_.weight(pos[i], *layers[l].row);
                any |= v != 0;
                total += v << layers[l].place;
            }
            if (!any) {
                // Blank in every digit: on to the first footprint that reaches a set pixel.
                uint32_t x = hi;
                for (uint32_t l = 0; l < n; ++l)
                    if (layers[l].row->hi() > pos[i].first)
                        x = std::min(x, layers[l].row->nextSet(pos[i].first, layers[l].row->hi()));
                if (x == hi) return;
                i = xs_.skipTo(i, x);
                continue;
            }
            spreadWeight<From>(i, total, px, w, rows);
        }
    }

    // Column i's weight of one colour, converted once and spread.
    template <int From>
    void spreadWeight(uint32_t i, int64_t weight, const uint8_t px[4], const double w[kSlots], double* const rows[kSlots])
    {
        double sum[C];
        for (int ch = From; ch < kBpp; ++ch) sum[ch] = double(weight * px[ch]);
        sum[kBpp] = double(weight * 255);
        spread<From>(i, sum, w, rows);
    }

    // The weights and sums of the output rows the pending mask rows go to.
    void pendingRows(double w[kSlots], double* rows[kSlots])
    {
        for (uint32_t k = 0; k < pending_.count; ++k) {
            w[k] = double(pending_.weight[k]);
            rows[k] = slot(pending_.row[k]);
            slotUsed_[pending_.row[k] % kSlots] = true;
            slotTinted_[pending_.row[k] % kSlots] |= tinted_;
        }
    }

    // Adding w * 0 would leave the (non-negative) sums as they are: channels below From are
    // not touched.
    template <int From>
    void spread(uint32_t i, const double sum[C], const double w[kSlots], double* const rows[kSlots])
    {
        for (uint32_t k = 0; k < pending_.count; ++k) {
            double* d = rows[k] + size_t(i) * C;
            for (int ch = From; ch < C; ++ch) d[ch] += w[k] * sum[ch];
        }
    }

    double* slot(uint32_t j) { return rowSums_.data() + size_t(j % kSlots) * c_.rect.w * C; }

    // out = trunc(out * (1 - c / 255) + v): coverage c and colour v averaged over the area.
    void emit(uint32_t j)
    {
        const uint32_t k = j % kSlots;
        if (!slotUsed_[k]) return;
        if (slotTinted_[k])
            emitRow<0>(j);
        else
            emitRow<kBpp>(j);
        slotUsed_[k] = slotTinted_[k] = false;
    }

    // The colour sums below channel From are zero.
    template <int From>
    void emitRow(uint32_t j)
    {
        double* sums = slot(j);
        uint8_t* d = c_.outRow(j);
        const double ny = ys_.norm(j);
        // The sums are cleared as they are read. A colour byte of 0 (black shapes) adds an exact
        // +0 to the kept value, so it needs no division.
        for (uint32_t i = 0; i < c_.rect.w; ++i, d += kBpp) {
            double s[C] = {};
            for (int ch = From; ch < C; ++ch) {
                s[ch] = sums[size_t(i) * C + ch];
                sums[size_t(i) * C + ch] = 0;
            }
            if (s[kBpp] <= 0) continue;
            const double area = xs_.norm(i) * ny;
            const double keep = 1.0 - s[kBpp] / area / 255.0;
            uint8_t before = 0, after = 0; // the previous channel's byte
            for (int ch = 0; ch < kBpp; ++ch) {
                // Without colour sums, equal bytes (a grey pixel) blend alike.
                if (From == kBpp && ch > 0 && d[ch] == before) {
                    d[ch] = after;
                    continue;
                }
                before = d[ch];
                const double v = double(d[ch]) * keep + (s[ch] == 0 ? 0.0 : s[ch] / area) + double(kTruncBias);
                d[ch] = after = v <= 0 ? 0 : v >= 255 ? 255 : uint8_t(int(v));
            }
        }
    }

    const MaskCall& c_;
    FixedAxis xs_, ys_;
    MaskSpanList spans_;
    MaskColourPlanes packed_;
    Stack stacks_[MaskColourPlanes::kPlanes];
    SimpleArray<MaskSpan> visible_;
    const MaskSpan* runs_ = nullptr;
    uint32_t runCount_ = 0;
    SimpleArray<uint64_t> taken_;
    const uint8_t* fgRow_ = nullptr;
    Color lastColour_{};
    uint8_t lastBytes_[3] = {};
    bool haveColour_ = false, lastTinted_ = false;
    SimpleArray<int64_t> columnSums_;
    SimpleArray<uint8_t> touched_;
    SimpleArray<uint32_t> touchedList_;
    SimpleArray<double> rowSums_;
    bool slotUsed_[kSlots] = {};
    bool slotTinted_[kSlots] = {}; // colour sums that may be other than zero
    bool tinted_ = false; // a colour byte other than 0 is pending
    RowWeights pending_;
};

} // namespace

void resolveOverlaps(const MaskSpanList& spans, uint32_t x0, uint32_t x1, SimpleArray<uint64_t>& taken,
                     SimpleArray<MaskSpan>& visible)
{
    const uint32_t words = (x1 - x0 + 63) / 64;
    taken.resize(words);
    std::memset(taken.data(), 0, size_t(words) * sizeof(uint64_t));
    visible.resize(0);
    constexpr uint32_t kNone = ~0u;
    for (uint32_t s = spans.size(); s-- > 0;) {
        const MaskSpan sp = spans[s];
        const uint32_t a = sp.begin - x0, z = sp.end - x0;
        uint32_t open = kNone; // start of a free stretch that may go on into the next word
        for (uint32_t base = a & ~63u; base < z; base += 64) {
            const uint32_t lo = std::max(a, base) - base, hi = std::min(z - base, 64u);
            const uint64_t range = (hi == 64 ? ~uint64_t(0) : (uint64_t(1) << hi) - 1) & (~uint64_t(0) << lo);
            uint64_t& word = taken[base / 64];
            const uint64_t free = ~word & range, busy = word & range;
            word |= range;
            // Alternate between the next free bit and the next taken one, from bit lo on.
            for (uint32_t pos = lo; pos < hi;) {
                if (open == kNone) {
                    const uint64_t f = free & (~uint64_t(0) << pos);
                    if (!f) break;
                    pos = uint32_t(std::countr_zero(f));
                    open = base + pos;
                }
                const uint64_t t = busy & (~uint64_t(0) << pos);
                if (!t) break;
                pos = uint32_t(std::countr_zero(t));
                visible.append(MaskSpan{open + x0, base + pos + x0, sp.colour});
                open = kNone;
            }
        }
        if (open != kNone) visible.append(MaskSpan{open + x0, sp.end, sp.colour});
    }
}

void MaskSpanList::grow() { store_.resize(store_.size() < 64 ? 64 : store_.size() * 2); }

void shrinkMask(const MaskCall& call)
{
    if (call.bpp == 1)
        MaskShrinker<2>(call).run();
    else
        MaskShrinker<4>(call).run();
}

} // namespace _Vtx_Internal_NS_

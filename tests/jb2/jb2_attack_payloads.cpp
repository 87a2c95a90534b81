// Writes the JB2 payload of one crafted page or dictionary to standard output, for the hostile
// files that tests/hostile/make_attacks.py puts together (usage: jb2_attack_payloads NAME).
// The payloads are coded by the test writer, so they say exactly which records they hold.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <functional>
#include <vector>

#include "jb2_testwriter.h"

using namespace jb2test;

namespace {

constexpr int32_t kPage = 64;     // width and height of every page here
constexpr int32_t kStep = 262142; // the largest offset one record can code

// A square with a border and a diagonal, so that clipping shows which part was drawn.
Bits square(uint32_t w, uint32_t h)
{
    Bits b(w, h);
    for (uint32_t y = 0; y < h; ++y)
        for (uint32_t x = 0; x < w; ++x) b.set(x, y, x < 2 || y < 2 || x + 2 >= w || y + 2 >= h || x == y);
    return b;
}

// Places shapes at top-down page coordinates, each on a new line: coded from the left edge and
// the bottom row of the previous line's first shape, in steps no record could exceed. With
// asDrawn, each shape is instead cut to what the page shows of it (one reaching above or below
// the page is left out, one reaching past a side is clipped), as a new mark inside the page.
class Placer {
public:
    Placer(JB2TestWriter& w, bool asDrawn) : w_(w), asDrawn_(asDrawn) {}

    void newMark(const Bits& bits, int32_t x, int32_t y)
    {
        if (asDrawn_) return drawn(bits, x, y);
        place(bits.h, x, y, [&](Where at) { w_.newMark(1, bits, at); });
    }
    // A copy of the page's first shape, which is first.
    void copy(const Bits& first, int32_t x, int32_t y)
    {
        if (asDrawn_) return drawn(first, x, y);
        place(first.h, x, y, [&](Where at) { w_.copy(0, at); });
    }

private:
    void drawn(const Bits& bits, int32_t x, int32_t y)
    {
        const int64_t left = std::max<int64_t>(x, 0), right = std::min<int64_t>(int64_t(x) + bits.w, kPage);
        if (y < 0 || int64_t(y) + bits.h > kPage || left >= right) return;
        Bits cut(uint32_t(right - left), bits.h);
        for (uint32_t r = 0; r < bits.h; ++r)
            for (uint32_t c = 0; c < cut.w; ++c) cut.set(c, r, bits.at(left - x + c, r));
        place(cut.h, int32_t(left), y, [&](Where at) { w_.newMark(1, cut, at); });
    }
    void place(uint32_t height, int32_t x, int32_t y, const std::function<void(Where)>& write)
    {
        // Far places are reached through shapes on the way, themselves far outside.
        while (x - left_ > kStep || left_ - x > kStep || y - bottom_ > kStep || bottom_ - y > kStep) {
            const int32_t sx = clampStep(x - left_), sy = clampStep(y - bottom_);
            write({true, sx, -sy});
            moved(height, left_ + sx, bottom_ + sy);
        }
        write({true, x - left_, bottom_ - y});
        moved(height, x, y);
    }
    static int32_t clampStep(int32_t d) { return d > kStep ? kStep : d < -kStep ? -kStep : d; }
    void moved(uint32_t height, int32_t x, int32_t y)
    {
        left_ = x;
        bottom_ = y + int32_t(height) - 1;
    }

    JB2TestWriter& w_;
    bool asDrawn_;
    int32_t left_ = -1, bottom_ = 0;
};

// Copies of one shape at each edge, partly and far outside, and at the coordinates' extremes.
void blitsOutsidePage(JB2TestWriter& w, bool asDrawn)
{
    const Bits s = square(12, 12);
    w.startOfImage(kPage, kPage);
    Placer p(w, asDrawn);
    p.newMark(s, 26, 26);
    const int32_t places[][2] = {{-5, 10},     {10, -5},       {58, 40},           {40, 58},
                                 {-6, -6},     {58, 58},       {-700000, 20},      {20, -700000},
                                 {700000, 20}, {20, 700000},   {-3000000, -3000000}, {3000000, 3000000},
                                 {30, 30}};
    for (const auto& at : places) p.copy(s, at[0], at[1]);
    w.end();
}

// Wider than the page on both sides; taller than the page.
void shapesLargerThanPage(JB2TestWriter& w, bool asDrawn)
{
    w.startOfImage(kPage, kPage);
    Placer p(w, asDrawn);
    p.newMark(square(100, 40), -20, 12);
    p.newMark(square(80, 80), -8, -8);
    w.end();
}

// A refinement record on a page that has no shape to refine.
void refineMissing(JB2TestWriter& w)
{
    w.startOfImage(kPage, kPage);
    w.type(4);
    w.end();
}

// The shared dictionary holds one shape; the page counts three and copies the last.
void dictionaryOfOne(JB2TestWriter& w)
{
    w.startOfImage(0, 0);
    w.newMark(2, square(10, 10));
    w.end();
}

void pageNamingThree(JB2TestWriter& w)
{
    w.library = 3;
    w.requiredDictOrReset(3);
    w.startOfImage(kPage, kPage);
    w.copy(2, {true, 20, -20});
    w.end();
}

// A shape whose size alone is past what one shape may have; its bitmap never follows.
void shapePastLimit(JB2TestWriter& w)
{
    w.startOfImage(kPage, kPage);
    w.type(1);
    w.number(0, 262142, 262142, RootSymbolWidth);
    w.number(0, 262142, 262142, RootSymbolHeight);
}

struct Payload {
    const char* name;
    std::function<void(JB2TestWriter&)> write;
};

// The pages that the format lets a decoder draw come with their picture as drawn: the same
// shapes cut to the page.
const Payload kPayloads[] = {
    {"blits_outside_page", [](JB2TestWriter& w) { blitsOutsidePage(w, false); }},
    {"blits_outside_page_as_drawn", [](JB2TestWriter& w) { blitsOutsidePage(w, true); }},
    {"shapes_larger_than_page", [](JB2TestWriter& w) { shapesLargerThanPage(w, false); }},
    {"shapes_larger_than_page_as_drawn", [](JB2TestWriter& w) { shapesLargerThanPage(w, true); }},
    {"refine_missing", refineMissing},
    {"dictionary_of_one", dictionaryOfOne},
    {"page_naming_three", pageNamingThree},
    {"shape_past_limit", shapePastLimit},
};

} // namespace

int main(int argc, char** argv)
{
    for (const Payload& p : kPayloads) {
        if (argc != 2 || std::strcmp(argv[1], p.name) != 0) continue;
        JB2TestWriter w;
        p.write(w);
        const std::vector<uint8_t> bytes = w.finish();
        return std::fwrite(bytes.data(), 1, bytes.size(), stdout) == bytes.size() ? 0 : 1;
    }
    std::fprintf(stderr, "usage: jb2_attack_payloads NAME (an unknown name was given)\n");
    return 2;
}

// The optimised lifting kernels against a plain transcription of the filters, on random planes.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "djv_iw44lifting.h"

using namespace Vantorix::DjVu::IW44;

namespace {

// One line, literally: every update from the old odd samples, then every prediction from the
// new even samples.
void referenceLine(std::vector<int32_t>& x)
{
    const int64_t n = int64_t(x.size());
    auto at = [&](int64_t i) { return i >= 0 && i < n ? x[size_t(i)] : 0; };
    for (int64_t i = 0; i < n; i += 2)
        x[size_t(i)] = int16_t(x[size_t(i)] - ((9 * (at(i - 1) + at(i + 1)) - at(i - 3) - at(i + 3) + 16) >> 5));
    for (int64_t i = 1; i < n; i += 2) {
        int32_t v;
        if (i >= 3 && i + 3 <= n - 1)
            v = x[size_t(i)] + ((9 * (at(i - 1) + at(i + 1)) - at(i - 3) - at(i + 3) + 8) >> 4);
        else
            v = x[size_t(i)] + ((at(i - 1) + (i + 1 <= n - 1 ? at(i + 1) : at(i - 1)) + 1) >> 1);
        x[size_t(i)] = int16_t(v);
    }
}

void referenceScale(int16_t* base, ptrdiff_t pitch, uint32_t w, uint32_t h, uint32_t t)
{
    std::vector<int32_t> line;
    for (uint32_t x = 0; x < w; x += t) {
        line.clear();
        for (uint32_t y = 0; y < h; y += t) line.push_back(base[ptrdiff_t(y) * pitch + x]);
        referenceLine(line);
        for (uint32_t y = 0, i = 0; y < h; y += t, ++i) base[ptrdiff_t(y) * pitch + x] = int16_t(line[i]);
    }
    for (uint32_t y = 0; y < h; y += t) {
        line.clear();
        for (uint32_t x = 0; x < w; x += t) line.push_back(base[ptrdiff_t(y) * pitch + x]);
        referenceLine(line);
        for (uint32_t x = 0, i = 0; x < w; x += t, ++i) base[ptrdiff_t(y) * pitch + x] = int16_t(line[i]);
    }
}

std::vector<int16_t> randomPlane(std::mt19937& rng, size_t n, int range)
{
    std::uniform_int_distribution<int> dist(-range, range);
    std::vector<int16_t> v(n);
    for (auto& s : v) s = int16_t(dist(rng));
    return v;
}

// Regions of many sizes at odd offsets inside a larger plane, and long rows that take the
// vector paths many times, at every scale, with sample values up to the full 16-bit range
// (the filters must wrap exactly as the reference does).
TEST(Lifting, ScaleEqualsReferenceOnRandomPlanes)
{
    std::mt19937 rng(1234);
    const uint32_t pitch = 1100, rows = 90;
    for (uint32_t t : {1u, 2u, 4u, 8u, 16u}) {
        for (int trial = 0; trial < 40; ++trial) {
            const uint32_t w = trial < 36 ? 1 + rng() % 80 : 1000 + rng() % 90, h = 1 + rng() % 80;
            const uint32_t x0 = rng() % (pitch - w + 1), y0 = rng() % (rows - h + 1);
            const int range = trial % 3 == 0 ? 32767 : trial % 3 == 1 ? 8192 : 300;
            auto plane = randomPlane(rng, size_t(pitch) * rows, range);
            auto expect = plane;
            liftScale(plane.data() + y0 * pitch + x0, pitch, w, h, t);
            referenceScale(expect.data() + y0 * pitch + x0, pitch, w, h, t);
            ASSERT_EQ(plane, expect) << "t=" << t << " region " << x0 << "," << y0 << " " << w << "x" << h;
        }
    }
}

} // namespace

// Damaged payloads: every truncation and corruption must end in a page or an Exception, never
// in a crash, a hang or a sanitizer report.
#include <gtest/gtest.h>

#include <functional>
#include <random>

#include "jb2_test_util.h"

using namespace Vantorix;
using namespace Vantorix::DjVu::JB2;
using namespace jb2test;

namespace {

using Bytes = std::vector<uint8_t>;

// Decodes and draws; an Exception is a fine outcome.
void survive(const Bytes& sjbz, const Bytes* djbz)
{
    vtxtest::thrownBy([&] {
        AutoPtr<JB2Dictionary> dict = djbz ? JB2Dictionary::create(streamOf(*djbz)) : nullptr;
        AutoPtr<JB2Page> page = JB2Page::create(streamOf(sjbz), dict);
        drawPage(static_cast<_Vtx_Internal_NS_::JB2PageImpl&>(*page), false);
    });
}

// Every cut (in steps) and random byte changes of one of the two payloads.
void damage(const Bytes& victim, size_t steps, std::mt19937& rng, const std::function<void(const Bytes&)>& decode)
{
    for (size_t cut = 0; cut < victim.size(); cut += 1 + victim.size() / steps)
        decode(Bytes(victim.begin(), victim.begin() + long(cut)));
    for (int round = 0; round < 25; ++round) {
        Bytes bad = victim;
        for (int k = 1 + int(rng() % 4); k > 0; --k) bad[rng() % bad.size()] ^= uint8_t(1 + rng() % 255);
        decode(bad);
    }
}

TEST(JB2Hostile, TruncatedAndCorruptedPayloads)
{
    std::mt19937 rng(99);
    // The smaller fixtures: damage makes decoders read garbage up to their limits.
    for (const char* name : {"cjb2_text_odd", "cjb2_text_odd_lossy", "minidjvu_p2", "minidjvu_lossy_p5", "cpaldjvu"}) {
        const Bytes sjbz = readFile(fixtureDir() + name + ".sjbz");
        ASSERT_FALSE(sjbz.empty()) << name;
        const bool hasDict = fileExists(fixtureDir() + name + ".djbz");
        const Bytes djbz = hasDict ? readFile(fixtureDir() + name + ".djbz") : Bytes();
        damage(sjbz, 25, rng, [&](const Bytes& bad) { survive(bad, hasDict ? &djbz : nullptr); });
        if (hasDict) damage(djbz, 10, rng, [&](const Bytes& bad) { survive(sjbz, &bad); });
    }
}

TEST(JB2Hostile, RandomBytes)
{
    std::mt19937 rng(7);
    for (int round = 0; round < 300; ++round) {
        Bytes bytes(1 + rng() % 64);
        for (auto& b : bytes) b = uint8_t(rng());
        survive(bytes, nullptr);
        survive(bytes, &bytes);
    }
}

} // namespace

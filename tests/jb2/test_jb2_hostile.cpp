// Damaged payloads: every truncation and corruption must end in a page or an Exception, never
// in a crash, a hang or a sanitizer report.
#include <gtest/gtest.h>

#include <random>

#include "djv_jb2.h"
#include "jb2_test_util.h"
#include "vtx_exception.h"

using namespace Vantorix;
using namespace Vantorix::DjVu::JB2;
using namespace jb2test;

namespace {

// Decodes and draws; returns whether it got through.
bool survive(const std::vector<uint8_t>& sjbz, const std::vector<uint8_t>* djbz)
{
    try {
        AutoPtr<JB2Dictionary> dict = djbz ? JB2Dictionary::create(streamOf(*djbz)) : nullptr;
        AutoPtr<JB2Page> page = JB2Page::create(streamOf(sjbz), dict);
        drawPage(static_cast<_Vtx_Internal_NS_::JB2PageImpl&>(*page), false);
        return true;
    } catch (const Exception&) {
        return false;
    }
}

// The smaller fixtures: damage makes decoders read garbage up to their limits.
const char* const kSamples[] = {"cjb2_text_odd", "cjb2_text_odd_lossy", "minidjvu_p2", "minidjvu_lossy_p5", "cpaldjvu"};

TEST(JB2Hostile, TruncatedPayloads)
{
    for (const char* name : kSamples) {
        std::vector<uint8_t> sjbz = readFile(fixtureDir() + name + ".sjbz");
        ASSERT_FALSE(sjbz.empty()) << name;
        bool hasDict = fileExists(fixtureDir() + name + ".djbz");
        std::vector<uint8_t> djbz = hasDict ? readFile(fixtureDir() + name + ".djbz") : std::vector<uint8_t>();
        for (size_t cut = 0; cut < sjbz.size(); cut += 1 + sjbz.size() / 25) {
            std::vector<uint8_t> part(sjbz.begin(), sjbz.begin() + long(cut));
            survive(part, hasDict ? &djbz : nullptr);
        }
        for (size_t cut = 0; hasDict && cut < djbz.size(); cut += 1 + djbz.size() / 10) {
            std::vector<uint8_t> part(djbz.begin(), djbz.begin() + long(cut));
            survive(sjbz, &part);
        }
    }
}

TEST(JB2Hostile, CorruptedPayloads)
{
    std::mt19937 rng(99);
    for (const char* name : kSamples) {
        const std::vector<uint8_t> sjbz = readFile(fixtureDir() + name + ".sjbz");
        bool hasDict = fileExists(fixtureDir() + name + ".djbz");
        std::vector<uint8_t> djbz = hasDict ? readFile(fixtureDir() + name + ".djbz") : std::vector<uint8_t>();
        for (int round = 0; round < 25; ++round) {
            std::vector<uint8_t> bad = sjbz;
            const int flips = 1 + int(rng() % 4);
            for (int k = 0; k < flips; ++k) bad[rng() % bad.size()] ^= uint8_t(1 + rng() % 255);
            survive(bad, hasDict ? &djbz : nullptr);
            if (hasDict && !djbz.empty()) {
                std::vector<uint8_t> badDict = djbz;
                badDict[rng() % badDict.size()] ^= uint8_t(1 + rng() % 255);
                survive(sjbz, &badDict);
            }
        }
    }
}

TEST(JB2Hostile, RandomBytes)
{
    std::mt19937 rng(7);
    for (int round = 0; round < 300; ++round) {
        std::vector<uint8_t> bytes(1 + rng() % 64);
        for (auto& b : bytes) b = uint8_t(rng());
        survive(bytes, nullptr);
        survive(bytes, &bytes);
    }
}

} // namespace

// Throughput of ZP decoding (synthetic sources of chosen skew) and of BZZ decompression (the
// payloads of tests/fixtures/gen_bzz.sh). Counters: bytes/s is coded input for ZP and decoded
// output for BZZ; items/s is binary decisions for ZP.
#include <benchmark/benchmark.h>

#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "djv_compressStream.h"
#include "djv_zpdecoder.h"
#include "zp_testencoder.h"

using namespace Vantorix;
using namespace Vantorix::DjVu;

namespace {

constexpr size_t kDecisions = 16u << 20;
constexpr int kContexts = 64;

// One in `oneIn` decisions is a 1 (0: even odds), spread over kContexts contexts.
std::vector<int> source(uint32_t oneIn)
{
    std::mt19937 rng(oneIn + 1);
    std::vector<int> bits(kDecisions);
    for (auto& b : bits) b = oneIn ? int(rng() % oneIn == 0) : int(rng() & 1);
    return bits;
}

const std::vector<uint8_t>& coded(uint32_t oneIn)
{
    static std::vector<uint8_t> cache[65];
    auto& c = cache[oneIn];
    if (c.empty()) {
        zptest::ZPTestEncoder enc;
        BitContext ctx[kContexts] = {};
        auto bits = source(oneIn);
        for (size_t i = 0; i < bits.size(); ++i) enc.encode(bits[i], ctx[i % kContexts]);
        c = enc.finish();
    }
    return c;
}

void BM_ZPDecode(benchmark::State& state)
{
    const auto& bytes = coded(uint32_t(state.range(0)));
    for (auto _ : state) {
        auto s = MemoryStorage::create(bytes.data(), uint32_t(bytes.size()));
        ZPDecoder zp(s.get());
        BitContext ctx[kContexts] = {};
        uint32_t ones = 0;
        for (size_t i = 0; i < kDecisions; ++i) ones += uint32_t(zp.decode(ctx[i % kContexts]));
        benchmark::DoNotOptimize(ones);
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * int64_t(kDecisions));
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(bytes.size()));
    state.counters["coded_bytes"] = double(bytes.size());
}
BENCHMARK(BM_ZPDecode)->Arg(0)->Arg(8)->Arg(64)->Unit(benchmark::kMillisecond);

void BM_ZPDecodePassthrough(benchmark::State& state)
{
    std::mt19937 rng(5);
    std::vector<uint8_t> bytes(kDecisions / 8 + 64);
    for (auto& b : bytes) b = uint8_t(rng());
    for (auto _ : state) {
        auto s = MemoryStorage::create(bytes.data(), uint32_t(bytes.size()));
        ZPDecoder zp(s.get());
        uint32_t ones = 0;
        for (size_t i = 0; i < kDecisions; ++i) ones += uint32_t(zp.decodePassthrough());
        benchmark::DoNotOptimize(ones);
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * int64_t(kDecisions));
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(kDecisions / 8));
}
BENCHMARK(BM_ZPDecodePassthrough)->Unit(benchmark::kMillisecond);

void BM_BzzInflate(benchmark::State& state, const std::string& name)
{
    std::ifstream in(std::string(VTX_FIXTURE_DIR "/bzz/") + name, std::ios::binary);
    std::vector<uint8_t> payload((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (payload.empty()) {
        state.SkipWithError("fixture missing: build the `fixtures` target");
        return;
    }
    std::vector<uint8_t> out(1u << 16);
    uint64_t total = 0;
    for (auto _ : state) {
        auto z = DjVu::InflateStream::create(MemoryStorage::create(payload.data(), uint32_t(payload.size())));
        total = 0;
        while (uint32_t n = z->readBytes(out.data(), uint32_t(out.size()), false)) total += n;
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(total));
    state.counters["ratio"] = double(total) / double(payload.size());
}
// Chunk-sized payloads (a directory, a page's hidden text) and large ones.
BENCHMARK_CAPTURE(BM_BzzInflate, text1k, std::string("text1k.bzz"))->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_BzzInflate, random4k, std::string("rand4097.bzz"))->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_BzzInflate, text200k, std::string("text200k.bzz"))->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_BzzInflate, text900k_1block, std::string("text921599_e900.bzz"))->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_BzzInflate, text2m_3blocks, std::string("text2m_e900.bzz"))->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_BzzInflate, random960k_2blocks, std::string("rand960k_e900.bzz"))->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_BzzInflate, text4m_largest_block, std::string("text4m_e4096.bzz"))->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();

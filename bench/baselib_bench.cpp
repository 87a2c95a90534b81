// The runtime's hot spots against the C library doing the same work: formatting an exception
// line, replacing in a long text, and inflating a zlib stream through the filter stream.
#include <benchmark/benchmark.h>
#include <zlib.h>

#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "vtx_stream.h"
#include "vtx_string.h"

using namespace Vantorix;

namespace {

std::string text(size_t n)
{
    std::mt19937 rng(5);
    const char* words[] = {"page ", "chunk ", "INCL ", "shared ", "annotation ", "\n"};
    std::string s;
    while (s.size() < n) s += words[rng() % 6];
    return s;
}

std::vector<uint8_t> compressed(const std::string& s)
{
    uLongf n = compressBound(uLong(s.size()));
    std::vector<uint8_t> out(n);
    compress2(out.data(), &n, reinterpret_cast<const Bytef*>(s.data()), uLong(s.size()), 6);
    out.resize(n);
    return out;
}

void FormatMessageLine(benchmark::State& state)
{
    for (auto _ : state) {
        String s = String::format("%s(%d) : %s: Error %d: %s\n", "sdk/src/jb2/djv_jb2decoder.cpp", 412,
                                  "Vantorix::DjVu::JB2Decoder::decode", 20, "errDataBroken");
        benchmark::DoNotOptimize(s.getUtf8());
    }
}

void FormatMessageLineCLibrary(benchmark::State& state)
{
    char buf[256];
    for (auto _ : state) {
        int n = std::snprintf(buf, sizeof buf, "%s(%d) : %s: Error %d: %s\n", "sdk/src/jb2/djv_jb2decoder.cpp", 412,
                              "Vantorix::DjVu::JB2Decoder::decode", 20, "errDataBroken");
        std::string s(buf, size_t(n));
        benchmark::DoNotOptimize(s.data());
    }
}

void ReplaceLongText(benchmark::State& state)
{
    String source(text(1 << 20));
    for (auto _ : state) benchmark::DoNotOptimize(source.replaced("annotation", "note").getLength());
    state.SetBytesProcessed(int64_t(state.iterations()) * (1 << 20));
}

void ReplaceLongTextStdString(benchmark::State& state)
{
    std::string source = text(1 << 20);
    for (auto _ : state) {
        std::string out;
        size_t i = 0;
        for (size_t at; (at = source.find("annotation", i)) != std::string::npos; i = at + 10) {
            out.append(source, i, at - i);
            out += "note";
        }
        out.append(source, i);
        benchmark::DoNotOptimize(out.size());
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * (1 << 20));
}

void InflateThroughStream(benchmark::State& state)
{
    std::vector<uint8_t> z = compressed(text(4 << 20));
    std::vector<uint8_t> out(4 << 20);
    for (auto _ : state) {
        auto in = InflateStream::create(AutoPtr<Stream>(MemoryStorage::create(z.data(), uint32_t(z.size()))));
        benchmark::DoNotOptimize(in->readBytes(out.data(), uint32_t(out.size()), false));
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * (4 << 20));
}

void InflateZlibDirect(benchmark::State& state)
{
    std::vector<uint8_t> z = compressed(text(4 << 20));
    std::vector<uint8_t> out(4 << 20);
    for (auto _ : state) {
        uLongf n = uLongf(out.size());
        benchmark::DoNotOptimize(uncompress(out.data(), &n, z.data(), uLong(z.size())));
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * (4 << 20));
}

} // namespace

BENCHMARK(FormatMessageLine);
BENCHMARK(FormatMessageLineCLibrary);
BENCHMARK(ReplaceLongText);
BENCHMARK(ReplaceLongTextStdString);
BENCHMARK(InflateThroughStream);
BENCHMARK(InflateZlibDirect);
BENCHMARK_MAIN();

// Version comparison: KOPAPlugin's strict comparison over 1,000,000 pairs of random version
// texts (seeded; two to four components, a beta part in a third of them, some pairs sharing
// their main part), reported as ns per comparison, beside a plain strtoll split of the same texts
// compared component by component. Target: within 2x of the strtoll split.
//
//   bench_version_compare [--benchmark_...]

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "plugin/framework/Classes/VEXAPlugin.h"

namespace {

constexpr size_t kPairs = 1'000'000;

std::string randomVersion(std::mt19937_64& rng) {
    std::uniform_int_distribution<int> components(2, 4), small(0, 12), large(0, 2100), beta(0, 2);
    std::string text;
    int count = components(rng);
    for (int i = 0; i < count; ++i) {
        if (i) text += '.';
        text += std::to_string(i == 0 && small(rng) > 9 ? large(rng) : small(rng));
    }
    if (beta(rng) == 0) text += "b" + std::to_string(small(rng));
    return text;
}

const std::vector<std::pair<std::string, std::string>>& pairs() {
    static const auto all = [] {
        std::mt19937_64 rng(20261207);
        std::vector<std::pair<std::string, std::string>> made;
        made.reserve(kPairs);
        for (size_t i = 0; i < kPairs; ++i) {
            std::string a = randomVersion(rng);
            // A quarter of the pairs share the main part, so the beta rule is exercised too.
            std::string b =
                (i % 4 == 0) ? a.substr(0, a.find('b')) + "b" + std::to_string(i % 7) : randomVersion(rng);
            made.emplace_back(std::move(a), std::move(b));
        }
        return made;
    }();
    return all;
}

// The baseline: strtoll over each component, then a lexicographic comparison.
int splitWithStrtoll(const char* text, long long (&out)[16]) {
    int n = 0;
    const char* p = text;
    for (;;) {
        char* end = nullptr;
        long long value = std::strtoll(p, &end, 10);
        if (n < 16) out[n++] = value;
        if (*end != '.') break;
        p = end + 1;
    }
    return n;
}

bool strtollHigher(const std::string& a, const std::string& b) {
    long long va[16], vb[16];
    int na = splitWithStrtoll(a.c_str(), va), nb = splitWithStrtoll(b.c_str(), vb);
    for (int i = 0; i < na && i < nb; ++i)
        if (va[i] != vb[i]) return va[i] > vb[i];
    return na > nb;
}

void setCounters(benchmark::State& state) {
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * kPairs));
    state.counters["ns_per_comparison"] =
        benchmark::Counter(static_cast<double>(state.iterations() * kPairs),
                           benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

void BM_VersionCompare(benchmark::State& state) {
    const auto& all = pairs();
    for (auto _ : state) {
        size_t higher = 0;
        for (const auto& [a, b] : all) higher += KOPAPlugin::compareVersionStrings(a, b, false);
        benchmark::DoNotOptimize(higher);
    }
    setCounters(state);
}

void BM_StrtollSplit(benchmark::State& state) {
    const auto& all = pairs();
    for (auto _ : state) {
        size_t higher = 0;
        for (const auto& [a, b] : all) higher += strtollHigher(a, b);
        benchmark::DoNotOptimize(higher);
    }
    setCounters(state);
}

}  // namespace

BENCHMARK(BM_VersionCompare)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_StrtollSplit)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();

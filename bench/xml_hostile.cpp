// Reading time of documents built to make an XML reader slow down: one element with N
// attributes, N differently named children, names and attribute values N bytes long, and N
// levels of nesting, for N growing tenfold. Linear growth shows as a steady "per_unit" time
// across N (cache misses in the larger trees add a little); a quadratic path would grow it
// tenfold per step.
//
//   bench_xml_hostile --benchmark_min_time=0.5

#include <benchmark/benchmark.h>
#include <expat.h>
#include <fmt/format.h>

#include <stdexcept>
#include <string>

#include "plugin/framework/Classes/VEXAXMLDictionary.h"

namespace {

std::string attributes(size_t n) {
    std::string xml = "<a";
    for (size_t i = 0; i < n; ++i) xml += fmt::format(" n{}=\"{}\"", i, i % 10);
    return xml + "/>";
}

std::string distinctNames(size_t n) {
    std::string xml = "<a>";
    for (size_t i = 0; i < n; ++i) xml += fmt::format("<c{}/>", i);
    return xml + "</a>";
}

std::string longName(size_t n) {
    const std::string name(n, 'n');
    return fmt::format("<{0} {0}=\"{1}\">t</{0}>", name, std::string(n, 'v'));
}

std::string deep(size_t n) {
    std::string xml;
    for (size_t i = 0; i < n; ++i) xml += "<d>";
    for (size_t i = 0; i < n; ++i) xml += "</d>";
    return xml;
}

template <std::string (*Make)(size_t)>
void BM_Hostile(benchmark::State& state) {
    const size_t n = static_cast<size_t>(state.range(0));
    const std::string document = Make(n);
    KOPAXMLDictionaryParser parser;
    for (auto _ : state) {
        std::optional<platform::Value> root = parser.dictionaryWithData(document);
        if (!root) throw std::runtime_error("document refused");
        benchmark::DoNotOptimize(root);
    }
    // Seconds per unit, shown in ns by the reporter's unit prefixes (e.g. "1.2u" = 1.2 us).
    state.counters["per_unit"] = benchmark::Counter(
        static_cast<double>(n), benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * document.size()));
}

// expat alone with empty handlers over the same bytes, for the memory hierarchy's share: large
// documents grow expat's own tables and our tree past the caches alike.
void XMLCALL emptyStart(void*, const XML_Char*, const XML_Char**) {}
void XMLCALL emptyEnd(void*, const XML_Char*) {}

template <std::string (*Make)(size_t)>
void BM_HostileRawExpat(benchmark::State& state) {
    const size_t n = static_cast<size_t>(state.range(0));
    const std::string document = Make(n);
    for (auto _ : state) {
        XML_Parser parser = XML_ParserCreate(nullptr);
        XML_SetElementHandler(parser, emptyStart, emptyEnd);
        if (XML_Parse(parser, document.data(), static_cast<int>(document.size()), 1) != XML_STATUS_OK)
            throw std::runtime_error("document refused");
        XML_ParserFree(parser);
    }
    state.counters["per_unit"] = benchmark::Counter(
        static_cast<double>(n), benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

BENCHMARK_TEMPLATE(BM_HostileRawExpat, attributes)
    ->RangeMultiplier(10)
    ->Range(10000, 1000000)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_TEMPLATE(BM_HostileRawExpat, distinctNames)
    ->RangeMultiplier(10)
    ->Range(10000, 1000000)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_TEMPLATE(BM_Hostile, attributes)
    ->RangeMultiplier(10)
    ->Range(10000, 1000000)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_TEMPLATE(BM_Hostile, distinctNames)
    ->RangeMultiplier(10)
    ->Range(10000, 1000000)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_TEMPLATE(BM_Hostile, longName)
    ->RangeMultiplier(10)
    ->Range(100000, 10000000)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_TEMPLATE(BM_Hostile, deep)
    ->RangeMultiplier(10)
    ->Range(10000, 1000000)
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();

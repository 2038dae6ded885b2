// Parse throughput of KOPAXMLDictionaryParser beside a raw expat pass (the same handlers
// registered, all empty) over the same bytes in memory, on seeded corpora:
//   records   - a flat list of records with attributes, repeated elements, comments, CDATA
//   deep      - groups of elements nested a few thousand levels deep
//   longtext  - few elements holding long texts full of entities and character references
//
// BM_SideBySide runs both passes in every iteration, interleaved, and reports each one's MB/s
// and the parser's share of the raw speed ("parser_pct_of_expat"), so load from other processes
// hits both alike; both are timed in thread CPU time. The parser's time includes freeing the tree
// it built.
//
// BM_FastPathScan times the byte scan that routes documents between the two readers.
//
//   bench_xml_parse --benchmark_filter=SideBySide/records --benchmark_min_time=3

#include <benchmark/benchmark.h>
#include <expat.h>
#include <fmt/format.h>
#include <time.h>

#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "plugin/framework/Classes/VEXAXMLDictionary.h"
#include "plugin/framework/Classes/VEXAXMLLibxml2Reader.h"

namespace {

class CorpusWriter {
public:
    explicit CorpusWriter(uint64_t seed) : m_random(seed) {}

    std::string word() {
        static const char* const kWords[] = {
            "alpha",  "bravo", "delta",  "echo",  "harbor", "kilo",   "lima",    "north",  "oscar", "papa",
            "quebec", "river", "sierra", "tango", "umbra",  "victor", "whiskey", "yankee", "zulu",  "meadow"};
        return kWords[pick(std::size(kWords))];
    }
    std::string words(size_t count) {
        std::string text;
        for (size_t i = 0; i < count; ++i) {
            if (i) text += ' ';
            text += word();
        }
        return text;
    }
    size_t pick(size_t n) { return std::uniform_int_distribution<size_t>(0, n - 1)(m_random); }

private:
    std::mt19937_64 m_random;
};

std::string recordsCorpus(size_t targetBytes) {
    CorpusWriter w(20261207);
    std::string xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<records generated=\"bench\">\n";
    for (size_t id = 1; xml.size() < targetBytes; ++id) {
        xml += fmt::format("  <record id=\"{}\" type=\"{}\" active=\"{}\">\n", id, w.word(),
                           w.pick(2) ? "yes" : "no");
        if (w.pick(4) == 0) xml += fmt::format("    <!-- reviewed by {} -->\n", w.word());
        xml += fmt::format("    <name>{} {}</name>\n", w.word(), w.word());
        xml += fmt::format("    <email>{}.{}@example.com</email>\n", w.word(), id);
        for (size_t p = 0, n = 1 + w.pick(3); p < n; ++p)
            xml += fmt::format("    <phone kind=\"{}\">+41 {} {} {}</phone>\n", p ? "work" : "home",
                               10 + w.pick(90), 100 + w.pick(900), 1000 + w.pick(9000));
        xml += fmt::format(
            "    <address><street>{} {}</street><city>{}</city><zip>{}</zip><country "
            "code=\"CH\"/></address>\n",
            w.pick(200), w.word(), w.word(), 1000 + w.pick(9000));
        xml += "    <tags>";
        for (size_t t = 0, n = w.pick(4); t < n; ++t) xml += fmt::format("<tag>{}</tag>", w.word());
        xml += "</tags>\n";
        xml += fmt::format("    <balance currency=\"CHF\">{}.{:02}</balance>\n", w.pick(100000), w.pick(100));
        if (w.pick(3) == 0)
            xml += fmt::format("    <notes><![CDATA[{} <b>{}</b> & {}]]></notes>\n", w.words(6), w.word(),
                               w.words(3));
        else
            xml += fmt::format("    <notes>{} &amp; {}</notes>\n", w.words(5), w.words(2));
        xml += "  </record>\n";
    }
    xml += "</records>\n";
    return xml;
}

std::string deepCorpus(size_t targetBytes) {
    CorpusWriter w(77);
    std::string xml = "<forest>";
    while (xml.size() < targetBytes) {
        const size_t depth = 2000 + w.pick(3000);
        for (size_t i = 0; i < depth; ++i) xml += fmt::format("<n d=\"{}\">", i % 10);
        xml += w.word();
        for (size_t i = 0; i < depth; ++i) xml += "</n>";
    }
    xml += "</forest>";
    return xml;
}

std::string longTextCorpus(size_t targetBytes) {
    CorpusWriter w(4242);
    std::string xml = "<documents>";
    while (xml.size() < targetBytes) {
        xml += fmt::format("<document title=\"{}\"><body>", w.words(3));
        for (size_t i = 0; i < 4000; ++i) {
            xml += w.word();
            switch (w.pick(6)) {
                case 0:
                    xml += " &amp; ";
                    break;
                case 1:
                    xml += " &lt;tag&gt; ";
                    break;
                case 2:
                    xml += " &#233;&#x20AC; ";
                    break;
                case 3:
                    xml += "\n";
                    break;
                default:
                    xml += ' ';
            }
        }
        xml += "</body></document>";
    }
    xml += "</documents>";
    return xml;
}

const std::string& corpus(int which) {
    static const std::string corpora[] = {recordsCorpus(8 << 20), deepCorpus(8 << 20),
                                          longTextCorpus(8 << 20)};
    return corpora[which];
}

const char* const kCorpusNames[] = {"records", "deep", "longtext"};

// The raw pass: the handlers the parser registers with its default options, all empty.
void XMLCALL emptyStart(void*, const XML_Char*, const XML_Char**) {}
void XMLCALL emptyEnd(void*, const XML_Char*) {}
void XMLCALL emptyCharacters(void*, const XML_Char*, int) {}

void rawExpatPass(const std::string& bytes) {
    XML_Parser parser = XML_ParserCreate(nullptr);
    XML_SetElementHandler(parser, emptyStart, emptyEnd);
    XML_SetCharacterDataHandler(parser, emptyCharacters);
    if (XML_Parse(parser, bytes.data(), static_cast<int>(bytes.size()), 1) != XML_STATUS_OK)
        throw std::runtime_error("corpus is not well-formed");
    XML_ParserFree(parser);
}

void parserPass(const KOPAXMLDictionaryParser& parser, const std::string& bytes) {
    std::optional<platform::Value> root = parser.dictionaryWithData(bytes);
    if (!root) throw std::runtime_error("parser returned nothing");
    benchmark::DoNotOptimize(root);
}

void setThroughput(benchmark::State& state, size_t bytes) {
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes));
    state.counters["MB/s"] =
        benchmark::Counter(static_cast<double>(bytes) / 1e6, benchmark::Counter::kIsIterationInvariantRate);
}

void BM_RawExpat(benchmark::State& state) {
    const std::string& bytes = corpus(static_cast<int>(state.range(0)));
    state.SetLabel(kCorpusNames[state.range(0)]);
    for (auto _ : state) rawExpatPass(bytes);
    setThroughput(state, bytes.size());
}

void BM_Parser(benchmark::State& state) {
    const std::string& bytes = corpus(static_cast<int>(state.range(0)));
    state.SetLabel(kCorpusNames[state.range(0)]);
    KOPAXMLDictionaryParser parser;
    for (auto _ : state) parserPass(parser, bytes);
    setThroughput(state, bytes.size());
}

// The build alone: the tree is freed outside the timed part.
void BM_ParserBuildOnly(benchmark::State& state) {
    const std::string& bytes = corpus(static_cast<int>(state.range(0)));
    state.SetLabel(kCorpusNames[state.range(0)]);
    KOPAXMLDictionaryParser parser;
    for (auto _ : state) {
        std::optional<platform::Value> root = parser.dictionaryWithData(bytes);
        state.PauseTiming();
        root.reset();
        state.ResumeTiming();
    }
    setThroughput(state, bytes.size());
}
// CPU time of this thread: on a machine shared with other work, time the process was not running
// would otherwise land on whichever pass it interrupted.
double threadSeconds() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

void BM_SideBySide(benchmark::State& state) {
    const std::string& bytes = corpus(static_cast<int>(state.range(0)));
    state.SetLabel(kCorpusNames[state.range(0)]);
    KOPAXMLDictionaryParser parser;
    double rawSeconds = 0, parserSeconds = 0;
    for (auto _ : state) {
        const double t0 = threadSeconds();
        rawExpatPass(bytes);
        const double t1 = threadSeconds();
        parserPass(parser, bytes);
        const double t2 = threadSeconds();
        rawSeconds += t1 - t0;
        parserSeconds += t2 - t1;
    }
    const double megabytes =
        static_cast<double>(bytes.size()) * static_cast<double>(state.iterations()) / 1e6;
    state.counters["expat_MB/s"] = megabytes / rawSeconds;
    state.counters["parser_MB/s"] = megabytes / parserSeconds;
    state.counters["parser_pct_of_expat"] = 100.0 * rawSeconds / parserSeconds;
}

// The scan that decides whether the fast reader may take a document: its share of a parse.
void BM_FastPathScan(benchmark::State& state) {
    const std::string& bytes = corpus(static_cast<int>(state.range(0)));
    state.SetLabel(kCorpusNames[state.range(0)]);
    for (auto _ : state) benchmark::DoNotOptimize(KOPAXMLLibxml2Reader::suits(bytes));
    setThroughput(state, bytes.size());
}

BENCHMARK(BM_FastPathScan)->DenseRange(0, 2)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RawExpat)->DenseRange(0, 2)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Parser)->DenseRange(0, 2)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ParserBuildOnly)->DenseRange(0, 2)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SideBySide)->DenseRange(0, 2)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();

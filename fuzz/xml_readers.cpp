// The two XML readers on any bytes: what the fast reader accepts, expat accepts with the same
// tree; what the fast reader refuses, expat refuses; and the parser's answer (tree, decision and
// error) is always expat's. The first byte picks the options, the rest is the document.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "FuzzCheck.h"
#include "XmlOptions.h"
#include "plugin/framework/Classes/VEXAXMLReaders.h"

namespace {

std::string shown(const std::optional<platform::Value>& root) {
    return root ? fuzzcheck::shown(*root) : "(none)";
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    const KOPAXMLReadOptions options = KOPAXMLReaders::optionsOf(fuzzcheck::parserFromByte(data[0]));
    std::string_view document(reinterpret_cast<const char*>(data + 1), size - 1);
    using Reader = KOPAXMLReaders::Reader;
    using Verdict = KOPAXMLReaders::Verdict;

    const auto expat = KOPAXMLReaders::read(Reader::Expat, options, document);
    const auto fast = KOPAXMLReaders::read(Reader::Libxml2, options, document);
    const auto parser = KOPAXMLReaders::read(Reader::Automatic, options, document);

    FUZZ_CHECK(expat.verdict != Verdict::Declined, "expat declined a document");
    if (fast.verdict == Verdict::Accepted) {
        FUZZ_CHECK(expat.verdict == Verdict::Accepted,
                   "only the fast reader accepts: " + expat.error.description());
        FUZZ_CHECK(shown(fast.root) == shown(expat.root),
                   "trees differ\nfast: " + shown(fast.root) + "\nexpat: " + shown(expat.root));
    } else if (fast.verdict == Verdict::Refused) {
        FUZZ_CHECK(expat.verdict == Verdict::Refused,
                   "only the fast reader refuses; expat read " + shown(expat.root));
    }
    FUZZ_CHECK(parser.verdict == expat.verdict, "the parser's decision is not expat's");
    FUZZ_CHECK(
        shown(parser.root) == shown(expat.root),
        "the parser's tree is not expat's\nparser: " + shown(parser.root) + "\nexpat: " + shown(expat.root));
    FUZZ_CHECK(
        parser.error.description() == expat.error.description(),
        "errors differ\nparser: " + parser.error.description() + "\nexpat: " + expat.error.description());
    return 0;
}

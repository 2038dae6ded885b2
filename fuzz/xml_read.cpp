// XML reading: the first byte picks the parser's options, the rest is the document. Any bytes
// give a tree, an error or both, never a crash; the byte and text entry points agree, and the
// checked form succeeds exactly when the unchecked one reports no error.

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "FuzzCheck.h"
#include "XmlOptions.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    auto parser = fuzzcheck::parserFromByte(data[0]);
    std::string_view document(reinterpret_cast<const char*>(data + 1), size - 1);

    KOPAXMLParseError error;
    error.line = UINT64_MAX;  // untouched unless the reader stops on an error
    auto tree = parser.dictionaryWithData(document, &error);
    bool failed = error.line != UINT64_MAX;

    KOPAXMLParseError textError;
    textError.line = UINT64_MAX;
    auto textTree = parser.dictionaryWithString(document, &textError);
    FUZZ_CHECK(tree.has_value() == textTree.has_value() && (!tree || *tree == *textTree),
               "bytes and text entry points read different trees");
    FUZZ_CHECK(failed == (textError.line != UINT64_MAX) && (!failed || error.message == textError.message),
               "bytes: " + (failed ? error.description() : "ok") +
                   "\ntext: " + (textError.line != UINT64_MAX ? textError.description() : "ok"));

    auto checked = parser.parseData(document);
    if (checked) {
        FUZZ_CHECK(!failed && tree && *tree == checked.value(),
                   "the checked form accepted a failed document");
    } else {
        FUZZ_CHECK(failed || !tree, "the checked form refused: " + checked.status().message());
    }
    return 0;
}

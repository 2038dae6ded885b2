// XML round trip: a document read with the options of the first byte, written back with the
// writer and read again with the same options gives the same tree. The writer's output is
// always a document its own reader accepts. Reading trims white space: the writer's line feeds
// between an element's parts would otherwise come back as text.
// Several text runs of one element come back as one run, and comments come back with the
// writer's entities as text (see normalize).
//
// Documents with names that start with "_" are skipped: such names share the reserved keys'
// spelling ("__text", "_" + attribute), which the tree cannot tell apart by design.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "FuzzCheck.h"
#include "XmlOptions.h"
#include "plugin/framework/Categories/NSDictionary+VEXAXMLDictionary.h"

namespace {

bool hasUnderscoreName(std::string_view document) {
    for (size_t i = 1; i < document.size(); ++i) {
        if (document[i] != '_') continue;
        char before = document[i - 1];
        if (before == '<' || before == '/' || before == ' ' || before == '\t' || before == '\n' ||
            before == '\r')
            return true;
    }
    return false;
}

// Several text runs of one element (text, child, text) are written as one run joined with line
// feeds, as the accessors join them; compare trees with runs joined the same way.
void normalize(platform::Value& root) {
    std::vector<platform::Value*> pending{&root};
    while (!pending.empty()) {
        platform::Value* value = pending.back();
        pending.pop_back();
        if (value->isArray()) {
            for (auto& member : value->asArray()) pending.push_back(&member);
        } else if (value->isDictionary()) {
            // Comments are written entity-encoded (the writer's documented form) and come back
            // with their entities as text, so only the rest of the tree is compared.
            value->asDictionary().erase("__comments");
            for (auto& [key, member] : value->asDictionary()) {
                if (key == "__text" && member.isArray())
                    member = platform::Value(kopaJoinedTextRuns(member.asArray()));
                else
                    pending.push_back(&member);
            }
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    auto parser = fuzzcheck::parserFromByte(data[0]);
    // Dropped attributes and unprefixed ones cannot come back as they were read.
    int32_t mode = parser.attributesMode();
    if (mode != KOPAXMLDictionaryParser::AttributesModePrefixed &&
        mode != KOPAXMLDictionaryParser::AttributesModeDictionary)
        return 0;
    // The writer needs the element's name in the tree.
    if (parser.nodeNameMode() == KOPAXMLDictionaryParser::NodeNameModeNever) return 0;
    // The writer separates an element's parts with line feeds, which a reader that keeps white
    // space reads as text: the round trip holds for trimmed reading only.
    if (!parser.trimWhiteSpace()) return 0;
    std::string_view document(reinterpret_cast<const char*>(data + 1), size - 1);
    if (hasUnderscoreName(document)) return 0;

    auto checked = parser.parseData(document);
    if (!checked) return 0;
    const platform::Value& first = checked.value();
    std::string written = kopaXMLString(first);
    auto again = parser.parseData(written);
    FUZZ_CHECK(bool(again), "the writer's output does not read: " + again.status().message() +
                                "\ndocument: " + std::string(document) + "\nwritten: " + written);
    platform::Value expected = first;
    platform::Value actual = again.value();
    normalize(expected);
    normalize(actual);
    FUZZ_CHECK(actual == expected, "read " + fuzzcheck::shown(first) + "\nwritten " + written +
                                       "\nread back " + fuzzcheck::shown(again.value()));
    return 0;
}

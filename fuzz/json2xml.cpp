// JSON to XML: a JSON document read as a value and written as XML under the element name
// "root" gives XML the reader accepts, and reading it gives what writing it again repeats
// (one write and read settles the tree). Values with names or texts the writer refuses are fine
// to refuse; what it writes must read.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>

#include "FuzzCheck.h"
#include "plugin/framework/Categories/NSDictionary+VEXAXMLDictionary.h"
#include "plugin/framework/Classes/VEXAXMLDictionary.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string_view text(reinterpret_cast<const char*>(data), size);
    platform::Value value;
    try {
        value = platform::Value::parseJson(text);
    } catch (const platform::ValueError&) {
        return 0;
    }
    // The checked writer refuses names and characters XML cannot carry; what it accepts must read.
    auto checked = KOPAXMLDictionaryParser::checkedXMLStringForNode(value, "root");
    if (!checked) return 0;
    std::string written = std::move(checked.value());
    if (written.empty()) return 0;
    KOPAXMLDictionaryParser parser;
    // Comments are written entity-encoded (the writer's documented form) and would come back
    // with their entities as text: they must read, but are not compared.
    parser.setPreserveComments(false);
    // An array at the top writes several "root" elements: wrap them so they form one document.
    std::string document = value.isArray() ? "<list>" + written + "</list>" : written;
    auto read = parser.parseData(document);
    FUZZ_CHECK(bool(read), "the writer's output does not read: " + read.status().message() +
                               "\nvalue: " + fuzzcheck::shown(value) + "\nwritten: " + written);
    std::string rewritten = kopaXMLString(read.value());
    auto reread = parser.parseData(rewritten);
    FUZZ_CHECK(bool(reread) && reread.value() == read.value(),
               "second round differs\nfirst: " + document + "\nsecond: " + rewritten);
    return 0;
}

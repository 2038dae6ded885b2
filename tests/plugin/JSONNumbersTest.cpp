// Integers beyond 64 bits on the framework's paths: read from a JSON file, written as XML in
// their usual decimal form, and back, digit for digit.

#include <gtest/gtest.h>

#include <string>

#include "plugin/framework/Categories/NSDictionary+VEXAXMLDictionary.h"
#include "plugin/framework/Categories/NSJSONSerialization+VEXA.h"
#include "tests/support/TempDir.h"

using platform::Value;

namespace {

TEST(JSONNumbers, LargeIntegersKeepTheirDigitsThroughJSONFilesAndXML) {
    testsupport::TempDir dir;
    dir.write("n.json", R"({"__name":"r","max":18446744073709551615,"long":-123456789012345678901234567890,)"
                        R"("small":-5,"real":2.5,"list":[9223372036854775808,1]})");
    const Value read = kopaJSONObjectWithContentsOfFile(dir / "n.json", 0);
    ASSERT_TRUE(read.at("max").isLargeInteger());
    EXPECT_EQ(read.toJson(),
              R"({"__name":"r","list":[9223372036854775808,1],"long":-123456789012345678901234567890,)"
              R"("max":18446744073709551615,"real":2.5,"small":-5})");

    // Once written as 1.8446744073709552e+19 and the like.
    const std::string xml = kopaXMLString(read);
    for (const char* element :
         {"<max>18446744073709551615</max>", "<long>-123456789012345678901234567890</long>",
          "<list>9223372036854775808</list>", "<small>-5</small>"})
        EXPECT_NE(xml.find(element), std::string::npos) << element << " in " << xml;

    const auto back = kopaDictionaryWithXMLString(xml);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->at("max"), Value("18446744073709551615"));
    EXPECT_EQ(back->at("long"), Value("-123456789012345678901234567890"));
}

TEST(JSONNumbers, MalformedFilesNameTheFileAndThePosition) {
    testsupport::TempDir dir;
    dir.write("bad.json", "{\n  \"a\": [1,\n  \"b\"\n}");
    try {
        (void)kopaJSONObjectWithContentsOfFile(dir / "bad.json", 0);
        ADD_FAILURE() << "accepted";
    } catch (const KOPAException& e) {
        EXPECT_EQ(e.name(), "JSONDeserializationError");
        EXPECT_NE(e.reason().find("bad.json: JSON parse error at line 4, column 1"), std::string::npos)
            << e.reason();
    }
    dir.write("nul.json", std::string("[1]\0[2]", 7));
    try {
        (void)kopaJSONObjectWithContentsOfFile(dir / "nul.json", 0);
        ADD_FAILURE() << "a NUL and what follows it were ignored";
    } catch (const KOPAException& e) {
        EXPECT_NE(e.reason().find("a NUL byte"), std::string::npos) << e.reason();
    }
}

}  // namespace

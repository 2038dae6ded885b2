// Records read together through the object context each get their own values: repeated blobs
// (the same options in many fields), texts and blobs that are not JSON come back as written,
// and changing one object's value leaves the others alone.

#include <gtest/gtest.h>

#include "host/database/model/CustomRecordDefinition.h"
#include "host/database/model/CustomRecordSetDefinition.h"
#include "tests/host/StoreTestSupport.h"

using platform::Array;
using platform::Dictionary;
using platform::Value;

namespace {

class ObjectContextReadValuesTest : public hosttest::StoreTest {
protected:
    // Saves a template whose fields hold these options, one field each; its key.
    int64_t saveTemplate(const std::vector<Value>& options) {
        auto form = context->createObject<CustomRecordSetDefinition>(true);
        EXPECT_TRUE(form);
        (*form)->setName("Form");
        for (const auto& value : options) {
            auto field = context->createObject<CustomRecordDefinition>(true);
            EXPECT_TRUE(field);
            (*field)->setOptions(value);
            (*field)->setDetails(Value("a text longer than a short string's own room"));
            EXPECT_TRUE((*form)->addToCustomRecordDefinitions(*field));
        }
        EXPECT_TRUE(context->saveChanges());
        return (*form)->primaryKeyValue();
    }
    // The template's fields as a fresh sign-in reads them.
    std::vector<std::shared_ptr<CustomRecordDefinition>> readFields(int64_t form) {
        auto reader = signIn();
        if (!reader) return {};
        m_readers.push_back(reader);
        auto found = reader->objectForEntityNamedWherePrimaryKeyValueIs("CustomRecordSetDefinition", form);
        EXPECT_TRUE(found && *found);
        if (!found || !*found) return {};
        auto fields = std::static_pointer_cast<CustomRecordSetDefinition>(*found)->customRecordDefinitions();
        EXPECT_TRUE(fields) << fields.status().message();
        return fields ? *fields : std::vector<std::shared_ptr<CustomRecordDefinition>>{};
    }

private:
    std::vector<std::shared_ptr<DLPObjectContext>> m_readers;
};

TEST_P(ObjectContextReadValuesTest, RepeatedOptionsAreReadAsWrittenAndStayTheFieldsOwn) {
    const Value lowHigh(Array{"Low", "High"});
    const Value other(Array{"Low", Value(int64_t(2)), Value(2.5), Value(true)});
    const Value dictionary(Dictionary{{"a", Value(Array{"b"})}});
    const std::vector<Value> written = {lowHigh, lowHigh,    other,      lowHigh,
                                        Value(), dictionary, dictionary, Value(true)};
    auto fields = readFields(saveTemplate(written));
    ASSERT_EQ(fields.size(), written.size());
    for (size_t i = 0; i < written.size(); ++i) {
        EXPECT_EQ(fields[i]->options(), written[i]) << i;
        EXPECT_EQ(fields[i]->options().type(), written[i].type()) << i;
        EXPECT_EQ(fields[i]->details(), Value("a text longer than a short string's own room")) << i;
    }

    fields[0]->setOptions(Array{"Changed"});
    EXPECT_EQ(fields[1]->options(), lowHigh) << "another field's options are its own";
    EXPECT_EQ(fields[3]->options(), lowHigh);
    auto again = readFields(fields[0]->customRecordSetDefinitionID().asInteger());
    ASSERT_EQ(again.size(), written.size());
    EXPECT_EQ(again[0]->options(), lowHigh) << "a new reader reads what is stored";
}

ZANDREL_SQLITE_ONLY_SUITE(ObjectContextReadValuesSqliteTest, ObjectContextReadValuesTest);

TEST_P(ObjectContextReadValuesSqliteTest, ABlobThatIsNoJsonIsReadAsItsBytesEvenAfterJsonOnes) {
    const int64_t form = saveTemplate({Value(Array{"x"}), Value(Array{"x"}), Value(Array{"x"})});
    rawExec("UPDATE CustomRecordDefinition SET options = CAST('not json' AS BLOB) WHERE position = 1");
    auto fields = readFields(form);
    ASSERT_EQ(fields.size(), 3u);
    EXPECT_EQ(fields[0]->options(), Value(Array{"x"}));
    EXPECT_EQ(fields[1]->options(), Value("not json"));
    EXPECT_EQ(fields[2]->options(), Value(Array{"x"}));
}

INSTANTIATE_TEST_SUITE_P(Stores, ObjectContextReadValuesTest, ::testing::ValuesIn(hosttest::storeFactories()),
                         hosttest::storeName);

}  // namespace

// One save of many new objects referring to several new owners, made in an interleaved order:
// every object is stored with its own owner's key, in its place, and the objects in memory take
// the stored keys too.

#include <fmt/format.h>
#include <gtest/gtest.h>

#include "host/database/model/CustomRecordDefinition.h"
#include "host/database/model/CustomRecordSetDefinition.h"
#include "tests/host/StoreTestSupport.h"

using platform::Value;

namespace {

class ObjectContextSaveManyTest : public hosttest::StoreTest {};

TEST_P(ObjectContextSaveManyTest, FieldsOfSeveralNewTemplatesMadeInTurnKeepTheirOwnTemplate) {
    constexpr int kTemplates = 3, kFields = 200;
    std::vector<std::shared_ptr<CustomRecordSetDefinition>> forms;
    for (int t = 0; t < kTemplates; ++t) {
        auto form = context->createObject<CustomRecordSetDefinition>(true);
        ASSERT_TRUE(form);
        (*form)->setName(fmt::format("Form {}", t));
        forms.push_back(*form);
    }
    std::vector<std::shared_ptr<CustomRecordDefinition>> fields;
    for (int i = 0; i < kFields; ++i) {
        auto field = context->createObject<CustomRecordDefinition>(true);
        ASSERT_TRUE(field);
        (*field)->setName(fmt::format("f{}", i));
        // Runs of one owner and single changes of owner alike.
        const int owner = i < 100 ? (i / 7) % kTemplates : i % kTemplates;
        ASSERT_TRUE(forms[size_t(owner)]->addToCustomRecordDefinitions(*field));
        fields.push_back(*field);
    }
    ASSERT_TRUE(context->saveChanges());

    for (int t = 0; t < kTemplates; ++t) {
        const int64_t key = forms[size_t(t)]->primaryKeyValue();
        ASSERT_GT(key, 0);
        std::string expected;
        for (int i = 0; i < kFields; ++i) {
            const int owner = i < 100 ? (i / 7) % kTemplates : i % kTemplates;
            if (owner == t) expected += (expected.empty() ? "f" : ",f") + std::to_string(i);
        }
        EXPECT_EQ(
            rawQuery(fmt::format("SELECT group_concat(name, ',') FROM (SELECT name FROM "
                                 "\"CustomRecordDefinition\" WHERE \"customRecordSetDefinitionID\" = {} "
                                 "ORDER BY position)",
                                 key)),
            expected)
            << t;
    }
    for (int i = 0; i < kFields; ++i) {
        const int owner = i < 100 ? (i / 7) % kTemplates : i % kTemplates;
        EXPECT_EQ(fields[size_t(i)]->customRecordSetDefinitionID(),
                  Value(forms[size_t(owner)]->primaryKeyValue()))
            << i;
    }
}

INSTANTIATE_TEST_SUITE_P(Stores, ObjectContextSaveManyTest, ::testing::ValuesIn(hosttest::storeFactories()),
                         hosttest::storeName);

}  // namespace

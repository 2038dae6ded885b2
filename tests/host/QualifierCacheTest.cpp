// A context reuses recently compiled qualifiers: each query must still answer for its own
// bindings, exactly as a context that never saw the text before.

#include <gtest/gtest.h>

#include <random>
#include <string>

#include "host/database/model/CustomRecordDefinition.h"
#include "host/database/model/EntityCatalog.h"
#include "host/database/model/Qualifier.h"
#include "tests/host/DatabaseTestSupport.h"

namespace {

using platform::Array;
using platform::Value;

class QualifierCacheTest : public hosttest::DatabaseTest {};

TEST_F(QualifierCacheTest, RepeatedTextsWithOtherBindingsGiveTheirOwnAnswers) {
    for (int i = 0; i < 40; ++i) {
        auto field = context->createObject<CustomRecordDefinition>(true);
        ASSERT_TRUE(field);
        (*field)->setName(i % 3 ? "n" + std::to_string(i % 5) : "1");
        (*field)->setTypeCode(i % 7);
    }
    ASSERT_TRUE(context->saveChanges());
    // A pending change the cached context must judge by its new value.
    auto pending = context->createObject<CustomRecordDefinition>(true);
    ASSERT_TRUE(pending);
    (*pending)->setName("n1");
    (*pending)->setTypeCode(3);

    const auto& entity = *host::EntityCatalog::shared().find("CustomRecordDefinition");
    const char* texts[] = {"typeCode == $v", "typeCode IN $v", "name == $v OR typeCode < $w",
                           "NOT (typeCode IN $v) AND name != $w"};
    std::mt19937 random(99);
    auto randomValue = [&]() -> Value {
        switch (random() % 6) {
            case 0:
                return static_cast<int64_t>(random() % 8);
            case 1:
                return static_cast<double>(random() % 8) + (random() % 2 ? 0.5 : 0.0);
            case 2:
                return random() % 2 == 0;
            case 3:
                return "n" + std::to_string(random() % 5);
            case 4:
                return "1";
            default:
                return Value();
        }
    };
    for (int round = 0; round < 150; ++round) {
        const char* text = texts[random() % std::size(texts)];
        Value v = randomValue();
        if (std::string(text).find("IN") != std::string::npos) {
            Array list;
            for (size_t k = random() % 4; k > 0; --k) list.push_back(randomValue());
            v = list;
        }
        platform::Dictionary bindings{{"v", v}, {"w", randomValue()}};
        auto cached = context->resultCountForEntityNamedQualifierLocumBindings("CustomRecordDefinition", text,
                                                                               bindings);
        auto fetched =
            context->objectsForEntityNamedQualifierLocumBindings("CustomRecordDefinition", text, bindings);
        // A fresh context has compiled nothing yet; it lacks the pending object, which a fresh
        // compilation judges.
        auto fresh = signIn();
        auto expected =
            fresh->resultCountForEntityNamedQualifierLocumBindings("CustomRecordDefinition", text, bindings);
        auto compiled = host::Qualifier::compile(entity, text, bindings);
        ASSERT_TRUE(cached && fetched && expected && compiled) << text;
        int64_t pendingCount = compiled->matches((*pending)->values()) ? 1 : 0;
        EXPECT_EQ(*cached, *expected + pendingCount) << text << " with " << Value(bindings).toJson();
        EXPECT_EQ(static_cast<int64_t>(fetched->size()), *cached)
            << text << " with " << Value(bindings).toJson();
    }
}

}  // namespace

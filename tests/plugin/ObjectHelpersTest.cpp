// Seeing an object through another context, and making sure a category exists.

#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "framework/Categories/DLPObject+VEXA.h"
#include "framework/Categories/DLPObjectContext+VEXA.h"
#include "host/database/model/Category.h"
#include "host/database/model/GWContact.h"
#include "tests/host/DatabaseTestSupport.h"

namespace {

using platform::Value;

class ObjectHelpersTest : public hosttest::DatabaseTest {
protected:
    std::shared_ptr<DLPObject> savedContact(DLPObjectContext& in) {
        auto contact = in.createObject<GWContact>(true);
        EXPECT_TRUE(contact);
        (*contact)->setFirstName("Kim");
        EXPECT_TRUE(in.saveChanges());
        return *contact;
    }
    int64_t categoriesNamed(const std::string& name) {
        return std::stoll(
            hosttest::rawQuery(file, "SELECT count(*) FROM Category WHERE name = '" + name + "'"));
    }
};

TEST_F(ObjectHelpersTest, AnObjectIsFoundThroughAnotherContextByEntityAndKey) {
    auto other = signIn();
    auto contact = savedContact(*context);

    auto none = kopaObjectForObject(*other, nullptr);
    ASSERT_TRUE(none);
    EXPECT_EQ(*none, nullptr);

    auto same = kopaObjectForObject(*context, contact);
    ASSERT_TRUE(same);
    EXPECT_EQ(*same, contact) << "an object of the receiving context is returned as it is";

    auto seen = kopaObjectForObject(*other, contact);
    ASSERT_TRUE(seen && *seen);
    EXPECT_NE(*seen, contact);
    EXPECT_EQ((*seen)->objectContext(), other);
    EXPECT_EQ((*seen)->entityName(), "Contact");
    EXPECT_EQ((*seen)->primaryKeyValue(), contact->primaryKeyValue());
    auto fetched = other->objectForEntityNamedWherePrimaryKeyValueIs("Contact", contact->primaryKeyValue());
    EXPECT_EQ(*seen, *fetched) << "the receiving context's one object for the record";

    // Deleted there (pending), or gone from the file: nothing.
    ASSERT_TRUE(other->deleteObjectSkipTrash(*seen, true));
    auto pendingDelete = kopaObjectForObject(*other, contact);
    ASSERT_TRUE(pendingDelete);
    EXPECT_EQ(*pendingDelete, nullptr);
    ASSERT_TRUE(other->saveChanges());
    auto third = signIn();
    auto gone = kopaObjectForObject(*third, contact);
    ASSERT_TRUE(gone);
    EXPECT_EQ(*gone, nullptr);
}

TEST_F(ObjectHelpersTest, AnUnsavedObjectOfAnotherContextIsNotMistakenForANewOneHere) {
    auto other = signIn();
    auto theirs = other->createObject<GWContact>(true);
    auto ours = context->createObject<GWContact>(true);
    ASSERT_TRUE(theirs && ours);
    ASSERT_EQ((*theirs)->primaryKeyValue(), (*ours)->primaryKeyValue())
        << "both hold the first temporary key";
    auto seen = kopaObjectForObject(*context, *theirs);
    ASSERT_TRUE(seen);
    EXPECT_EQ(*seen, nullptr);
}

TEST_F(ObjectHelpersTest, ACategoryIsCreatedOnceWithTheFlagOfTheReceiversKind) {
    auto contact = savedContact(*context);
    auto user = context->user();
    struct Case {
        std::shared_ptr<DLPObject> receiver;
        const char* name;
        const char* flag;  // null: none
    } cases[] = {{contact, "Partners", "forContact"}, {user, "Staff", nullptr}};
    const char* flags[] = {"forContact",      "forGroup",   "forNote", "forOpportunity",
                           "forOrganization", "forProject", "forTask", "forTimeblock"};
    for (const auto& c : cases) {
        auto first = kopaCreateCategoryIfNeccessaryWithName(*c.receiver, c.name);
        ASSERT_TRUE(first && *first) << c.name << ": " << first.status().message();
        EXPECT_EQ((*first)->name(), Value(c.name));
        for (const char* flag : flags)
            EXPECT_EQ(*(*first)->valueForKey(flag), Value(c.flag && std::string(flag) == c.flag))
                << c.name << " " << flag;
        EXPECT_EQ(categoriesNamed(c.name), 1) << "saved at once";

        auto second = kopaCreateCategoryIfNeccessaryWithName(*c.receiver, c.name);
        ASSERT_TRUE(second) << second.status().message();
        EXPECT_EQ(*second, nullptr) << "an existing category is not returned";
        EXPECT_EQ(categoriesNamed(c.name), 1);
    }
    // Names are compared exactly.
    auto otherCase = kopaCreateCategoryIfNeccessaryWithName(*contact, "partners");
    ASSERT_TRUE(otherCase && *otherCase);
}

TEST_F(ObjectHelpersTest, NothingIsSavedWhenTheCategoryExistsAnywhere) {
    auto contact = savedContact(*context);
    auto elsewhere = signIn();
    auto made = elsewhere->createObject<Category>(true);
    ASSERT_TRUE(made);
    (*made)->setName("VIP");
    ASSERT_TRUE(elsewhere->saveChanges());

    auto pending = context->createObject<GWContact>(true);
    ASSERT_TRUE(pending);
    auto result = kopaCreateCategoryIfNeccessaryWithName(*contact, "VIP");
    ASSERT_TRUE(result);
    EXPECT_EQ(*result, nullptr);
    EXPECT_TRUE(context->hasChanges()) << "the context was saved although nothing was created";

    auto created = kopaCreateCategoryIfNeccessaryWithName(*contact, "Prospect");
    ASSERT_TRUE(created && *created);
    EXPECT_FALSE(context->hasChanges());
}

TEST_F(ObjectHelpersTest, ALockedFileIsReportedAndNothingIsCreatedTwice) {
    auto impatient = signInImpatient(std::chrono::milliseconds(20));
    ASSERT_TRUE(impatient);
    auto contact = savedContact(*impatient);
    struct Case {
        const char* lock;
        const char* name;
        const char* message;
        bool pending;  // the new category waits for the next save
    } cases[] = {
        // Nobody may read: whether the category exists is unknown, so none is made.
        {"BEGIN EXCLUSIVE", "Unread", "looking for the category \"Unread\"", false},
        // Reading works, writing does not: the category is made and waits.
        {"BEGIN IMMEDIATE", "Unsaved", "saving the new category \"Unsaved\"", true},
    };
    for (const auto& c : cases) {
        hosttest::RawConnection locker(file);
        locker.exec(c.lock);
        auto result = kopaCreateCategoryIfNeccessaryWithName(*contact, c.name);
        ASSERT_FALSE(result) << c.lock;
        EXPECT_NE(result.status().message().find(c.message), std::string::npos) << result.status().message();
        EXPECT_EQ(impatient->hasChanges(), c.pending) << c.lock;
        locker.exec("ROLLBACK");
        ASSERT_TRUE(impatient->saveChanges());
        EXPECT_EQ(categoriesNamed(c.name), c.pending ? 1 : 0) << c.lock;
    }
}

TEST_F(ObjectHelpersTest, AReceiverWhoseContextIsGoneIsAnError) {
    auto contact = savedContact(*context);
    context.reset();
    auto result = kopaCreateCategoryIfNeccessaryWithName(*contact, "Orphans");
    ASSERT_FALSE(result);
    EXPECT_NE(result.status().message().find("no open database"), std::string::npos)
        << result.status().message();
}

}  // namespace

// The PostgreSQL store on the test cluster: its schema and version checks, keys from sequences,
// values as they were written, and failed saves that report the server's message and leave
// nothing behind. (The object-database suites run on it as well, through storeFactories().)

#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

#include "host/database/model/EntityCatalog.h"
#include "host/database/model/Qualifier.h"
#include "host/database/postgres/PostgresDialect.h"
#include "host/database/postgres/PostgresStore.h"
#include "tests/host/PostgresTestDatabase.h"

using host::EntityCatalog;
using host::EntityDescription;
using host::PostgresStore;
using host::StoredValue;
using hosttest::PostgresTestDatabase;
using platform::Value;

namespace {

const EntityDescription& entityNamed(const char* name) {
    return *EntityCatalog::shared().find(name);
}

host::Qualifier compiled(const EntityDescription& entity, const std::string& text,
                         const platform::Dictionary& bindings = {}) {
    auto qualifier = host::Qualifier::compile(entity, text, bindings, host::PostgresDialect::shared());
    EXPECT_TRUE(qualifier) << qualifier.status().message();
    return std::move(*qualifier);
}

// Attribute values of a template named `name` (the entity's initial values otherwise).
std::vector<Value> templateValues(const std::string& name) {
    const auto& entity = entityNamed("CustomRecordSetDefinition");
    std::vector<Value> values;
    for (const auto& attribute : entity.attributes) values.push_back(attribute.initialValue);
    values[*entity.slot("name")] = Value(name);
    return values;
}

class PostgresStoreTest : public ::testing::Test {
protected:
    void SetUp() override { ZANDREL_REQUIRE_POSTGRES(); }
    std::shared_ptr<PostgresStore> open(host::StoreFactory::Options options = {.createSchema = true}) {
        auto store = PostgresStore::open(db.uri(), options);
        EXPECT_TRUE(store) << store.status().message();
        return store ? *store : nullptr;
    }
    std::vector<std::string> templateNames(host::Store& store) {
        std::vector<std::string> names;
        const auto& entity = entityNamed("CustomRecordSetDefinition");
        auto status = store.fetch(entity, compiled(entity, ""), [&](const host::StoreRow& row) {
            names.push_back(row.value(*entity.slot("name")).bytes);
        });
        EXPECT_TRUE(status) << status.message();
        return names;
    }
    int64_t insertTemplate(host::Store& store, const std::string& name) {
        const auto& entity = entityNamed("CustomRecordSetDefinition");
        EXPECT_TRUE(store.beginSave());
        auto keys = store.allocateKeys(entity, 1);
        EXPECT_TRUE(keys) << keys.status().message();
        EXPECT_TRUE(store.insertRecord(entity, keys->front(), templateValues(name)));
        auto committed = store.commitSave();
        EXPECT_TRUE(committed) << committed.message();
        return keys->front();
    }

    PostgresTestDatabase db;
};

TEST_F(PostgresStoreTest, AnEmptySchemaGetsTheTablesOnceAndAVersionRecord) {
    auto first = open();
    ASSERT_TRUE(first);
    EXPECT_EQ(db.query("SELECT value FROM zandrel_meta WHERE name = 'schema_version'"), "1");
    EXPECT_EQ(db.query("SELECT value FROM zandrel_meta WHERE name = 'application'"), "zandrel-host");
    const std::string relations = db.query(
        "SELECT count(*) FROM pg_class c JOIN pg_namespace n ON n.oid = c.relnamespace WHERE n.nspname = "
        "current_schema()");
    // Opening again (also read-only) changes nothing.
    auto second = open();
    auto reader = open({.readOnly = true});
    ASSERT_TRUE(second && reader);
    EXPECT_EQ(db.query("SELECT count(*) FROM pg_class c JOIN pg_namespace n ON n.oid = c.relnamespace WHERE "
                       "n.nspname = current_schema()"),
              relations);
    EXPECT_EQ(db.query("SELECT collation_name FROM information_schema.columns WHERE table_schema = "
                       "current_schema() AND table_name = 'GWConnectorMap' AND column_name = 'foreignID'"),
              "C");
    EXPECT_TRUE(db.query("SELECT to_regclass('\"GWConnectorMap_pk_seq\"')") != "NULL");
}

TEST_F(PostgresStoreTest, DatabasesItCannotUseAreRefusedAndLeftAsTheyWere) {
    struct Case {
        const char* what;
        const char* setup;  // run after the schema was made (empty: on an empty schema)
        bool makeSchemaFirst;
        bool readOnly;
        const char* message;
    };
    const Case cases[] = {
        {"newer version", "UPDATE zandrel_meta SET value = '7' WHERE name = 'schema_version'", true, false,
         "was written by a newer version of zandrel-host (schema 7, this program reads up to 1)"},
        {"version not a number", "UPDATE zandrel_meta SET value = '1.5' WHERE name = 'schema_version'", true,
         false, "is a damaged zandrel-host database (its schema_version \"1.5\" is not a whole number"},
        {"version missing", "DELETE FROM zandrel_meta WHERE name = 'schema_version'", true, false,
         "is a damaged zandrel-host database (zandrel_meta records no schema_version"},
        {"version zero", "UPDATE zandrel_meta SET value = '0' WHERE name = 'schema_version'", true, false,
         "its schema version 0 is not valid"},
        {"another program's meta", "UPDATE zandrel_meta SET value = 'other' WHERE name = 'application'", true,
         false, "is not a zandrel-host database (its zandrel_meta names \"other\")"},
        {"another program's tables", "CREATE TABLE invoices (id int)", false, false,
         "is not a zandrel-host database (it holds another program's tables)"},
        {"empty, read-only", "", false, true, "holds no zandrel-host database (it is empty)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        PostgresTestDatabase fresh;
        if (c.makeSchemaFirst) {
            ASSERT_TRUE(PostgresStore::open(fresh.uri(), {.createSchema = true}));
        }
        if (*c.setup) fresh.exec(c.setup);
        const std::string relationsQuery =
            "SELECT string_agg(relname, ',' ORDER BY relname) FROM pg_class c JOIN pg_namespace n ON n.oid = "
            "c.relnamespace WHERE n.nspname = current_schema()";
        const std::string before = fresh.query(relationsQuery);
        const std::string metaBefore =
            c.makeSchemaFirst ? fresh.query("SELECT string_agg(name || '=' || value, ',') FROM zandrel_meta")
                              : "";
        auto store = PostgresStore::open(fresh.uri(), {.readOnly = c.readOnly});
        ASSERT_FALSE(store);
        EXPECT_NE(store.status().message().find(c.message), std::string::npos) << store.status().message();
        EXPECT_NE(store.status().message().find("PostgreSQL database"), std::string::npos)
            << "names the database: " << store.status().message();
        EXPECT_EQ(fresh.query(relationsQuery), before);
        if (c.makeSchemaFirst) {
            EXPECT_EQ(fresh.query("SELECT string_agg(name || '=' || value, ',') FROM zandrel_meta"),
                      metaBefore);
        }
    }
}

TEST_F(PostgresStoreTest, ABadAddressOrAnAbsentServerIsReportedWithWhatToDo) {
    struct Case {
        std::string uri;
        const char* message;
    };
    const Case cases[] = {
        {"postgresql://zandrel@127.0.0.1:notaport/x", "cannot connect"},
        {"postgresql://zandrel@127.0.0.1:1/zandrel", "check that the server runs"},
        {"postgresql://[broken", "is not a PostgreSQL connection URI"},
    };
    for (const Case& c : cases) {
        auto store = PostgresStore::open(c.uri);
        ASSERT_FALSE(store) << c.uri;
        EXPECT_NE(store.status().message().find(c.message), std::string::npos) << store.status().message();
    }
}

TEST_F(PostgresStoreTest, KeysComeFromSequencesNeverTwiceWhateverTheSavesDo) {
    auto a = open(), b = open();
    ASSERT_TRUE(a && b);
    const auto& entity = entityNamed("CustomRecordDefinition");
    std::set<int64_t> seen;
    ASSERT_TRUE(a->beginSave());
    ASSERT_TRUE(b->beginSave());
    for (int round = 0; round < 20; ++round) {
        for (auto* store : {a.get(), b.get()}) {
            auto keys = store->allocateKeys(entity, size_t(round + 1));
            ASSERT_TRUE(keys) << keys.status().message();
            ASSERT_EQ(keys->size(), size_t(round + 1));
            EXPECT_TRUE(std::is_sorted(keys->begin(), keys->end()));
            for (int64_t key : *keys) {
                EXPECT_GT(key, 0);
                EXPECT_TRUE(seen.insert(key).second) << "key " << key << " handed out twice";
            }
        }
    }
    a->abandonSave();  // keys of an abandoned save stay used
    ASSERT_TRUE(b->commitSave());
    ASSERT_TRUE(a->beginSave());
    auto after = a->allocateKeys(entity, 5);
    ASSERT_TRUE(after);
    for (int64_t key : *after) EXPECT_GT(key, *seen.rbegin());
    a->abandonSave();
    // Outside a save no key is handed out.
    EXPECT_FALSE(a->allocateKeys(entity, 1));
}

TEST_F(PostgresStoreTest, ValuesOfEveryTypeReadBackAsWritten) {
    auto store = open();
    ASSERT_TRUE(store);
    const auto& entity = entityNamed("CustomRecordDefinition");
    const size_t defaultSlot = *entity.slot("defaultValue"), optionsSlot = *entity.slot("options"),
                 nameSlot = *entity.slot("name"), activeSlot = *entity.slot("active");
    struct Case {
        Value defaultValue;
        Value name;
    };
    platform::Array list;
    list.push_back(Value("a"));
    list.push_back(Value(int64_t{2}));
    const std::vector<Case> cases = {
        {Value(int64_t{9007199254740993}), Value("plain")},
        {Value(0.1), Value("Grüße, 名前 \"quoted\" 'single' \\ back")},
        {Value(-1e308), Value("")},
        {Value("text in any"), Value("x")},
        {Value(true), Value("with\ttab")},
        {Value(list), Value("list")},
        {Value(), Value()},
    };
    ASSERT_TRUE(store->beginSave());
    auto keys = store->allocateKeys(entity, cases.size());
    ASSERT_TRUE(keys);
    for (size_t i = 0; i < cases.size(); ++i) {
        std::vector<Value> values(entity.attributes.size());
        values[defaultSlot] = cases[i].defaultValue;
        values[optionsSlot] = cases[i].defaultValue;
        values[nameSlot] = cases[i].name;
        values[activeSlot] = Value(i % 2 == 0);
        ASSERT_TRUE(store->insertRecord(entity, (*keys)[i], values));
    }
    ASSERT_TRUE(store->commitSave());

    auto reader = open();
    for (size_t i = 0; i < cases.size(); ++i) {
        SCOPED_TRACE(cases[i].defaultValue.toJson());
        bool visited = false;
        auto found = reader->fetchByKey(entity, (*keys)[i], [&](const host::StoreRow& row) {
            visited = true;
            EXPECT_EQ(row.key(), (*keys)[i]);
            EXPECT_EQ(attributeValueFromStored(host::AttributeType::Any, row.value(defaultSlot)),
                      cases[i].defaultValue);
            EXPECT_EQ(attributeValueFromStored(host::AttributeType::Any, row.value(optionsSlot)),
                      cases[i].defaultValue);
            EXPECT_EQ(attributeValueFromStored(host::AttributeType::Text, row.value(nameSlot)),
                      cases[i].name);
            EXPECT_EQ(attributeValueFromStored(host::AttributeType::Boolean, row.value(activeSlot)),
                      Value(i % 2 == 0));
        });
        ASSERT_TRUE(found) << found.status().message();
        EXPECT_TRUE(*found && visited);
    }
}

TEST_F(PostgresStoreTest, AFailedSaveReportsTheServersMessageAndLeavesNothing) {
    auto store = open();
    ASSERT_TRUE(store);
    const int64_t existing = insertTemplate(*store, "Existing");
    db.exec(
        "CREATE FUNCTION refuse() RETURNS trigger LANGUAGE plpgsql AS $$ BEGIN "
        "IF NEW.name = 'Bad' THEN RAISE EXCEPTION 'templates named Bad are refused by policy' "
        "USING HINT = 'choose another name'; END IF; RETURN NEW; END $$;"
        "CREATE TRIGGER refuse BEFORE INSERT OR UPDATE ON \"CustomRecordSetDefinition\" "
        "FOR EACH ROW EXECUTE FUNCTION refuse()");
    const auto& entity = entityNamed("CustomRecordSetDefinition");
    struct Case {
        const char* what;
        std::vector<std::string> names;  // inserted in one save
        bool reuseExistingKey;
        std::vector<const char*> message;
    };
    const Case cases[] = {
        {"a trigger refuses the middle insert",
         {"Good 1", "Bad", "Good 2"},
         false,
         {"templates named Bad are refused by policy", "choose another name",
          "inserting <CustomRecordSetDefinition", "name=\"Bad\">"}},
        {"a key already taken", {"Good 3", "Dup"}, true, {"duplicate key value violates unique constraint"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_TRUE(store->beginSave());
        auto keys = store->allocateKeys(entity, c.names.size());
        ASSERT_TRUE(keys);
        if (c.reuseExistingKey) keys->back() = existing;
        platform::Status status;
        for (size_t i = 0; i < c.names.size() && status; ++i)
            status = store->insertRecord(entity, (*keys)[i], templateValues(c.names[i]));
        if (status) status = store->commitSave();
        if (!status) store->abandonSave();
        ASSERT_FALSE(status);
        for (const char* part : c.message)
            EXPECT_NE(status.message().find(part), std::string::npos) << status.message();
        EXPECT_EQ(templateNames(*store), std::vector<std::string>{"Existing"});
    }
    // An update refused the same way, then the store saves again as usual.
    ASSERT_TRUE(store->beginSave());
    auto refused = store->updateRecord(entity, existing, templateValues("Bad"));
    ASSERT_FALSE(refused);
    EXPECT_NE(refused.message().find("refused by policy"), std::string::npos) << refused.message();
    store->abandonSave();
    insertTemplate(*store, "Later");
    EXPECT_EQ(templateNames(*store), (std::vector<std::string>{"Existing", "Later"}));
}

TEST_F(PostgresStoreTest, QualifiersCountFetchAndMatchInMemoryAlike) {
    auto store = open();
    ASSERT_TRUE(store);
    for (const char* name : {"Alpha", "alpine", "Beta", "ALPHA 2", "Gamma_x", "Gamma%"})
        insertTemplate(*store, name);
    const auto& entity = entityNamed("CustomRecordSetDefinition");
    platform::Array names;
    for (const char* name : {"Beta", "Gamma%", "nothing"}) names.push_back(Value(name));
    struct Case {
        const char* qualifier;
        platform::Dictionary bindings;
        std::vector<std::string> expected;
    };
    const std::vector<Case> cases = {
        {"name IN $names", {{"names", Value(names)}}, {"Beta", "Gamma%"}},
        {"NOT (name IN $names)", {{"names", Value(names)}}, {"Alpha", "alpine", "ALPHA 2", "Gamma_x"}},
        {"name IN $names", {{"names", Value(platform::Array{})}}, {}},
        {"name == 'Alpha' OR $n == name", {{"n", Value("Beta")}}, {"Alpha", "Beta"}},
        {"details == $none OR name = 'Beta'",
         {{"none", Value()}},
         {"Alpha", "alpine", "Beta", "ALPHA 2", "Gamma_x", "Gamma%"}},
        {"details != nil OR (name = $n AND details = nil)", {{"n", Value("Beta")}}, {"Beta"}},
        {"name != 'Alpha' AND details == nil", {}, {"alpine", "Beta", "ALPHA 2", "Gamma_x", "Gamma%"}},
        {"name < 'B'", {}, {"Alpha", "ALPHA 2"}},  // bytewise: upper case first
        {"active == YES AND forContact == NO",
         {},
         {"Alpha", "alpine", "Beta", "ALPHA 2", "Gamma_x", "Gamma%"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.qualifier);
        auto qualifier = compiled(entity, c.qualifier, c.bindings);
        std::vector<std::string> fetched;
        auto status = store->fetch(entity, qualifier, [&](const host::StoreRow& row) {
            fetched.push_back(row.value(*entity.slot("name")).bytes);
        });
        ASSERT_TRUE(status) << status.message() << " in " << qualifier.sql();
        EXPECT_EQ(fetched, c.expected);
        auto counted = store->count(entity, qualifier);
        ASSERT_TRUE(counted) << counted.status().message();
        EXPECT_EQ(*counted, int64_t(c.expected.size()));
        size_t keys = 0;
        ASSERT_TRUE(store->fetchKeys(entity, qualifier, [&](int64_t) { ++keys; }));
        EXPECT_EQ(keys, c.expected.size());
        // Each record matches in memory exactly when the server says so.
        ASSERT_TRUE(store->fetch(entity, compiled(entity, ""), [&](const host::StoreRow& row) {
            std::vector<Value> values;
            for (size_t slot = 0; slot < entity.attributes.size(); ++slot)
                values.push_back(attributeValueFromStored(entity.attributes[slot].type, row.value(slot)));
            const std::string name = row.value(*entity.slot("name")).bytes;
            EXPECT_EQ(qualifier.matches(values),
                      std::find(c.expected.begin(), c.expected.end(), name) != c.expected.end())
                << name;
        }));
    }
}

// Written for the columns' types, the permission lookups stay conditions the server can answer
// from the connector map's index, while a text against the bigint contact column is decided
// without asking the server at all.
TEST_F(PostgresStoreTest, TypedQualifiersKeepToTheIndexAndDecideOtherKindsByTheirOrder) {
    open();  // creates the tables
    const auto& entity = entityNamed("GWConnectorMap");
    auto plan = [&](const std::string& text, const platform::Dictionary& bindings) {
        auto qualifier = compiled(entity, text, bindings);
        std::vector<std::string> values;
        for (const auto& parameter : qualifier.parameters()) {
            if (parameter.kind == StoredValue::Kind::Integer) {
                values.push_back(std::to_string(parameter.integer));
            } else if (parameter.kind == StoredValue::Kind::List) {
                std::string array = "{";
                for (const auto& member : parameter.list)
                    array += (array.size() > 1 ? "," : "") + member.bytes;
                values.push_back(array + "}");
            } else {
                values.push_back(parameter.bytes);
            }
        }
        std::vector<const char*> pointers;
        for (const auto& value : values) pointers.push_back(value.c_str());
        PGconn* connection = PQconnectdb(db.uri().c_str());
        PQclear(PQexec(connection, "SET enable_seqscan = off"));
        const std::string sql = "EXPLAIN SELECT pk FROM \"GWConnectorMap\" WHERE " + qualifier.sql();
        PGresult* result = PQexecParams(connection, sql.c_str(), int(pointers.size()), nullptr,
                                        pointers.data(), nullptr, nullptr, 0);
        std::string lines;
        if (PQresultStatus(result) != PGRES_TUPLES_OK)
            ADD_FAILURE() << PQresultErrorMessage(result) << " in " << sql;
        else
            for (int row = 0; row < PQntuples(result); ++row)
                lines += std::string(PQgetvalue(result, row, 0)) + "\n";
        PQclear(result);
        PQfinish(connection);
        return lines + "for " + qualifier.sql();
    };
    const platform::Dictionary one = {{"app", Value("Showcase")},
                                      {"entity", Value("FeaturePermission")},
                                      {"id", Value("f1")},
                                      {"contact", 3}};
    for (const std::string& text : {
             std::string("foreignAppName = $app AND foreignEntityType = $entity AND foreignID = $id AND "
                         "contactID = $contact"),
             std::string("foreignAppName = $app AND foreignEntityType = $entity AND foreignID IN $ids AND "
                         "contactID = $contact"),
         }) {
        platform::Dictionary bindings = one;
        bindings["ids"] = Value(platform::Array{Value("f1"), Value("f2")});
        const std::string explained = plan(text, bindings);
        EXPECT_NE(explained.find("Index"), std::string::npos) << explained;
        EXPECT_NE(explained.find("GWConnectorMap_foreignAppName"), std::string::npos) << explained;
    }
    // A text never equals a number: no parameter, no row to look at.
    auto decided = compiled(entity, "contactID == 'three'");
    EXPECT_TRUE(decided.parameters().empty()) << decided.sql();
    EXPECT_EQ(decided.sql(), "FALSE");
}

TEST_F(PostgresStoreTest, AnotherConnectionSeesASaveAtItsNextReadAndWaitsForALockedRowNoLongerThanAllowed) {
    auto a = open(), b = open({.busyTimeout = std::chrono::milliseconds(200)});
    ASSERT_TRUE(a && b);
    const int64_t key = insertTemplate(*a, "First");
    EXPECT_EQ(templateNames(*b), std::vector<std::string>{"First"});

    const auto& entity = entityNamed("CustomRecordSetDefinition");
    ASSERT_TRUE(a->beginSave());
    ASSERT_TRUE(a->updateRecord(entity, key, templateValues("Renamed by a")));
    EXPECT_EQ(templateNames(*b), std::vector<std::string>{"First"}) << "not committed yet";
    ASSERT_TRUE(b->beginSave());
    auto blocked = b->updateRecord(entity, key, templateValues("Renamed by b"));
    ASSERT_FALSE(blocked);
    EXPECT_NE(blocked.message().find("lock timeout"), std::string::npos) << blocked.message();
    b->abandonSave();
    ASSERT_TRUE(a->commitSave());
    EXPECT_EQ(templateNames(*b), std::vector<std::string>{"Renamed by a"});
}

TEST_F(PostgresStoreTest, SettingsAreKeptPerOwnerAndAReadOnlyStoreWritesNothing) {
    auto store = open();
    ASSERT_TRUE(store);
    ASSERT_TRUE(store->setSetting(0, "k", std::string("1")));
    ASSERT_TRUE(store->setSetting(7, "k", std::string("\"seven\"")));
    ASSERT_TRUE(store->setSetting(7, "k", std::string("\"eight\"")));
    EXPECT_EQ(store->setting(0, "k")->value_or("none"), "1");
    EXPECT_EQ(store->setting(7, "k")->value_or("none"), "\"eight\"");
    ASSERT_TRUE(store->setSetting(0, "k", std::nullopt));
    EXPECT_EQ(store->setting(0, "k")->value_or("none"), "none");

    auto reader = open({.readOnly = true});
    ASSERT_TRUE(reader);
    EXPECT_EQ(reader->setting(7, "k")->value_or("none"), "\"eight\"");
    auto refused = reader->setSetting(7, "k", std::string("1"));
    ASSERT_FALSE(refused);
    EXPECT_NE(refused.message().find("opened read-only"), std::string::npos) << refused.message();
    EXPECT_FALSE(reader->beginSave());
}

}  // namespace

// A server with every connection slot taken: a host waits for one, and after that wait gives its
// connection back as soon as each operation ends, so hosts share the slots instead of holding
// them idle. A role with CONNECTION LIMIT 1 stands in for a server at max_connections (the same
// refusal, SQLSTATE 53300) without disturbing the other tests on the cluster.

#include <gtest/gtest.h>
#include <libpq-fe.h>
#include <unistd.h>

#include <chrono>
#include <memory>
#include <string>
#include <thread>

#include "host/database/model/EntityCatalog.h"
#include "host/database/model/Qualifier.h"
#include "host/database/postgres/PostgresDialect.h"
#include "host/database/postgres/PostgresStore.h"
#include "platform/runtime/RunLoop.h"
#include "tests/host/PostgresTestDatabase.h"

using host::PostgresStore;
using hosttest::PostgresTestDatabase;

namespace {

class PostgresCrowdedServerTest : public ::testing::Test {
protected:
    void SetUp() override {
        ZANDREL_REQUIRE_POSTGRES();
        m_db = std::make_unique<PostgresTestDatabase>();
        m_role = "crowded_" + std::to_string(getpid());
        m_db->exec("DROP ROLE IF EXISTS " + m_role);
        m_db->exec("CREATE ROLE " + m_role + " LOGIN CONNECTION LIMIT 1");
        m_db->exec("GRANT ALL ON SCHEMA " + m_db->schema() + " TO " + m_role);
        const std::string uri = m_db->uri();
        const auto at = uri.find('@');
        m_uri = "postgresql://" + m_role + uri.substr(at);
        auto& loop = platform::RunLoop::main();
        loop.resetForTesting();
        m_clock = std::make_shared<platform::VirtualClock>();
        loop.setClock(m_clock);
    }
    void TearDown() override {
        if (!m_db) return;
        auto& loop = platform::RunLoop::main();
        loop.resetForTesting();
        loop.setClock(std::make_shared<platform::RealClock>());
        m_db->exec("DROP SCHEMA " + m_db->schema() + " CASCADE");
        m_db->exec("DROP ROLE IF EXISTS " + m_role);
    }

    host::StoreFactory::Options options() const {
        host::StoreFactory::Options options;
        options.createSchema = true;
        options.connectTimeout = std::chrono::seconds(2);
        options.busyServerWait = std::chrono::seconds(30);
        options.idleRelease = std::chrono::seconds(10);
        return options;
    }
    // A connection of the limited role, held by "another host". The server lets a closed
    // connection's backend go shortly after its client closed it, so a freed slot is asked for
    // a few times.
    PGconn* occupy() const {
        PGconn* connection = nullptr;
        for (int attempt = 0; attempt < 100; ++attempt) {
            connection = PQconnectdb(m_uri.c_str());
            if (PQstatus(connection) == CONNECTION_OK) return connection;
            PQfinish(connection);
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        ADD_FAILURE() << "the role's one slot never came free";
        return PQconnectdb(m_uri.c_str());
    }
    // The server lets a closed connection's backend go shortly after its client closed it; until
    // then the role's one slot still counts as taken.
    void waitUntilTheSlotIsFree() const {
        for (int attempt = 0; attempt < 200; ++attempt) {
            if (m_db->query("SELECT count(*) FROM pg_stat_activity WHERE usename = '" + m_role + "'") == "0")
                return;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        ADD_FAILURE() << "a backend of the role never went away";
    }
    int64_t countTemplates(host::Store& store) const {
        const auto& entity = *host::EntityCatalog::shared().find("CustomRecordSetDefinition");
        auto qualifier = host::Qualifier::compile(entity, "", {}, host::PostgresDialect::shared());
        auto counted = store.count(entity, *qualifier);
        EXPECT_TRUE(counted) << counted.status().message();
        return counted ? *counted : -1;
    }

    std::unique_ptr<PostgresTestDatabase> m_db;
    std::string m_role;
    std::string m_uri;
    std::shared_ptr<platform::VirtualClock> m_clock;
};

TEST_F(PostgresCrowdedServerTest, AHostThatWaitedForASlotGivesItBackAfterEachOperation) {
    // Creates the tables while the server has room.
    {
        auto first = PostgresStore::open(m_uri, options());
        ASSERT_TRUE(first) << first.status().message();
    }
    PGconn* other = occupy();
    // The other host leaves while this one waits for the slot.
    std::thread leaving([other] {
        std::this_thread::sleep_for(std::chrono::milliseconds(800));
        PQfinish(other);
    });
    auto opened = PostgresStore::open(m_uri, options());
    leaving.join();
    ASSERT_TRUE(opened) << opened.status().message();
    auto store = *opened;
    auto& loop = platform::RunLoop::main();

    EXPECT_EQ(countTemplates(*store), 0);
    EXPECT_TRUE(store->isConnected()) << "kept for the rest of the operation";
    loop.advanceBy(std::chrono::milliseconds(1));
    EXPECT_FALSE(store->isConnected()) << "given back at once on a crowded server, not after 10 s";

    // The slot is free for another host at once, and this one gets it again when it needs it.
    PGconn* next = occupy();
    PQfinish(next);
    EXPECT_EQ(countTemplates(*store), 0);

    // Once the crowd is long gone the usual idle time applies again.
    loop.advanceBy(std::chrono::minutes(6));
    EXPECT_FALSE(store->isConnected());
    waitUntilTheSlotIsFree();  // else this host would find its own old connection in the way
    EXPECT_EQ(countTemplates(*store), 0);
    loop.advanceBy(std::chrono::seconds(5));
    EXPECT_TRUE(store->isConnected());
    loop.advanceBy(std::chrono::seconds(6));
    EXPECT_FALSE(store->isConnected());
}

TEST_F(PostgresCrowdedServerTest, AHostThatNeverWaitedKeepsItsConnectionForTheIdleTime) {
    auto opened = PostgresStore::open(m_uri, options());
    ASSERT_TRUE(opened) << opened.status().message();
    auto store = *opened;
    EXPECT_EQ(countTemplates(*store), 0);
    platform::RunLoop::main().advanceBy(std::chrono::seconds(9));
    EXPECT_TRUE(store->isConnected());
    platform::RunLoop::main().advanceBy(std::chrono::seconds(2));
    EXPECT_FALSE(store->isConnected());
}

}  // namespace

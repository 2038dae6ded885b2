#pragma once

// PostgresTestDatabase: a fresh, empty schema on the test cluster for one test, dropped with
// everything in it when the test ends. uri() reaches it: the cluster's URI with the schema as
// the connection's search_path, so a store opened on it keeps its tables there and tests run
// side by side on one database without seeing each other.
//
// The cluster is the one ctest starts (scripts/pg-cluster, fixture "postgres"), named by
// ZANDREL_TEST_POSTGRES_URI. ctest also sets ZANDREL_TEST_POSTGRES_REQUIRED=1, so there a
// missing or unreachable server fails every PostgreSQL case. A test binary run by hand without
// the URI skips them, saying how to run them; with a URI, a server it cannot reach fails them.
// Cases start with ZANDREL_REQUIRE_POSTGRES() (StoreTest does it for its PostgreSQL variants).

#include <gtest/gtest.h>
#include <libpq-fe.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <mutex>
#include <random>
#include <string>

namespace hosttest {

// Runs SQL on the database `uri` names through a connection of its own ("another program"): the
// first column of the first row ("" for none, "NULL" for a null). Fails the test on error.
inline std::string queryOn(const std::string& uri, const std::string& sql) {
    PGconn* connection = PQconnectdb(uri.c_str());
    std::string value;
    if (PQstatus(connection) != CONNECTION_OK) {
        ADD_FAILURE() << "cannot reach the server at " << uri << ": " << PQerrorMessage(connection);
    } else {
        PQclear(PQexec(connection, "SET client_min_messages = warning"));
        PGresult* result = PQexec(connection, sql.c_str());
        ExecStatusType status = PQresultStatus(result);
        if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK)
            ADD_FAILURE() << "SQL failed: " << PQresultErrorMessage(result) << " in " << sql;
        else if (status == PGRES_TUPLES_OK && PQntuples(result) > 0)
            value = PQgetisnull(result, 0, 0) ? "NULL" : PQgetvalue(result, 0, 0);
        PQclear(result);
    }
    PQfinish(connection);
    return value;
}

class PostgresTestDatabase {
public:
    static const char* baseUri() {
        const char* uri = std::getenv("ZANDREL_TEST_POSTGRES_URI");
        return uri && *uri ? uri : nullptr;
    }
    static bool available() { return baseUri() != nullptr; }
    static bool required() {
        const char* required = std::getenv("ZANDREL_TEST_POSTGRES_REQUIRED");
        return required && std::string(required) == "1";
    }
    // Why PostgreSQL cases cannot run here, or "" when the server answers (asked once per process).
    static std::string unavailableReason() {
        if (!available())
            return "no PostgreSQL test cluster: ctest starts one; by hand run `scripts/pg-cluster start "
                   "/tmp/zandrel-pg 41999` and set "
                   "ZANDREL_TEST_POSTGRES_URI=postgresql://zandrel@127.0.0.1:41999/zandrel";
        static std::once_flag asked;
        static std::string reason;
        std::call_once(asked, [] {
            PGconn* connection = PQconnectdb(baseUri());
            if (PQstatus(connection) != CONNECTION_OK)
                reason =
                    std::string("cannot reach the PostgreSQL test cluster at ZANDREL_TEST_POSTGRES_URI=") +
                    baseUri() + ": " + PQerrorMessage(connection) +
                    "start it with `scripts/pg-cluster start DIR PORT` (ctest does)";
            PQfinish(connection);
        });
        return reason;
    }

    PostgresTestDatabase() {
        static std::atomic<unsigned> counter{0};
        std::random_device random;
        m_schema = "t_" + std::to_string(getpid()) + "_" + std::to_string(counter++) + "_" +
                   std::to_string(random() % 1000000);
        if (!available()) return;
        queryOn(baseUri(), "CREATE SCHEMA " + m_schema);
        std::string base = baseUri();
        m_uri =
            base + (base.find('?') == std::string::npos ? "?" : "&") + "options=-csearch_path%3D" + m_schema;
    }
    ~PostgresTestDatabase() {
        if (available()) queryOn(baseUri(), "DROP SCHEMA IF EXISTS " + m_schema + " CASCADE");
    }
    PostgresTestDatabase(const PostgresTestDatabase&) = delete;
    PostgresTestDatabase& operator=(const PostgresTestDatabase&) = delete;

    const std::string& uri() const { return m_uri; }
    const std::string& schema() const { return m_schema; }

    // Runs SQL in the test's schema through a connection of its own ("another program");
    // fails the test on error.
    void exec(const std::string& sql) const {
        std::string result = query(sql);
        (void)result;
    }
    // The first column of the first row ("" for none, "NULL" for a null); fails on error.
    std::string query(const std::string& sql) const { return queryOn(m_uri, sql); }

private:
    std::string m_schema;
    std::string m_uri;
};

}  // namespace hosttest

// Skips the rest of a PostgreSQL case when no cluster is named and none is required; fails it
// when one is required or named but does not answer.
#define ZANDREL_REQUIRE_POSTGRES()                                                        \
    do {                                                                                  \
        const std::string whyNot = ::hosttest::PostgresTestDatabase::unavailableReason(); \
        if (!whyNot.empty()) {                                                            \
            if (::hosttest::PostgresTestDatabase::available() ||                          \
                ::hosttest::PostgresTestDatabase::required())                             \
                FAIL() << whyNot;                                                         \
            GTEST_SKIP() << whyNot;                                                       \
        }                                                                                 \
    } while (0)

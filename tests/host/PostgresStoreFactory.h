#pragma once

// The PostgreSQL entry of storeFactories(): each test's database is a fresh schema on the test
// cluster (ZANDREL_TEST_POSTGRES_URI), reached through a URI whose search_path names it. The
// schemas a test process made are dropped when it exits. Each schema defines group_concat(x)
// and group_concat(x, separator) as SQLite has them, so raw SQL in the tests reads alike on both.

#include <libpq-fe.h>
#include <unistd.h>

#include <atomic>
#include <cctype>
#include <set>
#include <string>
#include <vector>

#include "host/database/model/EntityCatalog.h"
#include "tests/host/PostgresTestDatabase.h"
#include "tests/host/StoreTestSupport.h"

namespace hosttest {

namespace postgresfactory {

// The tests' raw SQL is written for SQLite, which reads identifiers in any case and needs no
// alias for a subquery in FROM. For PostgreSQL the catalog's mixed-case names (and User, a
// reserved word there) are quoted, and such subqueries get an alias. Literals stay as they are.
inline std::string portable(const std::string& sql) {
    static const std::set<std::string> names = [] {
        std::set<std::string> found;
        auto mixed = [](const std::string& n) {
            for (char c : n)
                if (std::isupper(static_cast<unsigned char>(c))) return true;
            return false;
        };
        for (const auto& entity : host::EntityCatalog::shared().entities()) {
            if (mixed(entity.name)) found.insert(entity.name);
            for (const auto& attribute : entity.attributes)
                if (mixed(attribute.name)) found.insert(attribute.name);
        }
        return found;
    }();
    auto upper = [](std::string word) {
        for (char& c : word) c = char(std::toupper(static_cast<unsigned char>(c)));
        return word;
    };
    std::string out, lastWord;
    std::vector<bool> subqueries;  // per open parenthesis: a subquery in FROM
    int aliases = 0;
    for (size_t i = 0; i < sql.size();) {
        char c = sql[i];
        if (c == '\'' || c == '"') {
            size_t end = sql.find(c, i + 1);
            end = end == std::string::npos ? sql.size() : end + 1;
            out += sql.substr(i, end - i);
            i = end;
            lastWord.clear();
        } else if (std::isalpha(static_cast<unsigned char>(c)) || c == '_') {
            size_t end = i;
            while (end < sql.size() &&
                   (std::isalnum(static_cast<unsigned char>(sql[end])) || sql[end] == '_'))
                ++end;
            std::string word = sql.substr(i, end - i);
            out += names.count(word) ? "\"" + word + "\"" : word;
            lastWord = upper(word);
            i = end;
        } else if (c == '(') {
            subqueries.push_back(lastWord == "FROM");
            out += c;
            ++i;
            lastWord.clear();
        } else if (c == ')') {
            out += c;
            ++i;
            bool subquery = !subqueries.empty() && subqueries.back();
            if (!subqueries.empty()) subqueries.pop_back();
            if (subquery) {
                size_t next = i;
                while (next < sql.size() && std::isspace(static_cast<unsigned char>(sql[next]))) ++next;
                size_t end = next;
                while (end < sql.size() &&
                       (std::isalnum(static_cast<unsigned char>(sql[end])) || sql[end] == '_'))
                    ++end;
                static const std::set<std::string> clauses = {"",      "WHERE", "GROUP", "ORDER", "LIMIT",
                                                              "UNION", "JOIN",  "ON",    "HAVING"};
                if (clauses.count(upper(sql.substr(next, end - next))))
                    out += " AS sub" + std::to_string(++aliases);
            }
            lastWord.clear();
        } else {
            out += c;
            ++i;
            if (!std::isspace(static_cast<unsigned char>(c))) lastWord.clear();
        }
    }
    return out;
}

// Runs SQL written for SQLite on the database the address names (hosttest::queryOn).
inline std::string run(const std::string& address, const std::string& sql) {
    return queryOn(address, portable(sql));
}

// The schemas made by this process, dropped at exit.
class Schemas {
public:
    static Schemas& shared() {
        static Schemas schemas;
        return schemas;
    }
    ~Schemas() {
        for (const auto& schema : m_names)
            PQclear(PQexec(connection(), ("DROP SCHEMA IF EXISTS " + schema + " CASCADE").c_str()));
        if (m_connection) PQfinish(m_connection);
    }
    std::string make() {
        static std::atomic<unsigned> counter{0};
        std::string schema = "s_" + std::to_string(getpid()) + "_" + std::to_string(counter++);
        run(PostgresTestDatabase::baseUri(),
            "DROP SCHEMA IF EXISTS " + schema + " CASCADE; CREATE SCHEMA " + schema + ";" +
                "SET search_path = " + schema +
                ";"
                "CREATE FUNCTION group_concat_step(acc text, x anyelement) RETURNS text LANGUAGE sql "
                "IMMUTABLE "
                "AS $$ SELECT CASE WHEN x IS NULL THEN acc WHEN acc IS NULL THEN x::text ELSE acc || ',' || "
                "x::text END $$;"
                "CREATE FUNCTION group_concat_step(acc text, x anyelement, sep text) RETURNS text LANGUAGE "
                "sql "
                "IMMUTABLE AS $$ SELECT CASE WHEN x IS NULL THEN acc WHEN acc IS NULL THEN x::text ELSE acc "
                "|| "
                "sep || x::text END $$;"
                "CREATE AGGREGATE group_concat(anyelement) (SFUNC = group_concat_step, STYPE = text);"
                "CREATE AGGREGATE group_concat(anyelement, text) (SFUNC = group_concat_step, STYPE = text);");
        m_names.push_back(schema);
        std::string base = PostgresTestDatabase::baseUri();
        return base + (base.find('?') == std::string::npos ? "?" : "&") + "options=-csearch_path%3D" + schema;
    }

private:
    PGconn* connection() {
        if (!m_connection) m_connection = PQconnectdb(PostgresTestDatabase::baseUri());
        return m_connection;
    }
    std::vector<std::string> m_names;
    PGconn* m_connection = nullptr;
};

}  // namespace postgresfactory

inline StoreFactory postgresFactory() {
    StoreFactory factory;
    factory.name = "Postgres";
    factory.isSqlite = false;
    factory.freshDatabase = [](const std::filesystem::path&) {
        return postgresfactory::Schemas::shared().make();
    };
    factory.rawQuery = [](const std::string& address, const std::string& sql) {
        return postgresfactory::run(address, sql);
    };
    factory.rawExec = [](const std::string& address, const std::string& sql) {
        postgresfactory::run(address, sql);
    };
    factory.refuseInsertsNamed = [](const std::string& address, const std::string& name) {
        std::string literal;
        for (char c : name) literal += c == '\'' ? std::string("''") : std::string(1, c);
        postgresfactory::run(
            address,
            "CREATE OR REPLACE FUNCTION refuse() RETURNS trigger LANGUAGE plpgsql AS $$ BEGIN "
            "IF NEW.name = '" +
                literal +
                "' THEN RAISE EXCEPTION 'refused by test trigger'; END IF; RETURN NEW; END $$;"
                "CREATE TRIGGER refuse BEFORE INSERT ON \"CustomRecordDefinition\" FOR EACH ROW "
                "EXECUTE FUNCTION refuse()");
    };
    factory.allowAgain = [](const std::string& address) {
        postgresfactory::run(address, "DROP TRIGGER refuse ON \"CustomRecordDefinition\"");
    };
    return factory;
}

}  // namespace hosttest

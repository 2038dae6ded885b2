#include "host/database/model/Qualifier.h"

#include <fmt/format.h>

#include "host/database/model/QualifierEvaluator.h"
#include "host/database/model/QualifierNode.h"
#include "host/database/model/QualifierParser.h"
#include "host/database/model/QualifierSqlWriter.h"
#include "host/database/sqlite/SqliteDialect.h"

namespace host {

platform::Result<Qualifier> Qualifier::compile(const EntityDescription& entity, std::string_view text,
                                               const platform::Dictionary& bindings) {
    return compile(entity, text, bindings, SqliteDialect::shared());
}

platform::Result<Qualifier> Qualifier::compile(const EntityDescription& entity, std::string_view text,
                                               const platform::Dictionary& bindings,
                                               const SqlDialect& dialect) {
    QualifierParser parser(entity, text, bindings);
    auto root = parser.parse();
    if (!root) return root.status();
    Qualifier qualifier;
    qualifier.m_entity = &entity;
    qualifier.m_root = *root;
    qualifier.m_sql = std::string(dialect.trueCondition());
    if (qualifier.m_root) {
        QualifierSqlWriter writer(entity, dialect, qualifier.m_parameters);
        writer.write(*qualifier.m_root, 0);
        if (writer.deepest > QualifierSqlWriter::kMaxSqlDepth)
            return platform::Status::error(fmt::format(
                "qualifier \"{}\" is too complex for the database: its nesting and its long "
                "AND/OR chains need "
                "{} levels, at most {} can be run; split it into several qualifiers",
                QualifierParser::shownText(text), writer.deepest, QualifierSqlWriter::kMaxSqlDepth));
        if (writer.comparisonsWithValues > kMaxComparisonsWithValues)
            return platform::Status::error(fmt::format(
                "qualifier \"{}\" has {} comparisons with a value, at most {} are allowed; put "
                "the values of one "
                "attribute into an IN list, or split it into several qualifiers",
                QualifierParser::shownText(text), writer.comparisonsWithValues, kMaxComparisonsWithValues));
        if (writer.values > kMaxValues)
            return platform::Status::error(fmt::format(
                "qualifier \"{}\" has {} values, at most {} can be bound; split it into several qualifiers",
                QualifierParser::shownText(text), writer.values, kMaxValues));
        qualifier.m_sql = std::move(writer.sql);
    }
    return qualifier;
}

void Qualifier::bindParameters(Statement& statement) const {
    for (size_t i = 0; i < m_parameters.size(); ++i) statement.bind(int(i) + 1, m_parameters[i]);
}

bool Qualifier::matches(const std::vector<platform::Value>& values) const {
    return !m_root || QualifierEvaluator(*m_entity, values).matches(*m_root);
}

}  // namespace host

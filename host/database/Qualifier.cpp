#include "host/database/Qualifier.h"

#include <fmt/format.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <optional>

#include "host/database/SqlText.h"
#include "host/database/SqliteDialect.h"
#include "platform/foundation/UTF8.h"

namespace host {

namespace {

enum class CompareOp { Equal, NotEqual, Less, Greater, LessEqual, GreaterEqual };

struct Operand {
    bool isAttribute = false;
    size_t slot = 0;
    StoredValue constant;
};

}  // namespace

struct Qualifier::Node {
    enum class Kind { And, Or, Not, Compare, In };
    Kind kind = Kind::Compare;
    CompareOp op = CompareOp::Equal;
    // And/Or: the terms of the whole chain (a long chain is one node, not a deep tree);
    // Not: the one negated term.
    std::vector<Node> terms;
    Operand a, b;
    std::vector<Operand> list;
};

namespace {

using Node = Qualifier::Node;
using NodePtr = std::shared_ptr<const Node>;

struct Token {
    enum class Kind {
        Identifier,
        Variable,
        Number,
        Text,
        Operator,
        LParen,
        RParen,
        LBrace,
        RBrace,
        Comma,
        End
    };
    Kind kind = Kind::End;
    std::string text;  // as written (identifier, variable name without $, operator, text contents)
    StoredValue number;
    size_t position = 0;  // 0-based offset
};

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

// A long qualifier is shown by its start in messages, so an error stays readable (and small).
std::string shownText(std::string_view text) {
    constexpr size_t kShown = 100;
    if (text.size() <= kShown + 20) return std::string(text);
    size_t cut = kShown;
    while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80)
        --cut;  // whole UTF-8 characters
    return fmt::format("{}... ({} bytes)", text.substr(0, cut), text.size());
}

std::string describe(const Token& token) {
    switch (token.kind) {
        case Token::Kind::End:
            return "the end";
        case Token::Kind::Variable:
            return "$" + shownText(token.text);
        default:
            return "'" + shownText(token.text) + "'";
    }
}

// SQLite stores a NaN as NULL; in memory it must count as no value as well.
StoredValue storedReal(double d) {
    return std::isnan(d) ? StoredValue::null() : StoredValue::fromReal(d);
}

class Parser {
public:
    Parser(const EntityDescription& entity, std::string_view text, const platform::Dictionary& bindings)
        : m_entity(entity), m_text(text), m_bindings(bindings) {}

    // No node for an empty qualifier.
    platform::Result<NodePtr> parse() {
        if (auto status = tokenize(); !status) return status;
        if (m_tokens.front().kind == Token::Kind::End) return NodePtr{};
        auto node = parseOr();
        if (!node) return node.status();
        if (peek().kind != Token::Kind::End)
            return fail(peek(), fmt::format("expected AND, OR or the end, found {}", describe(peek())));
        return NodePtr(std::make_shared<const Node>(std::move(*node)));
    }

private:
    platform::Status fail(size_t position, const std::string& what) const {
        return platform::Status::error(
            fmt::format("qualifier \"{}\" at character {}: {}", shownText(m_text), position + 1, what));
    }
    platform::Status fail(const Token& token, const std::string& what) const {
        return fail(token.position, what);
    }

    platform::Status tokenize() {
        size_t i = 0;
        const size_t n = m_text.size();
        auto push = [&](Token::Kind kind, size_t start, size_t length) {
            Token token;
            token.kind = kind;
            token.text = std::string(m_text.substr(start, length));
            token.position = start;
            m_tokens.push_back(std::move(token));
            i = start + length;
        };
        while (i < n) {
            char c = m_text[i];
            if (std::isspace(static_cast<unsigned char>(c))) {
                ++i;
                continue;
            }
            size_t start = i;
            auto isIdentChar = [&](size_t k) {
                return k < n && (std::isalnum(static_cast<unsigned char>(m_text[k])) || m_text[k] == '_');
            };
            if (std::isalpha(static_cast<unsigned char>(c)) || c == '_') {
                size_t end = i;
                while (isIdentChar(end)) ++end;
                push(Token::Kind::Identifier, start, end - start);
            } else if (c == '$') {
                size_t end = i + 1;
                while (isIdentChar(end)) ++end;
                if (end == i + 1) return fail(start, "expected a variable name after '$'");
                push(Token::Kind::Variable, start + 1, end - start - 1);
                m_tokens.back().position = start;
            } else if (std::isdigit(static_cast<unsigned char>(c)) ||
                       (c == '-' && i + 1 < n && std::isdigit(static_cast<unsigned char>(m_text[i + 1])))) {
                size_t end = i + 1;
                bool real = false;
                while (end < n && std::isdigit(static_cast<unsigned char>(m_text[end]))) ++end;
                if (end < n && m_text[end] == '.') {
                    real = true;
                    ++end;
                    while (end < n && std::isdigit(static_cast<unsigned char>(m_text[end]))) ++end;
                }
                if (end < n && (m_text[end] == 'e' || m_text[end] == 'E')) {
                    real = true;
                    ++end;
                    if (end < n && (m_text[end] == '+' || m_text[end] == '-')) ++end;
                    if (end >= n || !std::isdigit(static_cast<unsigned char>(m_text[end])))
                        return fail(end, "expected the exponent's digits");
                    while (end < n && std::isdigit(static_cast<unsigned char>(m_text[end]))) ++end;
                }
                if (isIdentChar(end)) return fail(end, "expected an operator or space after the number");
                push(Token::Kind::Number, start, end - start);
                const std::string& digits = m_tokens.back().text;
                try {
                    m_tokens.back().number = real ? StoredValue::fromReal(std::stod(digits))
                                                  : StoredValue::fromInteger(std::stoll(digits));
                } catch (const std::exception&) {
                    return fail(start, "the number " + shownText(digits) + " is out of range");
                }
            } else if (c == '\'' || c == '"') {
                std::string contents;
                size_t end = i + 1;
                bool closed = false;
                while (end < n) {
                    char d = m_text[end];
                    if (d == '\\' && end + 1 < n) {
                        contents += m_text[end + 1];
                        end += 2;
                    } else if (d == c) {
                        closed = true;
                        ++end;
                        break;
                    } else {
                        contents += d;
                        ++end;
                    }
                }
                if (!closed) return fail(start, fmt::format("expected the closing {} of the text", c));
                push(Token::Kind::Text, start, end - start);
                m_tokens.back().text = std::move(contents);
            } else {
                static constexpr std::string_view kTwo[] = {"==", "!=", "<>", "<=", ">=", "&&", "||"};
                bool matched = false;
                for (auto op : kTwo) {
                    if (m_text.substr(i, 2) == op) {
                        push(Token::Kind::Operator, start, 2);
                        matched = true;
                        break;
                    }
                }
                if (matched) continue;
                switch (c) {
                    case '=':
                    case '<':
                    case '>':
                    case '!':
                        push(Token::Kind::Operator, start, 1);
                        break;
                    case '(':
                        push(Token::Kind::LParen, start, 1);
                        break;
                    case ')':
                        push(Token::Kind::RParen, start, 1);
                        break;
                    case '{':
                        push(Token::Kind::LBrace, start, 1);
                        break;
                    case '}':
                        push(Token::Kind::RBrace, start, 1);
                        break;
                    case ',':
                        push(Token::Kind::Comma, start, 1);
                        break;
                    default:
                        return fail(start, fmt::format("unexpected character '{}'", c));
                }
            }
        }
        Token end;
        end.position = n;
        m_tokens.push_back(end);
        return platform::Status::ok();
    }

    const Token& peek() const { return m_tokens[m_next]; }
    const Token& take() { return m_tokens[m_next++]; }
    bool isKeyword(const Token& token, std::string_view word) const {
        return token.kind == Token::Kind::Identifier && equalsIgnoringCase(token.text, word);
    }
    bool isOperator(const Token& token, std::string_view op) const {
        return token.kind == Token::Kind::Operator && token.text == op;
    }

    platform::Result<Node> parseOr() { return parseChain(Node::Kind::Or); }
    platform::Result<Node> parseAnd() { return parseChain(Node::Kind::And); }

    // One AND or OR chain, however long, as one node; a parenthesised chain of the same kind
    // joins it, so "a AND (b AND c)" is as flat as "a AND b AND c".
    platform::Result<Node> parseChain(Node::Kind kind) {
        const bool isOr = kind == Node::Kind::Or;
        auto isJoiner = [&](const Token& token) {
            return isOr ? isKeyword(token, "OR") || isOperator(token, "||")
                        : isKeyword(token, "AND") || isOperator(token, "&&");
        };
        auto first = isOr ? parseAnd() : parseNot();
        if (!first) return first;
        if (!isJoiner(peek())) return first;
        Node chain;
        chain.kind = kind;
        auto append = [&](Node&& term) {
            if (term.kind == kind) {
                for (auto& inner : term.terms) chain.terms.push_back(std::move(inner));
            } else {
                chain.terms.push_back(std::move(term));
            }
        };
        append(std::move(*first));
        while (isJoiner(peek())) {
            take();
            auto next = isOr ? parseAnd() : parseNot();
            if (!next) return next;
            append(std::move(*next));
        }
        return chain;
    }

    platform::Status tooDeep(const Token& token) const {
        return fail(token,
                    fmt::format("nested more than {} levels deep (each parenthesis and each NOT is a level); "
                                "write the condition with fewer levels",
                                Qualifier::kMaxNesting));
    }

    platform::Result<Node> parseNot() {
        if (isKeyword(peek(), "NOT") || isOperator(peek(), "!")) {
            if (m_depth == Qualifier::kMaxNesting) return tooDeep(peek());
            take();
            ++m_depth;
            auto inner = parseNot();
            --m_depth;
            if (!inner) return inner;
            // Two-valued logic: NOT NOT x is x, which keeps the SQL as shallow as the meaning.
            if (inner->kind == Node::Kind::Not) {
                Node unwrapped = std::move(inner->terms.front());
                return unwrapped;
            }
            Node node;
            node.kind = Node::Kind::Not;
            node.terms.push_back(std::move(*inner));
            return node;
        }
        if (peek().kind == Token::Kind::LParen) {
            if (m_depth == Qualifier::kMaxNesting) return tooDeep(peek());
            take();
            ++m_depth;
            auto inner = parseOr();
            --m_depth;
            if (!inner) return inner;
            if (peek().kind != Token::Kind::RParen)
                return fail(peek(), fmt::format("expected ')', found {}", describe(peek())));
            take();
            return inner;
        }
        return parseComparison();
    }

    platform::Result<Node> parseComparison() {
        auto a = parseOperand("at the start of a comparison");
        if (!a) return a.status();
        const Token& opToken = peek();
        Node node;
        node.a = *a;
        if (isKeyword(opToken, "IN")) {
            take();
            node.kind = Node::Kind::In;
            if (auto status = parseList(node); !status) return status;
            return node;
        }
        static const std::pair<std::string_view, CompareOp> kOps[] = {
            {"==", CompareOp::Equal},     {"=", CompareOp::Equal},        {"!=", CompareOp::NotEqual},
            {"<>", CompareOp::NotEqual},  {"<", CompareOp::Less},         {">", CompareOp::Greater},
            {"<=", CompareOp::LessEqual}, {">=", CompareOp::GreaterEqual}};
        std::optional<CompareOp> op;
        if (opToken.kind == Token::Kind::Operator)
            for (const auto& [text, value] : kOps)
                if (opToken.text == text) op = value;
        if (!op)
            return fail(opToken, fmt::format("expected a comparison (==, !=, <, >, <=, >= or IN), found {}",
                                             describe(opToken)));
        std::string opText = take().text;
        node.kind = Node::Kind::Compare;
        node.op = *op;
        auto b = parseOperand("after '" + opText + "'");
        if (!b) return b.status();
        node.b = *b;
        return node;
    }

    platform::Status parseList(Node& node) {
        const Token& token = peek();
        if (token.kind == Token::Kind::Variable) {
            take();
            auto value = binding(token);
            if (!value) return value.status();
            if (!value->isArray())
                return fail(token, fmt::format("${} must be an array for IN, not {}", shownText(token.text),
                                               platform::Value::typeName(value->type())));
            for (const auto& element : value->asArray()) {
                auto stored = constantFrom(element, token);
                if (!stored) return stored.status();
                node.list.push_back(Operand{false, 0, *stored});
            }
            return platform::Status::ok();
        }
        if (token.kind != Token::Kind::LBrace)
            return fail(token, fmt::format("expected $variable or '{{' after IN, found {}", describe(token)));
        take();
        if (peek().kind == Token::Kind::RBrace) {
            take();
            return platform::Status::ok();
        }
        while (true) {
            auto element = parseOperand("in the list");
            if (!element) return element.status();
            node.list.push_back(*element);
            const Token& next = take();
            if (next.kind == Token::Kind::RBrace) return platform::Status::ok();
            if (next.kind != Token::Kind::Comma)
                return fail(next, fmt::format("expected ',' or '}}' in the list, found {}", describe(next)));
        }
    }

    platform::Result<platform::Value> binding(const Token& token) const {
        auto found = m_bindings.find(token.text);
        if (found == m_bindings.end()) {
            std::string given;
            for (const auto& [name, value] : m_bindings) given += (given.empty() ? "" : ", ") + name;
            return fail(token, fmt::format("no binding for ${} (bindings given: {})", shownText(token.text),
                                           given.empty() ? "none" : given));
        }
        return found->second;
    }

    platform::Result<StoredValue> constantFrom(const platform::Value& value, const Token& token) const {
        using T = platform::Value::Type;
        switch (value.type()) {
            case T::Null:
                return StoredValue::null();
            case T::Boolean:
                return StoredValue::fromInteger(value.asBool() ? 1 : 0);
            case T::Integer:
                return StoredValue::fromInteger(value.asInteger());
            case T::Real:
                return storedReal(value.asReal());
            case T::String:
                return StoredValue::fromText(value.asString());
            default:
                return fail(
                    token,
                    fmt::format("${} is {}; compare texts, numbers, booleans or nil (arrays only with IN)",
                                shownText(token.text), value.typeName(value.type())));
        }
    }

    platform::Result<Operand> parseOperand(const std::string& where) {
        const Token& token = peek();
        switch (token.kind) {
            case Token::Kind::Number:
                take();
                return Operand{false, 0, token.number};
            case Token::Kind::Text:
                take();
                return Operand{false, 0, StoredValue::fromText(token.text)};
            case Token::Kind::Variable: {
                take();
                auto value = binding(token);
                if (!value) return value.status();
                auto stored = constantFrom(*value, token);
                if (!stored) return stored.status();
                return Operand{false, 0, *stored};
            }
            case Token::Kind::Identifier: {
                take();
                if (isKeyword(token, "nil") || isKeyword(token, "NULL"))
                    return Operand{false, 0, StoredValue::null()};
                if (isKeyword(token, "YES") || isKeyword(token, "TRUE"))
                    return Operand{false, 0, StoredValue::fromInteger(1)};
                if (isKeyword(token, "NO") || isKeyword(token, "FALSE"))
                    return Operand{false, 0, StoredValue::fromInteger(0)};
                for (auto keyword : {"AND", "OR", "NOT", "IN"})
                    if (isKeyword(token, keyword))
                        return fail(token, fmt::format("expected a value {}, found the keyword {}", where,
                                                       token.text));
                auto slot = m_entity.slot(token.text);
                if (!slot)
                    return fail(token, fmt::format("{} has no attribute \"{}\" (it has: {})", m_entity.name,
                                                   shownText(token.text), m_entity.attributeNames()));
                return Operand{true, *slot, {}};
            }
            default:
                return fail(
                    token,
                    fmt::format("expected a value (attribute, $variable, number, 'text', nil, YES or NO) {}, "
                                "found {}",
                                where, describe(token)));
        }
    }

    const EntityDescription& m_entity;
    std::string_view m_text;
    const platform::Dictionary& m_bindings;
    std::vector<Token> m_tokens;
    size_t m_next = 0;
    int m_depth = 0;
};

int compareStored(const StoredValue& a, const StoredValue& b);
int compareIntegerWithReal(int64_t i, double r);

// Whether a strictly typed engine takes the bytes as text: UTF-8 without NUL, overlong forms,
// surrogates or code points past U+10FFFF (PostgreSQL refuses a text parameter otherwise).
bool takenAsText(std::string_view bytes) {
    return bytes.find('\0') == std::string_view::npos && platform::UTF8::isValid(bytes);
}

// Writes a tree as one SQL condition. Under a NOT every part yields 0 or 1, never NULL, so NOT
// keeps the two-valued meaning. Outside any NOT an IN test or ordered comparison is written
// plainly (so SQLite can search an index with it): there NULL filters a row out exactly as 0
// would, since AND and OR of NULL never give true where false would not. A chain longer than kGroup terms is
// written as nested groups of at most kGroup terms: SQLite parses "a AND b AND ..." into a tree as deep as
// the chain and refuses more than 1000 levels, and its parser stack holds about 30 nested parentheses.
// kMaxSqlDepth keeps every written condition within both, with room to spare (tested against SQLite with the
// deepest shapes the limits allow).
class SqlWriter {
public:
    static constexpr size_t kGroup = 16;
    static constexpr int kMaxSqlDepth = 22;

    SqlWriter(const EntityDescription& entity, const SqlDialect& dialect,
              std::vector<StoredValue>& parameters)
        : m_entity(entity), m_dialect(dialect), m_parameters(parameters) {}

    std::string sql;
    int deepest = 0;

    size_t comparisonsWithValues = 0;
    size_t values = 0;  // constants and list members, however they are bound

    void write(const Node& node, int depth) {
        deepest = std::max(deepest, depth);
        if (node.kind == Node::Kind::Compare || node.kind == Node::Kind::In) {
            bool withValue = !node.a.isAttribute || (node.kind == Node::Kind::Compare && !node.b.isAttribute);
            for (const auto& element : node.list) withValue = withValue || !element.isAttribute;
            if (withValue) ++comparisonsWithValues;
        }
        switch (node.kind) {
            case Node::Kind::And:
                writeTerms(node.terms, 0, node.terms.size(), " AND ", depth);
                return;
            case Node::Kind::Or:
                writeTerms(node.terms, 0, node.terms.size(), " OR ", depth);
                return;
            case Node::Kind::Not:
                sql += "(NOT ";
                ++m_negations;
                write(node.terms.front(), depth + 1);
                --m_negations;
                sql += ")";
                return;
            case Node::Kind::In:
                if (node.list.empty()) {
                    sql += m_dialect.falseCondition();
                    return;
                }
                if (m_dialect.comparesLikeTypesOnly()) {
                    writeTyped(typedIn(node));
                    return;
                }
                sql += m_negations ? "((" : "(";
                if (m_dialect.bindsListsAsArrays() &&
                    std::none_of(node.list.begin(), node.list.end(),
                                 [](const Operand& o) { return o.isAttribute; })) {
                    std::string left;
                    operandInto(left, node.a);
                    std::vector<StoredValue> members;
                    members.reserve(node.list.size());
                    for (const auto& element : node.list) members.push_back(element.constant);
                    values += members.size();
                    m_parameters.push_back(StoredValue::fromList(std::move(members)));
                    m_dialect.appendInArray(sql, left, m_parameters.size(), StoredValue::Kind::Null);
                    sql += ")";
                } else {
                    operand(node.a);
                    sql += " IN (";
                    for (size_t i = 0; i < node.list.size(); ++i) {
                        if (i) sql += ", ";
                        operand(node.list[i]);
                    }
                    sql += "))";
                }
                if (m_negations) {
                    sql += m_dialect.isTrueSuffix();
                    sql += ")";
                }
                return;
            case Node::Kind::Compare: {
                if (m_dialect.comparesLikeTypesOnly()) {
                    writeTyped(typedCompare(node.op, node.a, node.b));
                    return;
                }
                const bool ordered =
                    m_negations && node.op != CompareOp::Equal && node.op != CompareOp::NotEqual;
                sql += ordered ? "((" : "(";
                operand(node.a);
                switch (node.op) {
                    case CompareOp::Equal:
                        sql += m_dialect.nullSafeEqual();
                        break;
                    case CompareOp::NotEqual:
                        sql += m_dialect.nullSafeNotEqual();
                        break;
                    case CompareOp::Less:
                        sql += " < ";
                        break;
                    case CompareOp::Greater:
                        sql += " > ";
                        break;
                    case CompareOp::LessEqual:
                        sql += " <= ";
                        break;
                    case CompareOp::GreaterEqual:
                        sql += " >= ";
                        break;
                }
                operand(node.b);
                sql += ")";
                if (ordered) {
                    sql += m_dialect.isTrueSuffix();
                    sql += ")";
                }
                return;
            }
        }
    }

private:
    using K = StoredValue::Kind;

    // A condition for an engine that compares like types only: its SQL, or a truth known now.
    struct Condition {
        std::optional<bool> known;
        std::string sql;  // when !known; may be NULL where the meaning is false
        static Condition always(bool truth) { return {truth, {}}; }
        static Condition of(std::string text) { return {std::nullopt, std::move(text)}; }
    };

    // One kind of value an operand can have: where `guard` holds (empty: wherever it has a
    // value), its value is of `kind`, spelled `sql` (empty for a constant, bound where used).
    // `present` is the condition that it has a value at all in this form.
    struct Form {
        K kind = K::Null;
        std::string sql;
        std::string guard;
        std::string present;
        const StoredValue* constant = nullptr;
        bool bytes = false;  // a text spelled as bytes (from an attribute of any type)
    };
    struct Typed {
        std::vector<Form> forms;  // none: the operand is nil
        std::string isNull;       // empty: a constant (never or always nil)
    };

    static int rank(K kind) {
        switch (kind) {
            case K::Integer:
            case K::Real:
                return 1;
            case K::Text:
                return 2;
            case K::Blob:
                return 3;
            default:
                return 0;
        }
    }
    static bool holds(CompareOp op, int order) {
        switch (op) {
            case CompareOp::Equal:
                return order == 0;
            case CompareOp::NotEqual:
                return order != 0;
            case CompareOp::Less:
                return order < 0;
            case CompareOp::Greater:
                return order > 0;
            case CompareOp::LessEqual:
                return order <= 0;
            case CompareOp::GreaterEqual:
                return order >= 0;
        }
        return false;
    }
    static CompareOp mirrored(CompareOp op) {
        switch (op) {
            case CompareOp::Less:
                return CompareOp::Greater;
            case CompareOp::Greater:
                return CompareOp::Less;
            case CompareOp::LessEqual:
                return CompareOp::GreaterEqual;
            case CompareOp::GreaterEqual:
                return CompareOp::LessEqual;
            default:
                return op;
        }
    }
    static const char* symbol(CompareOp op) {
        switch (op) {
            case CompareOp::Equal:
                return " = ";
            case CompareOp::NotEqual:
                return " <> ";
            case CompareOp::Less:
                return " < ";
            case CompareOp::Greater:
                return " > ";
            case CompareOp::LessEqual:
                return " <= ";
            case CompareOp::GreaterEqual:
                return " >= ";
        }
        return " = ";
    }
    static std::string both(const std::string& a, const std::string& b) {
        if (a.empty()) return b;
        if (b.empty()) return a;
        return a + " AND " + b;
    }
    static Condition anyOf(const std::vector<Condition>& parts) {
        std::string text;
        for (const auto& part : parts) {
            if (part.known) {
                if (*part.known) return Condition::always(true);
                continue;
            }
            text += text.empty() ? "(" : " OR (";
            text += part.sql;
            text += ")";
        }
        return text.empty() ? Condition::always(false) : Condition::of(text);
    }
    // The inner condition where the guard holds: a CASE, since the engine may evaluate the
    // parts of an AND in any order, and the inner part may read the value as the guarded kind.
    static Condition guarded(const std::string& guard, Condition inner) {
        if (guard.empty() || (inner.known && !*inner.known)) return inner;
        if (inner.known) return Condition::of(guard);
        return Condition::of("CASE WHEN " + guard + " THEN (" + inner.sql + ") ELSE FALSE END");
    }

    Typed typed(const Operand& o) {
        Typed result;
        if (!o.isAttribute) {
            ++values;
            if (o.constant.kind != K::Null)
                result.forms.push_back({o.constant.kind, {}, {}, {}, &o.constant});
            return result;
        }
        const auto& attribute = m_entity.attributes[o.slot];
        std::string column;
        m_dialect.appendQuotedIdentifier(column, attribute.name);
        result.isNull = column + " IS NULL";
        switch (attribute.type) {
            case AttributeType::Text:
                result.forms.push_back({K::Text, column, {}, column + " IS NOT NULL"});
                break;
            case AttributeType::Integer:
            case AttributeType::Boolean:
                result.forms.push_back({K::Integer, column, {}, column + " IS NOT NULL"});
                break;
            case AttributeType::Real:
                result.forms.push_back({K::Real, column, {}, column + " IS NOT NULL"});
                break;
            case AttributeType::Any:
                for (K kind : {K::Integer, K::Real, K::Text, K::Blob}) {
                    Form form;
                    form.kind = kind;
                    m_dialect.appendAnyValue(form.sql, column, kind);
                    m_dialect.appendAnyIsKind(form.guard, column, kind);
                    form.present = form.guard;
                    form.bytes = kind == K::Text;
                    result.forms.push_back(std::move(form));
                }
                break;
        }
        return result;
    }

    // The value bound as a parameter read as `kind`.
    std::string bound(StoredValue value, K kind) {
        std::string out;
        if (kind == K::Blob && value.kind == K::Text) value = StoredValue::fromBlob(std::move(value.bytes));
        m_parameters.push_back(std::move(value));
        m_dialect.appendTypedPlaceholder(out, m_parameters.size(), kind, false);
        return out;
    }
    std::string spelled(const Form& form, K as) {
        return form.constant ? bound(*form.constant, as) : form.sql;
    }

    std::string real(double r) { return bound(StoredValue::fromReal(r), K::Real); }
    std::string integer(int64_t i) { return bound(StoredValue::fromInteger(i), K::Integer); }

    // An integer expression against a constant real, exactly: the real's neighbouring integers
    // decide, so no integer is ever rounded to a real.
    Condition integerAgainstReal(const std::string& x, CompareOp op, double r) {
        // Beyond the integers (infinities too) the real's side decides for every integer.
        if (r >= 9223372036854775808.0 || r < -9223372036854775808.0)
            return holds(op, r > 0 ? -1 : 1) ? Condition::of(x + " IS NOT NULL") : Condition::always(false);
        const double floor = std::floor(r);
        const auto below = static_cast<int64_t>(floor);
        if (floor == r) return Condition::of(x + symbol(op) + integer(below));
        switch (op) {
            case CompareOp::Equal:
                return Condition::always(false);
            case CompareOp::NotEqual:
                return Condition::of(x + " IS NOT NULL");
            case CompareOp::Less:
            case CompareOp::LessEqual:
                return Condition::of(x + " <= " + integer(below));
            default:
                return Condition::of(x + " >= " + integer(below + 1));  // floor < 2^63 - 1 here
        }
    }

    // A real expression against a constant integer, exactly: against the integer itself when a
    // real can hold it, else against the reals on either side of it.
    Condition realAgainstInteger(const std::string& d, CompareOp op, int64_t i) {
        const double nearest = static_cast<double>(i);
        const int order = compareIntegerWithReal(i, nearest);
        if (order == 0) return Condition::of(d + symbol(op) + real(nearest));
        const double lower = order > 0 ? nearest : std::nextafter(nearest, -HUGE_VAL);
        const double upper = order > 0 ? std::nextafter(nearest, HUGE_VAL) : nearest;
        switch (op) {
            case CompareOp::Equal:
                return Condition::always(false);
            case CompareOp::NotEqual:
                return Condition::of(d + " IS NOT NULL");
            case CompareOp::Less:
            case CompareOp::LessEqual:
                return Condition::of(d + " <= " + real(lower));
            default:
                return Condition::of(d + " >= " + real(upper));
        }
    }

    // Two expressions, an integer and a real, exactly: the integer against the real's integer
    // part, the real's fraction breaking a tie. Reals beyond the integers decide by their sign.
    Condition integerAgainstRealColumn(const std::string& x, CompareOp op, const std::string& d) {
        std::string truncated, part;
        m_dialect.appendTruncated(truncated, d);
        m_dialect.appendAsInteger(part, truncated);
        std::string exact;
        switch (op) {
            case CompareOp::Equal:
            case CompareOp::NotEqual:
                exact = x + " = " + part + " AND " + d + " = " + truncated;
                if (op == CompareOp::NotEqual) exact = "NOT (" + exact + ")";
                break;
            case CompareOp::Less:
                exact = x + " < " + part + " OR (" + x + " = " + part + " AND " + d + " > " + truncated + ")";
                break;
            case CompareOp::LessEqual:
                exact =
                    x + " < " + part + " OR (" + x + " = " + part + " AND " + d + " >= " + truncated + ")";
                break;
            case CompareOp::Greater:
                exact = x + " > " + part + " OR (" + x + " = " + part + " AND " + d + " < " + truncated + ")";
                break;
            case CompareOp::GreaterEqual:
                exact =
                    x + " > " + part + " OR (" + x + " = " + part + " AND " + d + " <= " + truncated + ")";
                break;
        }
        return Condition::of(fmt::format(
            "{} IS NOT NULL AND {} IS NOT NULL AND CASE WHEN {} >= CAST(9223372036854775808 AS double "
            "precision) "
            "THEN {} WHEN {} < CAST(-9223372036854775808 AS double precision) THEN {} ELSE ({}) END",
            x, d, d, holds(op, -1) ? "TRUE" : "FALSE", d, holds(op, 1) ? "TRUE" : "FALSE", exact));
    }

    // a op b for one form of each, both having values.
    Condition formsCompare(CompareOp op, const Form& a, const Form& b) {
        if (rank(a.kind) != rank(b.kind))
            return holds(op, rank(a.kind) < rank(b.kind) ? -1 : 1)
                       ? guarded(both(a.present, b.present), Condition::always(true))
                       : Condition::always(false);
        if (a.constant && b.constant)
            return Condition::always(holds(op, compareStored(*a.constant, *b.constant)));
        Condition compared;
        if (a.kind != b.kind && (a.kind == K::Integer || a.kind == K::Real)) {
            const Form& i = a.kind == K::Integer ? a : b;
            const Form& r = a.kind == K::Integer ? b : a;
            const CompareOp fromInteger = a.kind == K::Integer ? op : mirrored(op);
            if (r.constant)
                compared = integerAgainstReal(i.sql, fromInteger, r.constant->real);
            else if (i.constant)
                compared = realAgainstInteger(r.sql, mirrored(fromInteger), i.constant->integer);
            else
                compared = integerAgainstRealColumn(i.sql, fromInteger, r.sql);
        } else {
            // One kind (texts and blobs both as bytes where either side is bytes).
            K as = a.kind;
            auto notText = [](const Form& form) {
                return form.constant && form.kind == K::Text && !takenAsText(form.constant->bytes);
            };
            const bool bytes = a.kind != b.kind || a.bytes || b.bytes || notText(a) || notText(b);
            if (bytes) as = K::Blob;
            auto side = [&](const Form& form) {
                if (form.constant) return bound(*form.constant, as);
                if (bytes && form.kind == K::Text && !form.bytes) {
                    std::string out;
                    m_dialect.appendTextAsBytes(out, form.sql);
                    return out;
                }
                return form.sql;
            };
            std::string left = side(a);
            compared = Condition::of(left + symbol(op) + side(b));
        }
        return guarded(both(a.guard, b.guard), compared);
    }

    // Both have a value and a op b.
    Condition valuesCompare(CompareOp op, const Typed& a, const Typed& b) {
        std::vector<Condition> parts;
        for (const auto& formA : a.forms)
            for (const auto& formB : b.forms) parts.push_back(formsCompare(op, formA, formB));
        return anyOf(parts);
    }

    Condition typedCompare(CompareOp op, const Operand& operandA, const Operand& operandB) {
        Typed a = typed(operandA), b = typed(operandB);
        const bool nilA = a.forms.empty(), nilB = b.forms.empty();
        if (op != CompareOp::Equal && op != CompareOp::NotEqual) {
            if (nilA || nilB) return Condition::always(false);
            return valuesCompare(op, a, b);
        }
        Condition equal;
        if (nilA && nilB) {
            equal = Condition::always(true);
        } else if (nilA || nilB) {
            const Typed& other = nilA ? b : a;
            equal = other.isNull.empty() ? Condition::always(false) : Condition::of(other.isNull);
        } else if (a.forms.size() == 1 && b.forms.size() == 1 && !a.isNull.empty() && !b.isNull.empty() &&
                   a.forms[0].kind == b.forms[0].kind) {
            // Two columns of one type: the engine's own null-safe comparison.
            return Condition::of(a.forms[0].sql +
                                 std::string(op == CompareOp::Equal ? m_dialect.nullSafeEqual()
                                                                    : m_dialect.nullSafeNotEqual()) +
                                 b.forms[0].sql);
        } else {
            equal = valuesCompare(CompareOp::Equal, a, b);
            if (!a.isNull.empty() && !b.isNull.empty()) {
                Condition bothNil = Condition::of(a.isNull + " AND " + b.isNull);
                equal = anyOf({bothNil, equal});
            }
        }
        if (op == CompareOp::Equal) return equal;
        if (equal.known) return Condition::always(!*equal.known);
        return Condition::of("NOT ((" + equal.sql + ")" + std::string(m_dialect.isTrueSuffix()) + ")");
    }

    // The members of an IN list that can equal a value of `kind`, as that kind.
    static std::vector<StoredValue> membersAs(K kind, const std::vector<const StoredValue*>& members) {
        std::vector<StoredValue> out;
        for (const StoredValue* member : members) {
            if (member->kind == kind) {
                // A text the engine would not take as text equals no text it holds.
                if (kind != K::Text || takenAsText(member->bytes)) out.push_back(*member);
            } else if (kind == K::Integer && member->kind == K::Real) {
                const double r = member->real;
                if (r >= -9223372036854775808.0 && r < 9223372036854775808.0 && std::floor(r) == r)
                    out.push_back(StoredValue::fromInteger(static_cast<int64_t>(r)));
            } else if (kind == K::Real && member->kind == K::Integer) {
                const double r = static_cast<double>(member->integer);
                if (compareIntegerWithReal(member->integer, r) == 0) out.push_back(StoredValue::fromReal(r));
            } else if (kind == K::Blob && member->kind == K::Text) {
                out.push_back(StoredValue::fromBlob(member->bytes));
            }
        }
        return out;
    }

    Condition typedIn(const Node& node) {
        std::vector<const StoredValue*> constants;
        std::vector<const Operand*> attributes;
        for (const auto& member : node.list) {
            if (member.isAttribute)
                attributes.push_back(&member);
            else if (member.constant.kind != K::Null)
                constants.push_back(&member.constant);
        }
        values += node.list.size() - attributes.size();
        Typed a = typed(node.a);
        if (a.forms.empty()) return Condition::always(false);
        std::vector<Condition> parts;
        if (!constants.empty()) {
            if (a.isNull.empty()) {
                for (const StoredValue* member : constants)
                    if (compareStored(*a.forms[0].constant, *member) == 0) return Condition::always(true);
            } else {
                for (const auto& form : a.forms) {
                    const K as = form.bytes ? K::Blob : form.kind;
                    auto members = membersAs(as, constants);
                    if (members.empty()) continue;
                    m_parameters.push_back(StoredValue::fromList(std::move(members)));
                    std::string test;
                    m_dialect.appendInArray(test, form.sql, m_parameters.size(), as);
                    parts.push_back(guarded(form.guard, Condition::of(test)));
                }
            }
        }
        for (const Operand* member : attributes)
            parts.push_back(valuesCompare(CompareOp::Equal, a, typed(*member)));
        return anyOf(parts);
    }

    void writeTyped(const Condition& condition) {
        if (condition.known) {
            sql += *condition.known ? m_dialect.trueCondition() : m_dialect.falseCondition();
            return;
        }
        sql += m_negations ? "((" : "(";
        sql += condition.sql;
        sql += ")";
        if (m_negations) {
            sql += m_dialect.isTrueSuffix();
            sql += ")";
        }
    }

private:
    // Terms [lo, hi) of a chain: directly when they are few, else as at most kGroup groups.
    void writeTerms(const std::vector<Node>& terms, size_t lo, size_t hi, const char* joiner, int depth) {
        deepest = std::max(deepest, depth);
        size_t chunk = 1;
        while (hi - lo > chunk * kGroup) chunk *= kGroup;
        sql += "(";
        for (size_t start = lo; start < hi; start += chunk) {
            if (start > lo) sql += joiner;
            if (chunk == 1)
                write(terms[start], depth + 1);
            else
                writeTerms(terms, start, std::min(hi, start + chunk), joiner, depth + 1);
        }
        sql += ")";
    }

    void operand(const Operand& o) { operandInto(sql, o); }
    void operandInto(std::string& out, const Operand& o) {
        if (o.isAttribute) {
            m_dialect.appendQuotedIdentifier(out, m_entity.attributes[o.slot].name);
            return;
        }
        ++values;
        m_parameters.push_back(o.constant);
        m_dialect.appendPlaceholder(out, m_parameters.size());
    }

    const EntityDescription& m_entity;
    const SqlDialect& m_dialect;
    std::vector<StoredValue>& m_parameters;
    int m_negations = 0;  // NOTs around the part being written
};

// SQLite's comparison of an integer with a real (sqlite3IntFloatCompare without long double):
// exact, so 2^53 + 1 is greater than 2^53 as a real although both convert to the same double.
int compareIntegerWithReal(int64_t i, double r) {
    if (r < -9223372036854775808.0) return 1;
    if (r >= 9223372036854775808.0) return -1;
    auto truncated = static_cast<int64_t>(r);
    if (i != truncated) return i < truncated ? -1 : 1;
    auto converted = static_cast<double>(i);  // exact here: i is r without its fraction
    return converted < r ? -1 : (converted > r ? 1 : 0);
}

// SQLite's ordering of values without column affinity: NULL < numbers < text < blob.
int compareStored(const StoredValue& a, const StoredValue& b) {
    using K = StoredValue::Kind;
    auto rank = [](K k) {
        switch (k) {
            case K::Null:
                return 0;
            case K::Integer:
            case K::Real:
                return 1;
            case K::Text:
                return 2;
            case K::Blob:
                return 3;
            case K::List:
                break;  // parameters only, never compared
        }
        return 0;
    };
    const int ra = rank(a.kind), rb = rank(b.kind);
    if (ra != rb) return ra < rb ? -1 : 1;
    if (ra == 0) return 0;
    if (ra == 1) {
        if (a.kind == K::Integer && b.kind == K::Integer)
            return a.integer < b.integer ? -1 : (a.integer > b.integer ? 1 : 0);
        if (a.kind == K::Real && b.kind == K::Real) return a.real < b.real ? -1 : (a.real > b.real ? 1 : 0);
        if (a.kind == K::Integer) return compareIntegerWithReal(a.integer, b.real);
        return -compareIntegerWithReal(b.integer, a.real);
    }
    int c = a.bytes.compare(b.bytes);
    return c < 0 ? -1 : (c > 0 ? 1 : 0);
}

StoredValue valueOf(const Operand& o, const EntityDescription& entity,
                    const std::vector<platform::Value>& values) {
    if (!o.isAttribute) return o.constant;
    StoredValue stored = storedAttributeValue(entity.attributes[o.slot].type, values[o.slot]);
    if (stored.kind == StoredValue::Kind::Real && std::isnan(stored.real)) return StoredValue::null();
    return stored;
}

// Recursion only follows nesting, which compile() bounds; chains are a loop.
bool evaluate(const Node& node, const EntityDescription& entity, const std::vector<platform::Value>& values) {
    using K = StoredValue::Kind;
    switch (node.kind) {
        case Node::Kind::And:
            for (const auto& term : node.terms)
                if (!evaluate(term, entity, values)) return false;
            return true;
        case Node::Kind::Or:
            for (const auto& term : node.terms)
                if (evaluate(term, entity, values)) return true;
            return false;
        case Node::Kind::Not:
            return !evaluate(node.terms.front(), entity, values);
        case Node::Kind::In: {
            StoredValue a = valueOf(node.a, entity, values);
            if (a.kind == K::Null) return false;
            for (const auto& element : node.list) {
                StoredValue b = valueOf(element, entity, values);
                if (b.kind != K::Null && compareStored(a, b) == 0) return true;
            }
            return false;
        }
        case Node::Kind::Compare: {
            StoredValue a = valueOf(node.a, entity, values);
            StoredValue b = valueOf(node.b, entity, values);
            switch (node.op) {
                case CompareOp::Equal:
                    return compareStored(a, b) == 0;
                case CompareOp::NotEqual:
                    return compareStored(a, b) != 0;
                default:
                    break;
            }
            if (a.kind == K::Null || b.kind == K::Null) return false;
            int c = compareStored(a, b);
            switch (node.op) {
                case CompareOp::Less:
                    return c < 0;
                case CompareOp::Greater:
                    return c > 0;
                case CompareOp::LessEqual:
                    return c <= 0;
                case CompareOp::GreaterEqual:
                    return c >= 0;
                default:
                    return false;
            }
        }
    }
    return false;
}

}  // namespace

platform::Result<Qualifier> Qualifier::compile(const EntityDescription& entity, std::string_view text,
                                               const platform::Dictionary& bindings) {
    return compile(entity, text, bindings, SqliteDialect::shared());
}

platform::Result<Qualifier> Qualifier::compile(const EntityDescription& entity, std::string_view text,
                                               const platform::Dictionary& bindings,
                                               const SqlDialect& dialect) {
    Parser parser(entity, text, bindings);
    auto root = parser.parse();
    if (!root) return root.status();
    Qualifier qualifier;
    qualifier.m_entity = &entity;
    qualifier.m_root = *root;
    qualifier.m_sql = std::string(dialect.trueCondition());
    if (qualifier.m_root) {
        SqlWriter writer(entity, dialect, qualifier.m_parameters);
        writer.write(*qualifier.m_root, 0);
        if (writer.deepest > SqlWriter::kMaxSqlDepth)
            return platform::Status::error(
                fmt::format("qualifier \"{}\" is too complex for the database: its nesting and its long "
                            "AND/OR chains need "
                            "{} levels, at most {} can be run; split it into several qualifiers",
                            shownText(text), writer.deepest, SqlWriter::kMaxSqlDepth));
        if (writer.comparisonsWithValues > kMaxComparisonsWithValues)
            return platform::Status::error(
                fmt::format("qualifier \"{}\" has {} comparisons with a value, at most {} are allowed; put "
                            "the values of one "
                            "attribute into an IN list, or split it into several qualifiers",
                            shownText(text), writer.comparisonsWithValues, kMaxComparisonsWithValues));
        if (writer.values > kMaxValues)
            return platform::Status::error(fmt::format(
                "qualifier \"{}\" has {} values, at most {} can be bound; split it into several qualifiers",
                shownText(text), writer.values, kMaxValues));
        qualifier.m_sql = std::move(writer.sql);
    }
    return qualifier;
}

void Qualifier::bindParameters(Statement& statement) const {
    for (size_t i = 0; i < m_parameters.size(); ++i) statement.bind(int(i) + 1, m_parameters[i]);
}

bool Qualifier::matches(const std::vector<platform::Value>& values) const {
    return !m_root || evaluate(*m_root, *m_entity, values);
}

}  // namespace host

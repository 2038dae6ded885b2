#include "host/database/Qualifier.h"

#include <fmt/format.h>

#include <cctype>
#include <optional>

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
    std::shared_ptr<const Node> left, right;
    Operand a, b;
    std::vector<Operand> list;
};

namespace {

using Node = Qualifier::Node;
using NodePtr = std::shared_ptr<const Node>;

struct Token {
    enum class Kind { Identifier, Variable, Number, Text, Operator, LParen, RParen, LBrace, RBrace, Comma, End };
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

std::string describe(const Token& token) {
    switch (token.kind) {
    case Token::Kind::End: return "the end";
    case Token::Kind::Variable: return "$" + token.text;
    case Token::Kind::Text: return "'" + token.text + "'";
    default: return "'" + token.text + "'";
    }
}

class Parser {
public:
    Parser(const EntityDescription& entity, std::string_view text, const platform::Dictionary& bindings)
        : m_entity(entity), m_text(text), m_bindings(bindings) {}

    platform::Result<NodePtr> parse() {
        if (auto status = tokenize(); !status) return status;
        if (m_tokens.front().kind == Token::Kind::End) return NodePtr{};
        auto node = parseOr();
        if (!node) return node;
        if (peek().kind != Token::Kind::End)
            return fail(peek(), fmt::format("expected AND, OR or the end, found {}", describe(peek())));
        return node;
    }

private:
    platform::Status fail(size_t position, const std::string& what) const {
        return platform::Status::error(fmt::format("qualifier \"{}\" at character {}: {}", m_text, position + 1, what));
    }
    platform::Status fail(const Token& token, const std::string& what) const { return fail(token.position, what); }

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
                    return fail(start, "the number " + digits + " is out of range");
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
                case '!': push(Token::Kind::Operator, start, 1); break;
                case '(': push(Token::Kind::LParen, start, 1); break;
                case ')': push(Token::Kind::RParen, start, 1); break;
                case '{': push(Token::Kind::LBrace, start, 1); break;
                case '}': push(Token::Kind::RBrace, start, 1); break;
                case ',': push(Token::Kind::Comma, start, 1); break;
                default: return fail(start, fmt::format("unexpected character '{}'", c));
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

    platform::Result<NodePtr> parseOr() {
        auto left = parseAnd();
        if (!left) return left;
        while (isKeyword(peek(), "OR") || isOperator(peek(), "||")) {
            take();
            auto right = parseAnd();
            if (!right) return right;
            left = combine(Node::Kind::Or, *left, *right);
        }
        return left;
    }

    platform::Result<NodePtr> parseAnd() {
        auto left = parseNot();
        if (!left) return left;
        while (isKeyword(peek(), "AND") || isOperator(peek(), "&&")) {
            take();
            auto right = parseNot();
            if (!right) return right;
            left = combine(Node::Kind::And, *left, *right);
        }
        return left;
    }

    static NodePtr combine(Node::Kind kind, NodePtr left, NodePtr right) {
        auto node = std::make_shared<Node>();
        node->kind = kind;
        node->left = std::move(left);
        node->right = std::move(right);
        return node;
    }

    platform::Result<NodePtr> parseNot() {
        if (isKeyword(peek(), "NOT") || isOperator(peek(), "!")) {
            take();
            auto inner = parseNot();
            if (!inner) return inner;
            auto node = std::make_shared<Node>();
            node->kind = Node::Kind::Not;
            node->left = *inner;
            return NodePtr(node);
        }
        if (peek().kind == Token::Kind::LParen) {
            take();
            auto inner = parseOr();
            if (!inner) return inner;
            if (peek().kind != Token::Kind::RParen)
                return fail(peek(), fmt::format("expected ')', found {}", describe(peek())));
            take();
            return inner;
        }
        return parseComparison();
    }

    platform::Result<NodePtr> parseComparison() {
        auto a = parseOperand("at the start of a comparison");
        if (!a) return a.status();
        const Token& opToken = peek();
        auto node = std::make_shared<Node>();
        node->a = *a;
        if (isKeyword(opToken, "IN")) {
            take();
            node->kind = Node::Kind::In;
            if (auto status = parseList(*node); !status) return status;
            return NodePtr(node);
        }
        static const std::pair<std::string_view, CompareOp> kOps[] = {
            {"==", CompareOp::Equal},   {"=", CompareOp::Equal},        {"!=", CompareOp::NotEqual},
            {"<>", CompareOp::NotEqual}, {"<", CompareOp::Less},          {">", CompareOp::Greater},
            {"<=", CompareOp::LessEqual}, {">=", CompareOp::GreaterEqual}};
        std::optional<CompareOp> op;
        if (opToken.kind == Token::Kind::Operator)
            for (const auto& [text, value] : kOps)
                if (opToken.text == text) op = value;
        if (!op)
            return fail(opToken, fmt::format("expected a comparison (==, !=, <, >, <=, >= or IN), found {}",
                                             describe(opToken)));
        std::string opText = take().text;
        node->kind = Node::Kind::Compare;
        node->op = *op;
        auto b = parseOperand("after '" + opText + "'");
        if (!b) return b.status();
        node->b = *b;
        return NodePtr(node);
    }

    platform::Status parseList(Node& node) {
        const Token& token = peek();
        if (token.kind == Token::Kind::Variable) {
            take();
            auto value = binding(token);
            if (!value) return value.status();
            if (!value->isArray())
                return fail(token, fmt::format("${} must be an array for IN, not {}", token.text,
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
            return fail(token, fmt::format("no binding for ${} (bindings given: {})", token.text,
                                           given.empty() ? "none" : given));
        }
        return found->second;
    }

    platform::Result<StoredValue> constantFrom(const platform::Value& value, const Token& token) const {
        using T = platform::Value::Type;
        switch (value.type()) {
        case T::Null: return StoredValue::null();
        case T::Boolean: return StoredValue::fromInteger(value.asBool() ? 1 : 0);
        case T::Integer: return StoredValue::fromInteger(value.asInteger());
        case T::Real: return StoredValue::fromReal(value.asReal());
        case T::String: return StoredValue::fromText(value.asString());
        default:
            return fail(token, fmt::format("${} is {}; compare texts, numbers, booleans or nil (arrays only with IN)",
                                           token.text, value.typeName(value.type())));
        }
    }

    platform::Result<Operand> parseOperand(const std::string& where) {
        const Token& token = peek();
        switch (token.kind) {
        case Token::Kind::Number: take(); return Operand{false, 0, token.number};
        case Token::Kind::Text: take(); return Operand{false, 0, StoredValue::fromText(token.text)};
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
            if (isKeyword(token, "nil") || isKeyword(token, "NULL")) return Operand{false, 0, StoredValue::null()};
            if (isKeyword(token, "YES") || isKeyword(token, "TRUE"))
                return Operand{false, 0, StoredValue::fromInteger(1)};
            if (isKeyword(token, "NO") || isKeyword(token, "FALSE"))
                return Operand{false, 0, StoredValue::fromInteger(0)};
            for (auto keyword : {"AND", "OR", "NOT", "IN"})
                if (isKeyword(token, keyword))
                    return fail(token, fmt::format("expected a value {}, found the keyword {}", where, token.text));
            auto slot = m_entity.slot(token.text);
            if (!slot)
                return fail(token, fmt::format("{} has no attribute \"{}\" (it has: {})", m_entity.name, token.text,
                                               m_entity.attributeNames()));
            return Operand{true, *slot, {}};
        }
        default:
            return fail(token, fmt::format("expected a value (attribute, $variable, number, 'text', nil, YES or NO) {}, "
                                           "found {}",
                                           where, describe(token)));
        }
    }

    const EntityDescription& m_entity;
    std::string_view m_text;
    const platform::Dictionary& m_bindings;
    std::vector<Token> m_tokens;
    size_t m_next = 0;
};

std::string quoted(const std::string& identifier) { return "\"" + identifier + "\""; }

class SqlWriter {
public:
    SqlWriter(const EntityDescription& entity, std::vector<StoredValue>& parameters)
        : m_entity(entity), m_parameters(parameters) {}

    std::string operand(const Operand& o) {
        if (o.isAttribute) return quoted(m_entity.attributes[o.slot].name);
        m_parameters.push_back(o.constant);
        return "?";
    }

    std::string write(const Node& node) {
        // Parameters are numbered in the order they are written, so each part is written in its
        // own statement (the operands of + have no evaluation order).
        switch (node.kind) {
        case Node::Kind::And:
        case Node::Kind::Or: {
            std::string left = write(*node.left);
            std::string right = write(*node.right);
            return "(" + left + (node.kind == Node::Kind::And ? " AND " : " OR ") + right + ")";
        }
        case Node::Kind::Not: return "(NOT " + write(*node.left) + ")";
        case Node::Kind::In: {
            if (node.list.empty()) return "0";
            std::string sql = "((" + operand(node.a) + " IN (";
            for (size_t i = 0; i < node.list.size(); ++i) {
                if (i) sql += ", ";
                sql += operand(node.list[i]);
            }
            return sql + ")) IS 1)";
        }
        case Node::Kind::Compare: {
            std::string a = operand(node.a);
            std::string b = operand(node.b);
            switch (node.op) {
            case CompareOp::Equal: return "(" + a + " IS " + b + ")";
            case CompareOp::NotEqual: return "(" + a + " IS NOT " + b + ")";
            case CompareOp::Less: return "((" + a + " < " + b + ") IS 1)";
            case CompareOp::Greater: return "((" + a + " > " + b + ") IS 1)";
            case CompareOp::LessEqual: return "((" + a + " <= " + b + ") IS 1)";
            case CompareOp::GreaterEqual: return "((" + a + " >= " + b + ") IS 1)";
            }
        }
        }
        return "0";
    }

private:
    const EntityDescription& m_entity;
    std::vector<StoredValue>& m_parameters;
};

StoredValue valueOf(const Operand& o, const EntityDescription& entity, const std::vector<platform::Value>& values) {
    if (!o.isAttribute) return o.constant;
    return storedAttributeValue(entity.attributes[o.slot].type, values[o.slot]);
}

bool evaluate(const Node& node, const EntityDescription& entity, const std::vector<platform::Value>& values) {
    using K = StoredValue::Kind;
    switch (node.kind) {
    case Node::Kind::And: return evaluate(*node.left, entity, values) && evaluate(*node.right, entity, values);
    case Node::Kind::Or: return evaluate(*node.left, entity, values) || evaluate(*node.right, entity, values);
    case Node::Kind::Not: return !evaluate(*node.left, entity, values);
    case Node::Kind::In: {
        StoredValue a = valueOf(node.a, entity, values);
        if (a.kind == K::Null) return false;
        for (const auto& element : node.list) {
            StoredValue b = valueOf(element, entity, values);
            if (b.kind != K::Null && StoredValue::compare(a, b) == 0) return true;
        }
        return false;
    }
    case Node::Kind::Compare: {
        StoredValue a = valueOf(node.a, entity, values);
        StoredValue b = valueOf(node.b, entity, values);
        switch (node.op) {
        case CompareOp::Equal: return StoredValue::compare(a, b) == 0;
        case CompareOp::NotEqual: return StoredValue::compare(a, b) != 0;
        default: break;
        }
        if (a.kind == K::Null || b.kind == K::Null) return false;
        int c = StoredValue::compare(a, b);
        switch (node.op) {
        case CompareOp::Less: return c < 0;
        case CompareOp::Greater: return c > 0;
        case CompareOp::LessEqual: return c <= 0;
        case CompareOp::GreaterEqual: return c >= 0;
        default: return false;
        }
    }
    }
    return false;
}

}  // namespace

platform::Result<Qualifier> Qualifier::compile(const EntityDescription& entity, std::string_view text,
                                               const platform::Dictionary& bindings) {
    Parser parser(entity, text, bindings);
    auto root = parser.parse();
    if (!root) return root.status();
    Qualifier qualifier;
    qualifier.m_entity = &entity;
    qualifier.m_root = *root;
    if (qualifier.m_root) {
        SqlWriter writer(entity, qualifier.m_parameters);
        qualifier.m_sql = writer.write(*qualifier.m_root);
    } else {
        qualifier.m_sql = "1";
    }
    return qualifier;
}

void Qualifier::bindParameters(Statement& statement, int firstIndex) const {
    for (size_t i = 0; i < m_parameters.size(); ++i) statement.bind(firstIndex + int(i), m_parameters[i]);
}

bool Qualifier::matches(const std::vector<platform::Value>& values) const {
    return !m_root || evaluate(*m_root, *m_entity, values);
}

}  // namespace host

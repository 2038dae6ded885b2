#include "host/database/model/QualifierParser.h"

#include <fmt/format.h>

#include <cctype>
#include <cmath>
#include <optional>

#include "platform/foundation/UTF8.h"

namespace host {

namespace {

using Node = Qualifier::Node;
using CompareOp = Node::CompareOp;
using Operand = Node::Operand;

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

// SQLite stores a NaN as NULL; in memory it must count as no value as well.
StoredValue storedReal(double d) {
    return std::isnan(d) ? StoredValue::null() : StoredValue::fromReal(d);
}

}  // namespace

QualifierParser::QualifierParser(const EntityDescription& entity, std::string_view text,
                                 const platform::Dictionary& bindings)
    : m_entity(entity), m_text(text), m_bindings(bindings) {}

std::string QualifierParser::shownText(std::string_view text) {
    constexpr size_t kShown = 100;
    if (text.size() <= kShown + 20) return std::string(text);
    return fmt::format("{}... ({} bytes)", platform::UTF8::truncated(text, kShown), text.size());
}

// fmt rather than "'" + text: g++ 12 at -O2 takes that operator+ for overlapping copies
// (a false -Wrestrict).
std::string QualifierParser::describe(const Token& token) {
    switch (token.kind) {
        case Token::Kind::End:
            return "the end";
        case Token::Kind::Variable:
            return fmt::format("${}", shownText(token.text));
        default:
            return fmt::format("'{}'", shownText(token.text));
    }
}

platform::Result<QualifierParser::NodePtr> QualifierParser::parse() {
    if (auto status = tokenize(); !status) return status;
    if (m_tokens.front().kind == Token::Kind::End) return NodePtr{};
    auto node = parseOr();
    if (!node) return node.status();
    if (peek().kind != Token::Kind::End)
        return fail(peek(), fmt::format("expected AND, OR or the end, found {}", describe(peek())));
    return NodePtr(std::make_shared<const Node>(std::move(*node)));
}

platform::Status QualifierParser::fail(size_t position, const std::string& what) const {
    return platform::Status::error(
        fmt::format("qualifier \"{}\" at character {}: {}", shownText(m_text), position + 1, what));
}

platform::Status QualifierParser::fail(const Token& token, const std::string& what) const {
    return fail(token.position, what);
}

platform::Status QualifierParser::tokenize() {
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

const QualifierParser::Token& QualifierParser::peek() const {
    return m_tokens[m_next];
}

const QualifierParser::Token& QualifierParser::take() {
    return m_tokens[m_next++];
}

bool QualifierParser::isKeyword(const Token& token, std::string_view word) const {
    return token.kind == Token::Kind::Identifier && equalsIgnoringCase(token.text, word);
}

bool QualifierParser::isOperator(const Token& token, std::string_view op) const {
    return token.kind == Token::Kind::Operator && token.text == op;
}

platform::Result<Node> QualifierParser::parseOr() {
    return parseChain(Node::Kind::Or);
}

platform::Result<Node> QualifierParser::parseAnd() {
    return parseChain(Node::Kind::And);
}

// One AND or OR chain, however long, as one node; a parenthesised chain of the same kind
// joins it, so "a AND (b AND c)" is as flat as "a AND b AND c".
platform::Result<Node> QualifierParser::parseChain(Node::Kind kind) {
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

platform::Status QualifierParser::tooDeep(const Token& token) const {
    return fail(token,
                fmt::format("nested more than {} levels deep (each parenthesis and each NOT is a level); "
                            "write the condition with fewer levels",
                            Qualifier::kMaxNesting));
}

platform::Result<Node> QualifierParser::parseNot() {
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

platform::Result<Node> QualifierParser::parseComparison() {
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

platform::Status QualifierParser::parseList(Node& node) {
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

platform::Result<platform::Value> QualifierParser::binding(const Token& token) const {
    auto found = m_bindings.find(token.text);
    if (found == m_bindings.end()) {
        std::string given;
        for (const auto& [name, value] : m_bindings) given += (given.empty() ? "" : ", ") + name;
        return fail(token, fmt::format("no binding for ${} (bindings given: {})", shownText(token.text),
                                       given.empty() ? "none" : given));
    }
    return found->second;
}

platform::Result<StoredValue> QualifierParser::constantFrom(const platform::Value& value,
                                                            const Token& token) const {
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
                token, fmt::format("${} is {}; compare texts, numbers, booleans or nil (arrays only with IN)",
                                   shownText(token.text), value.typeName(value.type())));
    }
}

platform::Result<Operand> QualifierParser::parseOperand(const std::string& where) {
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
                    return fail(token,
                                fmt::format("expected a value {}, found the keyword {}", where, token.text));
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

}  // namespace host

#pragma once

// QualifierParser: the qualifier language's reader (see Qualifier.h for the language). It turns
// one text into the tree that the SQL writer and the in-memory evaluator share, resolving
// attributes against the entity and $variables against the bindings as it reads, and refuses
// text nested deeper than Qualifier::kMaxNesting.

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "host/database/model/EntityDescription.h"
#include "host/database/model/QualifierNode.h"
#include "platform/foundation/Status.h"
#include "platform/foundation/Value.h"

namespace host {

class QualifierParser {
public:
    using NodePtr = std::shared_ptr<const Qualifier::Node>;

    QualifierParser(const EntityDescription& entity, std::string_view text,
                    const platform::Dictionary& bindings);

    // No node for an empty qualifier.
    platform::Result<NodePtr> parse();

    // A long qualifier is shown by its start in messages, so an error stays readable (and small).
    static std::string shownText(std::string_view text);

private:
    using Node = Qualifier::Node;
    using Operand = Node::Operand;

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

    static std::string describe(const Token& token);

    platform::Status fail(size_t position, const std::string& what) const;
    platform::Status fail(const Token& token, const std::string& what) const;
    platform::Status tokenize();

    const Token& peek() const;
    const Token& take();
    bool isKeyword(const Token& token, std::string_view word) const;
    bool isOperator(const Token& token, std::string_view op) const;

    platform::Result<Node> parseOr();
    platform::Result<Node> parseAnd();
    platform::Result<Node> parseChain(Node::Kind kind);
    platform::Status tooDeep(const Token& token) const;
    platform::Result<Node> parseNot();
    platform::Result<Node> parseComparison();
    platform::Status parseList(Node& node);
    platform::Result<platform::Value> binding(const Token& token) const;
    platform::Result<StoredValue> constantFrom(const platform::Value& value, const Token& token) const;
    platform::Result<Operand> parseOperand(const std::string& where);

    const EntityDescription& m_entity;
    std::string_view m_text;
    const platform::Dictionary& m_bindings;
    std::vector<Token> m_tokens;
    size_t m_next = 0;
    int m_depth = 0;
};

}  // namespace host

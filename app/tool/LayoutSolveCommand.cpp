// layout-solve: shows how constraint systems resolve. Reads JSON lines, one system per line,
// solves each on the layout engine and writes one JSON line per system: the solution, then the
// solution after the listed constraints were removed from the same solver.
//
//   zandrel-tool layout-solve [--max-views N] [--max-constraints N] [--max-cells N] [--max-work N]
//                             [--max-bytes N] [FILE|-]

#include <fcntl.h>
#include <fmt/format.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstring>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "app/tool/ToolCommand.h"
#include "app/tool/ToolIO.h"
#include "platform/foundation/JsonReader.h"
#include "platform/foundation/JsonWriter.h"
#include "platform/ui/layout/LayoutEngine.h"
#include "platform/ui/layout/LayoutError.h"

namespace {

using platform::Value;

constexpr int kSomeSystemsFailed = 1;
constexpr int kInputOrOutputFailed = 2;

struct Limits {
    size_t views = 10000;
    size_t constraints = 50000;
    size_t cells = 16000000;  // about 0.5 GB at the peak, journal included
    uint64_t work = 4000000000;
    uint64_t bytes = ToolIO::kDefaultMaxInputBytes;
};

// A system the line describes but that cannot be solved as given; the message says why.
struct LineError {
    std::string message;
};

const Value& member(const Value& object, std::string_view key, std::string_view where) {
    const Value* v = object.find(key);
    if (!v) throw LineError{fmt::format("{} has no \"{}\"", where, key)};
    return *v;
}

std::string constraintKey(const Value& id) {
    return platform::JsonWriter::text(id);
}

double numberOr(const Value& object, std::string_view key, double fallback, std::string_view where) {
    const Value* v = object.find(key);
    if (!v || v->isNull()) return fallback;
    if (!v->isNumber()) throw LineError{fmt::format("{}: \"{}\" must be a number", where, key)};
    return v->asReal();
}

platform::LayoutRelation relationNamed(const Value& v, std::string_view where) {
    if (v.isString()) {
        if (v.asString() == "==") return platform::LayoutRelation::Equal;
        if (v.asString() == "<=") return platform::LayoutRelation::LessOrEqual;
        if (v.asString() == ">=") return platform::LayoutRelation::GreaterOrEqual;
    }
    throw LineError{fmt::format("{}: \"relation\" must be \"==\", \"<=\" or \">=\"", where)};
}

platform::LayoutAttribute attributeNamed(const Value& v, std::string_view key, std::string_view where) {
    if (v.isString())
        if (auto a = platform::LayoutItem::attributeNamed(v.asString())) return *a;
    throw LineError{
        fmt::format("{}: \"{}\" must be one of left, right, top, bottom, leading, trailing, width, "
                    "height, centerX, centerY",
                    where, key)};
}

class SystemSolver {
public:
    SystemSolver(const Value& system, const Limits& limits) : m_limits(limits) {
        if (!system.isDictionary()) throw LineError{"the line is not a JSON object"};
        m_id = member(system, "id", "the system");
        buildViews(member(system, "views", "the system"));
        m_engine.solver().setCellLimit(limits.cells);
        m_engine.solver().setWorkLimit(limits.work);
        addConstraints(member(system, "constraints", "the system"));
        m_engine.solve();
        m_values = values();
        if (const Value* remove = system.find("remove_after_solve"); remove && !remove->isNull()) {
            if (!remove->isArray())
                throw LineError{"\"remove_after_solve\" must be an array of constraint ids"};
            for (const Value& id : remove->asArray()) {
                auto it = m_constraints.find(constraintKey(id));
                if (it == m_constraints.end())
                    throw LineError{
                        fmt::format("\"remove_after_solve\" names constraint {}, which the system "
                                    "does not have",
                                    constraintKey(id))};
                if (!it->second)
                    throw LineError{
                        fmt::format("\"remove_after_solve\" names constraint {} twice", constraintKey(id))};
                m_engine.removeConstraint(*it->second);
                it->second.reset();
            }
        }
        m_engine.solve();
    }

    Value result() const {
        platform::Dictionary after;
        after["values"] = values();
        platform::Dictionary line;
        line["id"] = m_id;
        line["values"] = m_values;
        line["after_remove"] = Value(std::move(after));
        return Value(std::move(line));
    }

private:
    void buildViews(const Value& views) {
        if (!views.isArray()) throw LineError{"\"views\" must be an array of view names"};
        if (views.asArray().size() > m_limits.views)
            throw LineError{fmt::format("the system has {} views, more than the limit of {} (--max-views)",
                                        views.asArray().size(), m_limits.views)};
        for (const Value& name : views.asArray()) {
            if (!name.isString()) throw LineError{"\"views\" must hold texts (view names)"};
            if (m_byName.count(name.asString()))
                throw LineError{fmt::format("view \"{}\" is listed twice", name.asString())};
            m_items.push_back(std::make_unique<platform::LayoutItem>(name.asString()));
            m_byName.emplace(name.asString(), m_items.back().get());
        }
    }

    const platform::LayoutItem& view(const Value& name, std::string_view key, std::string_view where) const {
        if (name.isString())
            if (auto it = m_byName.find(name.asString()); it != m_byName.end()) return *it->second;
        throw LineError{fmt::format("{}: \"{}\" must name a view of \"views\"", where, key)};
    }

    void addConstraints(const Value& constraints) {
        if (!constraints.isArray()) throw LineError{"\"constraints\" must be an array"};
        if (constraints.asArray().size() > m_limits.constraints)
            throw LineError{
                fmt::format("the system has {} constraints, more than the limit of {} (--max-constraints)",
                            constraints.asArray().size(), m_limits.constraints)};
        size_t index = 0;
        for (const Value& c : constraints.asArray()) {
            std::string where = fmt::format("constraint {}", index++);
            if (!c.isDictionary()) throw LineError{where + " is not a JSON object"};
            const std::string key = constraintKey(member(c, "id", where));
            where = "constraint " + key;
            if (m_constraints.count(key)) throw LineError{fmt::format("{} appears twice", where)};
            const platform::LayoutItem& item1 = view(member(c, "item1", where), "item1", where);
            const platform::LayoutAttribute attr1 = attributeNamed(member(c, "attr1", where), "attr1", where);
            const platform::LayoutRelation relation = relationNamed(member(c, "relation", where), where);
            const platform::LayoutItem* item2 = nullptr;
            platform::LayoutAttribute attr2 = attr1;
            if (const Value* second = c.find("item2"); second && !second->isNull()) {
                item2 = &view(*second, "item2", where);
                attr2 = attributeNamed(member(c, "attr2", where), "attr2", where);
            }
            const double multiplier = numberOr(c, "multiplier", 1.0, where);
            const double constant = numberOr(c, "constant", 0.0, where);
            const double strength = numberOr(c, "strength", platform::LayoutConstraint::kRequired, where);
            try {
                m_constraints.emplace(
                    key, m_engine.addConstraintWithStrength(item1, attr1, relation, item2, attr2, multiplier,
                                                            constant, strength));
            } catch (const platform::LayoutError& e) {
                throw LineError{fmt::format("{}: {}", where, e.what())};
            }
        }
    }

    // The solved edges. One that is not a finite number (finite numbers whose sums overflow)
    // would print as null: the line is refused instead, naming it.
    Value values() const {
        platform::Dictionary::Entries entries;
        entries.reserve(m_items.size() * 4);
        for (const auto& item : m_items) {
            const std::pair<const char*, const platform::LayoutVariable*> edges[] = {
                {".left", &item->left()},
                {".right", &item->right()},
                {".top", &item->top()},
                {".bottom", &item->bottom()}};
            for (const auto& [suffix, variable] : edges) {
                if (!std::isfinite(variable->value()))
                    throw LineError{fmt::format(
                        "the solution of {}{} is not a finite number: the system's numbers are too large "
                        "to solve",
                        item->name(), suffix)};
                entries.emplace_back(item->name() + suffix, variable->value());
            }
        }
        return Value(platform::Dictionary(std::move(entries)));
    }

    const Limits& m_limits;
    Value m_id;
    Value m_values;
    platform::LayoutEngine m_engine;
    std::vector<std::unique_ptr<platform::LayoutItem>> m_items;
    std::unordered_map<std::string, const platform::LayoutItem*> m_byName;
    // Constraint id (as JSON text) -> the constraint while it is in the solver.
    std::unordered_map<std::string, std::optional<platform::LayoutConstraint>> m_constraints;
};

// Counts the views and constraints of a line while it is read, before any of it is built: a
// line far beyond the limits is refused in the memory of the line itself, not of its tree.
class SystemCounter : public nlohmann::json_sax<nlohmann::json> {
public:
    explicit SystemCounter(const Limits& limits) : m_limits(limits) {}

    std::optional<std::string> refusal;

    bool null() override { return value(); }
    bool boolean(bool) override { return value(); }
    bool number_integer(number_integer_t) override { return value(); }
    bool number_unsigned(number_unsigned_t) override { return value(); }
    bool number_float(number_float_t, const string_t&) override { return value(); }
    bool string(string_t&) override { return value(); }
    bool binary(binary_t&) override { return value(); }
    bool start_object(std::size_t) override {
        const bool ok = value();
        ++m_depth;
        return ok;
    }
    bool end_object() override {
        --m_depth;
        return true;
    }
    bool start_array(std::size_t) override {
        const bool ok = value();
        if (m_depth == 1) m_array = m_key;
        ++m_depth;
        return ok;
    }
    bool end_array() override {
        if (--m_depth == 1) m_array.clear();
        return true;
    }
    bool key(string_t& key) override {
        if (m_depth == 1) m_key = key;
        return true;
    }
    bool parse_error(std::size_t, const std::string&, const nlohmann::detail::exception&) override {
        return false;  // the full reader reports it, in its words
    }

private:
    // A value in the array of the top object's "views" or "constraints" is one more of them.
    bool value() {
        if (m_depth != 2) return true;
        if (m_array == "views" && ++m_views > m_limits.views)
            refusal =
                fmt::format("the system has more than {} views, the limit (--max-views)", m_limits.views);
        if (m_array == "constraints" && ++m_constraints > m_limits.constraints)
            refusal = fmt::format("the system has more than {} constraints, the limit (--max-constraints)",
                                  m_limits.constraints);
        return !refusal;
    }

    const Limits& m_limits;
    int m_depth = 0;
    std::string m_key, m_array;
    size_t m_views = 0, m_constraints = 0;
};

// The lines of a file or of standard input, one at a time, so only the line being solved is
// held; the input as a whole is bounded by --max-bytes.
class LineSource {
public:
    LineSource(const std::string& source, uint64_t maxBytes) : m_source(source), m_maxBytes(maxBytes) {
        m_fd = source == "-" ? STDIN_FILENO : ::open(source.c_str(), O_RDONLY | O_CLOEXEC);
        if (m_fd < 0)
            m_error = fmt::format("cannot read {}: {}", ToolIO::sourceName(source), std::strerror(errno));
    }
    ~LineSource() {
        if (m_fd > STDIN_FILENO) ::close(m_fd);
    }
    LineSource(const LineSource&) = delete;
    LineSource& operator=(const LineSource&) = delete;

    // The next line (without its line end) into `line`; false at the end or on an error (then
    // error() says what).
    bool next(std::string& line) {
        line.clear();
        for (;;) {
            if (m_at < m_buffer.size()) {
                const size_t end = m_buffer.find('\n', m_at);
                const size_t stop = end == std::string::npos ? m_buffer.size() : end;
                line.append(m_buffer, m_at, stop - m_at);
                m_at = stop;
                if (end != std::string::npos) {
                    ++m_at;
                    return true;
                }
            }
            if (!m_error.empty() || m_ended) return !line.empty() && m_error.empty();
            if (!fill()) return !line.empty() && m_error.empty();
        }
    }
    const std::string& error() const { return m_error; }

private:
    bool fill() {
        m_buffer.resize(1 << 16);
        m_at = 0;
        for (;;) {
            const ssize_t n = m_fd < 0 ? -1 : ::read(m_fd, m_buffer.data(), m_buffer.size());
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) {
                if (m_error.empty())
                    m_error =
                        fmt::format("cannot read {}: {}", ToolIO::sourceName(m_source), std::strerror(errno));
                m_buffer.clear();
                return false;
            }
            m_buffer.resize(static_cast<size_t>(n));
            if (n == 0) {
                m_ended = true;
                return false;
            }
            m_total += static_cast<uint64_t>(n);
            if (m_total > m_maxBytes) {
                m_error =
                    fmt::format("{} is larger than {} bytes; give --max-bytes with a larger limit to read it",
                                ToolIO::sourceName(m_source), m_maxBytes);
                m_buffer.clear();
                return false;
            }
            return true;
        }
    }

    std::string m_source;
    uint64_t m_maxBytes;
    int m_fd = -1;
    std::string m_buffer;
    size_t m_at = 0;
    uint64_t m_total = 0;
    bool m_ended = false;
    std::string m_error;
};

int run(const std::string& source, const Limits& limits) {
    LineSource lines(source, limits.bytes);
    int status = 0;
    size_t lineNumber = 0;
    std::string line;
    while (lines.next(line)) {
        ++lineNumber;
        if (line.find_first_not_of(" \t\r") == std::string::npos) continue;
        std::string out;
        try {
            SystemCounter counter(limits);
            if (!nlohmann::json::sax_parse(line, &counter) && counter.refusal)
                throw LineError{*counter.refusal};
            Value system;
            try {
                system = platform::JsonReader::parse(line);
            } catch (const platform::JsonError& e) {
                throw LineError{fmt::format("not JSON at column {}: {}", e.column(), e.what())};
            }
            line = std::string();  // the tree holds what is needed
            out = platform::JsonWriter::text(SystemSolver(system, limits).result()) + "\n";
        } catch (const LineError& e) {
            // Through ToolIO, which escapes what the input put in the message (view names, ids).
            status = ToolIO::fail("layout-solve", source, fmt::format("line {}: {}", lineNumber, e.message),
                                  kSomeSystemsFailed);
            continue;
        } catch (const platform::LayoutError& e) {
            status = ToolIO::fail("layout-solve", source, fmt::format("line {}: {}", lineNumber, e.what()),
                                  kSomeSystemsFailed);
            continue;
        }
        if (!ToolIO::writeOutput(out))
            return ToolIO::fail("layout-solve", "",
                                fmt::format("cannot write the output: {}", std::strerror(errno)),
                                kInputOrOutputFailed);
    }
    if (!lines.error().empty()) return ToolIO::fail("layout-solve", "", lines.error(), kInputOrOutputFailed);
    return status;
}

ToolCommand::Registrar layoutSolve{
    "layout-solve", "Solve layout constraint systems given as JSON lines",
    [](CLI::App& command) -> ToolCommand::Run {
        auto source = std::make_shared<std::string>("-");
        auto limits = std::make_shared<Limits>();
        command.add_option("source", *source, "JSON lines file, or - for standard input (the default)");
        command.add_option("--max-views", limits->views, "Refuse a system with more views than this")
            ->capture_default_str();
        command
            .add_option("--max-constraints", limits->constraints,
                        "Refuse a system with more constraints than this")
            ->capture_default_str();
        command
            .add_option("--max-cells", limits->cells,
                        "Refuse a system whose solver tableau would hold more cells than this (memory bound)")
            ->capture_default_str();
        command
            .add_option("--max-work", limits->work,
                        "Refuse a system whose solving takes more than this many tableau cell operations "
                        "(a bound on time: roughly a second per 10^9)")
            ->capture_default_str();
        command.add_option("--max-bytes", limits->bytes, "Refuse input larger than this many bytes")
            ->capture_default_str()
            ->check(ToolIO::checkByteCount);
        command.footer(
            "Each line: {\"id\": ..., \"views\": [\"root\", \"v0\", ...], \"constraints\": [{\"id\", "
            "\"item1\", "
            "\"attr1\", \"relation\": \"==|<=|>=\", \"item2\" (null: a constant), \"attr2\", \"multiplier\" "
            "(1), "
            "\"constant\" (0), \"strength\" (1001001000 or more: required, the default)}], "
            "\"remove_after_solve\": [constraint ids]}.\n"
            "Attributes: left right top bottom leading trailing width height centerX centerY; every view has "
            "the "
            "variables left, right, top and bottom (top and bottom grow downward).\n"
            "Output, one line per system: {\"after_remove\": {\"values\": {...}}, \"id\": ..., \"values\": "
            "{\"v0.bottom\": ..., \"v0.left\": ..., ...}}.\n"
            "A line that is not a valid system (or holds an unsatisfiable required constraint) is reported "
            "on "
            "standard error with its line number; the next lines are still solved.\n"
            "\n" +
            ToolCommand::exitStatuses({{0, "every system solved"},
                                       {1, "some lines were refused"},
                                       {2,
                                        "the input cannot be read (or is larger than --max-bytes) or the "
                                        "output cannot be written"}}));
        return [source, limits]() -> int { return run(*source, *limits); };
    }};

}  // namespace

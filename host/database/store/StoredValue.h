#pragma once

// StoredValue: a value as a store keeps it -- what a column holds and what qualifiers compare.
// The kinds follow SQLite's storage classes; other stores map their column types onto them.
// List exists only as a qualifier parameter (an IN list a dialect binds as one array) and is
// never a column value.

#include <cstdint>
#include <string>
#include <vector>

namespace host {

struct StoredValue {
    enum class Kind { Null, Integer, Real, Text, Blob, List };
    Kind kind = Kind::Null;
    int64_t integer = 0;
    double real = 0;
    std::string bytes;              // text or blob
    std::vector<StoredValue> list;  // List only

    static StoredValue null() { return {}; }
    static StoredValue fromInteger(int64_t i) { return {Kind::Integer, i, 0, {}, {}}; }
    static StoredValue fromReal(double d) { return {Kind::Real, 0, d, {}, {}}; }
    static StoredValue fromText(std::string s) { return {Kind::Text, 0, 0, std::move(s), {}}; }
    static StoredValue fromBlob(std::string s) { return {Kind::Blob, 0, 0, std::move(s), {}}; }
    static StoredValue fromList(std::vector<StoredValue> values) {
        return {Kind::List, 0, 0, {}, std::move(values)};
    }
};

}  // namespace host

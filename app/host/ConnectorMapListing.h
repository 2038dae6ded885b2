#pragma once

// ConnectorMapListing: what `zandrel-host connector-maps` prints of the connector-map records,
// in stored key order. As JSON (the form for scripts) an array of objects with the keys
// "foreignAppName", "foreignEntityType", "foreignID", "contactID" and "json" in that order: texts
// as strings, the contact as a number, "json" the JSON text the record keeps (its foreignDatabase
// attribute) as a string, exactly as stored; null wherever the record has no value. As a table,
// one line per record with texts shown escaped (platform::DisplayText), cut to a terminal's width.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

class ConnectorMapListing {
public:
    struct Record {
        std::optional<std::string> foreignAppName;
        std::optional<std::string> foreignEntityType;
        std::optional<std::string> foreignID;
        std::optional<int64_t> contactID;
        std::optional<std::string> json;
    };

    // Indented by two; bytes that are not UTF-8 become U+FFFD (JSON cannot carry them).
    static std::string renderJson(const std::vector<Record>& records);
    // Each line ends in "\n". width 0: no limit.
    static std::string renderTable(const std::vector<Record>& records, size_t width);
};

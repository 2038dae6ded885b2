#pragma once

// The reference reader: expat without namespace processing. Every document the fast reader does
// not take is read here, and the error it reports is the one callers see. Documents that declare
// entities are refused (that is where entity-expansion attacks live); parameter entities and
// external DTD subsets are never read. expat's own tables decide which names and characters a
// document may use.

#include <optional>
#include <string_view>

#include "platform/foundation/Value.h"

struct KOPAXMLParseError;
struct KOPAXMLReadOptions;

class KOPAXMLExpatReader {
public:
    // The tree built before the reader stopped, or nothing when no element started. When the
    // reader stopped early *error (when given) says where and why; otherwise it is left alone.
    static std::optional<platform::Value> read(const KOPAXMLReadOptions& options, std::string_view bytes,
                                               KOPAXMLParseError* error);
};

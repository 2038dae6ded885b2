#pragma once

// The fast reader: libxml2's SAX reader without namespace processing (names as written,
// attributes as name/value pairs), which reads well-formed UTF-8 documents markedly faster than
// expat. It must give expat's answer or none: it takes only documents it reads exactly as expat
// does and declines the rest, which expat then reads.
//
// Declined before reading, by one cheap scan of the bytes: documents not in UTF-8, documents
// holding a NUL byte (libxml2 would take it as the end of the input), and documents where one
// start tag may carry very many attributes (libxml2's duplicate-attribute check is quadratic).
// Declined while reading: any warning or non-fatal error, any document type declaration, and documents
// with very many distinct names (libxml2's name dictionary slows down quadratically). Names follow
// the same (XML 1.0 fourth edition) rules as expat's, and predefined entities and character
// references in attribute values are decoded to their characters, as expat does.

#include <optional>
#include <string_view>

#include "platform/foundation/Value.h"

struct KOPAXMLReadOptions;

class KOPAXMLLibxml2Reader {
public:
    enum class Verdict {
        Accepted,  // *root holds the tree
        Refused,   // the document is malformed
        Declined,  // the document is left to expat
    };

    static Verdict read(const KOPAXMLReadOptions& options, std::string_view bytes,
                        std::optional<platform::Value>& root);

    // The scan done before reading: false when the document is not for this reader.
    static bool suits(std::string_view bytes);

    // Limits behind the declines, exposed so tests can go just past them.
    static constexpr size_t kMaxAttributesPerTag = 256;
    static constexpr size_t kMaxDistinctNames = 8192;
};

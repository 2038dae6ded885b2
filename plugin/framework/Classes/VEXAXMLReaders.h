#pragma once

// Internal: reading a document with a named reader, for the parser itself, the tests that
// compare the readers, and the fuzz targets. Callers outside the framework use
// KOPAXMLDictionaryParser.

#include <optional>
#include <string_view>

#include "platform/foundation/Value.h"
#include "plugin/framework/Classes/VEXAXMLDictionary.h"
#include "plugin/framework/Classes/VEXAXMLTreeBuilder.h"

class KOPAXMLReaders {
public:
    enum class Reader {
        Automatic,  // the fast reader when it takes the document, otherwise expat: what the parser uses
        Expat,
        Libxml2,
    };
    enum class Verdict {
        Accepted,
        Refused,   // malformed: root holds the partial tree (expat), error says why (expat)
        Declined,  // libxml2 only: left to expat
    };
    struct Outcome {
        Verdict verdict = Verdict::Declined;
        std::optional<platform::Value> root;
        KOPAXMLParseError error;  // set when refused by expat (or Automatic)
    };

    static Outcome read(Reader reader, const KOPAXMLReadOptions& options, std::string_view bytes);
    static KOPAXMLReadOptions optionsOf(const KOPAXMLDictionaryParser& parser);
};

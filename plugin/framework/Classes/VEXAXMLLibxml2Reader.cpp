#include "plugin/framework/Classes/VEXAXMLLibxml2Reader.h"

#include <libxml/parser.h>
#include <libxml/parserInternals.h>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include <algorithm>
#include <bit>
#include <cctype>
#include <climits>
#include <cstring>
#include <memory>

#include "plugin/framework/Classes/VEXAXMLTreeBuilder.h"

using platform::Value;

namespace {

struct Handlers {
    // libxml2 keeps one copy of each element and attribute name in its dictionary for the whole
    // parse, so such a name's address identifies it: lengths are remembered instead of measured
    // at every use. Only names the dictionary owns are remembered.
    struct NameLengths {
        static constexpr size_t kSlots = 256;
        xmlDictPtr dictionary = nullptr;
        const char* names[kSlots] = {};
        size_t lengths[kSlots] = {};
        size_t operator()(const char* name) {
            const auto address = reinterpret_cast<uintptr_t>(name);
            const size_t slot = (address ^ (address >> 8)) % kSlots;
            if (names[slot] == name) return lengths[slot];
            const size_t length = std::strlen(name);
            if (dictionary && xmlDictOwns(dictionary, reinterpret_cast<const xmlChar*>(name)) == 1) {
                names[slot] = name;
                lengths[slot] = length;
            }
            return length;
        }
    };

    KOPAXMLTreeBuilder builder;
    NameLengths nameLengths;
    xmlParserCtxtPtr context = nullptr;
    bool declined = false;
    bool refused = false;
    size_t elements = 0;

    void stop(bool malformed) {
        (malformed ? refused : declined) = true;
        xmlStopParser(context);
    }

    static Handlers& of(void* self) { return *static_cast<Handlers*>(self); }
    static const char* text(const xmlChar* s) { return reinterpret_cast<const char*>(s); }

    static void onStart(void* self, const xmlChar* name, const xmlChar** atts) {
        Handlers& handlers = of(self);
        // Every sixteenth element is enough: an element adds at most a few hundred names (the
        // scan bounds its attributes), far below where the dictionary slows down.
        if ((++handlers.elements & 15) == 0 && static_cast<size_t>(xmlDictSize(handlers.context->dict)) >
                                                   KOPAXMLLibxml2Reader::kMaxDistinctNames) {
            handlers.stop(false);
            return;
        }
        handlers.builder.startElement(text(name), reinterpret_cast<const char* const*>(atts),
                                      handlers.nameLengths);
    }
    static void onEnd(void* self, const xmlChar*) {
        if (!of(self).declined) of(self).builder.endElement();
    }
    static void onCharacters(void* self, const xmlChar* s, int len) {
        of(self).builder.characters(text(s), static_cast<size_t>(len));
    }
    static void onComment(void* self, const xmlChar* value) { of(self).builder.comment(text(value)); }
    // A document type declaration leaves the document to expat: undeclared parameter entities,
    // external subsets and attribute defaults are judged differently by the two readers, and
    // data documents seldom carry one.
    static void onDoctype(void* self, const xmlChar*, const xmlChar*, const xmlChar*) {
        of(self).stop(false);
    }
    static void onEntityDeclaration(void* self, const xmlChar*, int, const xmlChar*, const xmlChar*,
                                    xmlChar*) {
        of(self).stop(false);
    }
    // expat fills in attribute defaults declared in the internal subset; this reader would not.
    static void onAttributeDeclaration(void* self, const xmlChar*, const xmlChar*, int, int, const xmlChar*,
                                       xmlEnumerationPtr tree) {
        if (tree) xmlFreeEnumeration(tree);  // the handler owns it
        of(self).stop(false);
    }
    // Errors of every level arrive here; the level is in the context's last error by then. Fatal
    // ones are malformed documents; the others are libxml2's namespace and validity complaints (a
    // colon in a processing instruction's target), which expat does not share.
    static void onWarning(void* self, const char*, ...) { of(self).stop(false); }
    static void onError(void* self, const char*, ...) {
        Handlers& handlers = of(self);
        handlers.stop(handlers.context->lastError.level == XML_ERR_FATAL);
    }
};

// The document is UTF-8 XML 1.0: no declaration of another encoding or version (libxml2 and
// expat judge those differently), no UTF-16 byte order mark.
bool declaresUTF8(std::string_view bytes) {
    if (bytes.substr(0, 3) == "\xEF\xBB\xBF") bytes.remove_prefix(3);
    // White space may precede the document element when there is no declaration.
    const size_t start = bytes.find_first_not_of(" \t\r\n");
    if (start == std::string_view::npos || bytes[start] != '<') return false;
    if (bytes.substr(start, 5) != "<?xml") return true;
    if (start != 0) return false;
    const std::string_view declaration = bytes.substr(0, bytes.find("?>"));
    if (declaration.find("version=\"1.0\"") == std::string_view::npos &&
        declaration.find("version='1.0'") == std::string_view::npos)
        return false;
    const size_t at = declaration.find("encoding");
    if (at == std::string_view::npos) return true;
    const size_t open = declaration.find_first_of("\"'", at);
    if (open == std::string_view::npos) return false;
    const size_t close = declaration.find(declaration[open], open + 1);
    if (close == std::string_view::npos) return false;
    const std::string_view name = declaration.substr(open + 1, close - open - 1);
    return name.size() == 5 && std::equal(name.begin(), name.end(), "utf-8", [](char a, char b) {
               return std::tolower(static_cast<unsigned char>(a)) == b;
           });
}

}  // namespace

namespace {

struct BlockCounts {
    unsigned equals = 0;
    bool open = false;  // holds a '<'
    bool nul = false;
};

constexpr size_t kBlock = 64;

BlockCounts countBytes(const unsigned char* p, size_t length) {
    BlockCounts counts;
    for (size_t i = 0; i < length; ++i) {
        counts.equals += p[i] == '=';
        counts.open |= p[i] == '<';
        counts.nul |= p[i] == 0;
    }
    return counts;
}

// One full block: sixteen bytes per comparison where the processor has them.
BlockCounts countBlock(const unsigned char* p) {
#if defined(__SSE2__)
    const __m128i equalsSign = _mm_set1_epi8('=');
    const __m128i openSign = _mm_set1_epi8('<');
    const __m128i zero = _mm_setzero_si128();
    uint64_t equals = 0, opens = 0, nuls = 0;
    for (unsigned k = 0; k < kBlock / 16; ++k) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16 * k));
        const unsigned shift = 16 * k;
        equals |=
            static_cast<uint64_t>(static_cast<uint16_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(v, equalsSign))))
            << shift;
        opens |= static_cast<uint64_t>(static_cast<uint16_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(v, openSign))))
                 << shift;
        nuls |= static_cast<uint64_t>(static_cast<uint16_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(v, zero))))
                << shift;
    }
    return BlockCounts{static_cast<unsigned>(std::popcount(equals)), opens != 0, nuls != 0};
#else
    return countBytes(p, kBlock);
#endif
}

}  // namespace

bool KOPAXMLLibxml2Reader::suits(std::string_view bytes) {
    if (bytes.size() > static_cast<size_t>(INT_MAX) || !declaresUTF8(bytes)) return false;
    // An attribute needs an '=' and every start tag begins with '<', so the '=' counted from the
    // last block holding a '<' bound the attributes of any tag that ends in this block.
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    const size_t n = bytes.size();
    size_t equalsSinceTag = 0;
    for (size_t at = 0; at < n; at += kBlock) {
        const BlockCounts counts = n - at >= kBlock ? countBlock(p + at) : countBytes(p + at, n - at);
        if (counts.nul || equalsSinceTag + counts.equals > kMaxAttributesPerTag) return false;
        equalsSinceTag = counts.open ? counts.equals : equalsSinceTag + counts.equals;
    }
    return true;
}

KOPAXMLLibxml2Reader::Verdict KOPAXMLLibxml2Reader::read(const KOPAXMLReadOptions& options,
                                                         std::string_view bytes, std::optional<Value>& root) {
    static const bool ready = [] {
        xmlInitParser();
        return xmlHasFeature(XML_WITH_SAX1) != 0;
    }();
    if (!ready || !suits(bytes)) return Verdict::Declined;

    Handlers handlers{KOPAXMLTreeBuilder(options), {}};
    handlers.context = xmlCreateMemoryParserCtxt(bytes.data(), static_cast<int>(bytes.size()));
    if (!handlers.context) return Verdict::Declined;
    // libxml2 may build a document of its own on the side (for a DOCTYPE with declarations);
    // freeing the context leaves it to us.
    auto release = [](xmlParserCtxtPtr c) {
        if (c->myDoc) xmlFreeDoc(c->myDoc);
        c->myDoc = nullptr;
        xmlFreeParserCtxt(c);
    };
    std::unique_ptr<xmlParserCtxt, decltype(release)> context(handlers.context, release);

    xmlSAXHandler sax{};
    sax.initialized = 1;  // not XML_SAX2_MAGIC: no namespace processing
    sax.startElement = &Handlers::onStart;
    sax.endElement = &Handlers::onEnd;
    sax.characters = &Handlers::onCharacters;
    sax.ignorableWhitespace = &Handlers::onCharacters;
    sax.cdataBlock = &Handlers::onCharacters;
    if (options.preserveComments) sax.comment = &Handlers::onComment;
    sax.internalSubset = &Handlers::onDoctype;
    sax.entityDecl = &Handlers::onEntityDeclaration;
    sax.attributeDecl = &Handlers::onAttributeDeclaration;
    sax.warning = &Handlers::onWarning;
    sax.error = &Handlers::onError;
    sax.fatalError = &Handlers::onError;
    *context->sax = sax;
    context->userData = &handlers;
    // NOENT: predefined entities and character references in attribute values come out as their
    // characters (without it '&' stays "&#38;"); no other entity is ever substituted, as a
    // declaration declines the document. OLD10: expat's name rules. No DTD loading, no network.
    // Documents may nest deeper and hold longer texts than libxml2's defaults allow, as expat
    // reads them.
    xmlCtxtUseOptions(context.get(), XML_PARSE_NONET | XML_PARSE_HUGE | XML_PARSE_NOENT | XML_PARSE_OLD10);
    *context->sax = sax;  // the options may have touched the handler; this one is final

    handlers.nameLengths.dictionary = context->dict;
    const int status = xmlParseDocument(context.get());
    if (handlers.declined) return Verdict::Declined;
    if (status != 0 || handlers.refused || !context->wellFormed) return Verdict::Refused;
    // Everything up to the end was read (nothing after an early end of input).
    if (!context->input || context->input->cur != context->input->end || !handlers.builder.hasRoot())
        return Verdict::Declined;
    root = handlers.builder.takeRoot();
    return Verdict::Accepted;
}

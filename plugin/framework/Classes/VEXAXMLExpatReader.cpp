#include "plugin/framework/Classes/VEXAXMLExpatReader.h"

// The amplification protection is declared only with XML_DTD, which the system's expat (2.4
// or later) is built with.
#ifndef XML_DTD
#define XML_DTD
#endif
#include <expat.h>
#include <fmt/format.h>

#include <algorithm>
#include <cstring>
#include <memory>

#include "plugin/framework/Classes/VEXAXMLDictionary.h"
#include "plugin/framework/Classes/VEXAXMLTreeBuilder.h"

using platform::Value;

namespace {

// expat's own defaults (2.4 and later), stated so they cannot change under us.
constexpr float kMaximumAmplification = 100.0f;
constexpr unsigned long long kAmplificationThreshold = 8ull << 20;

struct ExpatDeleter {
    void operator()(XML_Parser parser) const { XML_ParserFree(parser); }
};

struct Handlers {
    KOPAXMLTreeBuilder& builder;

    static void XMLCALL onStart(void* self, const XML_Char* name, const XML_Char** atts) {
        static_cast<Handlers*>(self)->builder.startElement(name, atts,
                                                           [](const char* s) { return std::strlen(s); });
    }
    static void XMLCALL onEnd(void* self, const XML_Char*) {
        static_cast<Handlers*>(self)->builder.endElement();
    }
    static void XMLCALL onCharacters(void* self, const XML_Char* s, int len) {
        static_cast<Handlers*>(self)->builder.characters(s, static_cast<size_t>(len));
    }
    static void XMLCALL onComment(void* self, const XML_Char* text) {
        static_cast<Handlers*>(self)->builder.comment(text);
    }
};

}  // namespace

std::optional<Value> KOPAXMLExpatReader::read(const KOPAXMLReadOptions& options, std::string_view bytes,
                                              KOPAXMLParseError* error) {
    std::unique_ptr<XML_ParserStruct, ExpatDeleter> parser(XML_ParserCreate(nullptr));
    if (!parser) {
        if (error) *error = KOPAXMLParseError{"out of memory creating the XML reader", 0, 0, {}};
        return std::nullopt;
    }
    XML_SetParamEntityParsing(parser.get(), XML_PARAM_ENTITY_PARSING_NEVER);
    KOPAXMLTreeBuilder builder(options);
    Handlers handlers{builder};
    XML_SetUserData(parser.get(), &handlers);
    XML_SetElementHandler(parser.get(), &Handlers::onStart, &Handlers::onEnd);
    XML_SetCharacterDataHandler(parser.get(), &Handlers::onCharacters);
    if (options.preserveComments) XML_SetCommentHandler(parser.get(), &Handlers::onComment);
    // Internal entities are expanded as expat does (D-Bus interface descriptions declare
    // some); external ones stay unresolved, as no external entity handler is set. Expansion is
    // bounded by expat's amplification protection: once the output passes the threshold, more
    // than kMaximumAmplification bytes out per byte in ends the document (billion laughs, the
    // quadratic blow-up), quickly and in about the threshold's memory.
    XML_SetBillionLaughsAttackProtectionMaximumAmplification(parser.get(), kMaximumAmplification);
    XML_SetBillionLaughsAttackProtectionActivationThreshold(parser.get(), kAmplificationThreshold);

    // expat takes int lengths; larger documents go in slices.
    constexpr size_t kSlice = size_t{1} << 30;
    bool failed = false;
    do {
        const size_t length = std::min(bytes.size(), kSlice);
        const bool last = length == bytes.size();
        if (XML_Parse(parser.get(), bytes.data(), static_cast<int>(length), last) != XML_STATUS_OK) {
            failed = true;
            break;
        }
        bytes.remove_prefix(length);
    } while (!bytes.empty());

    if (failed) {
        if (error) {
            const XML_Error code = XML_GetErrorCode(parser.get());
            std::string message = XML_ErrorString(code);
            if (!builder.refusal().empty())
                message = builder.refusal();
            else if (code == XML_ERROR_NO_ELEMENTS && builder.hasRoot())
                message =
                    "the document ends before all its elements are closed";  // expat: "no element found"
            *error = KOPAXMLParseError{std::move(message), XML_GetCurrentLineNumber(parser.get()),
                                       XML_GetCurrentColumnNumber(parser.get()) + 1, builder.elementPath()};
        }
        builder.abandonOpenElements();
    }
    if (!builder.hasRoot()) return std::nullopt;
    return builder.takeRoot();
}

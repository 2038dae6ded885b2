#include "plugin/framework/Classes/VEXAXMLReaders.h"

#include "plugin/framework/Classes/VEXAXMLExpatReader.h"
#include "plugin/framework/Classes/VEXAXMLLibxml2Reader.h"

KOPAXMLReaders::Outcome KOPAXMLReaders::read(Reader reader, const KOPAXMLReadOptions& options,
                                             std::string_view bytes) {
    Outcome outcome;
    if (reader != Reader::Expat) {
        const KOPAXMLLibxml2Reader::Verdict verdict =
            KOPAXMLLibxml2Reader::read(options, bytes, outcome.root);
        if (verdict == KOPAXMLLibxml2Reader::Verdict::Accepted) {
            outcome.verdict = Verdict::Accepted;
            return outcome;
        }
        if (reader == Reader::Libxml2) {
            outcome.verdict =
                verdict == KOPAXMLLibxml2Reader::Verdict::Refused ? Verdict::Refused : Verdict::Declined;
            return outcome;
        }
    }
    outcome.root = KOPAXMLExpatReader::read(options, bytes, &outcome.error);
    outcome.verdict = outcome.error.message.empty() ? Verdict::Accepted : Verdict::Refused;
    return outcome;
}

KOPAXMLReadOptions KOPAXMLReaders::optionsOf(const KOPAXMLDictionaryParser& parser) {
    return KOPAXMLReadOptions{parser.collapseTextNodes(), parser.trimWhiteSpace(), parser.alwaysUseArrays(),
                              parser.preserveComments(),  parser.attributesMode(), parser.nodeNameMode()};
}

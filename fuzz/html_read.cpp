// HTML reading: the first byte picks the encoding and the base style, the rest is the document.
// Any bytes give styled text or none, never a crash, and the result keeps its promises: the text
// is valid UTF-8 without NUL, the runs cover it exactly (in order, no gap, no overlap, none empty,
// each starting on a character boundary, neighbours styled differently), every run's attributes
// are bounded, the text grows at most linearly with the input, script content never shows, a
// second read gives the same result, and Latin-1 input reads as its UTF-8 transcription does.

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "FuzzCheck.h"
#include "platform/foundation/HTMLReader.h"

namespace {

using platform::AttributedString;
using platform::HTMLReader;
using platform::TextAttributes;

// Put in front of every document, with one of two different contents. Nothing the input does can
// reach back before its own first byte, so this element is always a script, and the two
// documents must read alike: script content never shows, wherever the input puts its own text.
const std::string kScriptA = "<script>var shown = 'zq7-one';</script>";
const std::string kScriptB = "<script>if (a < b) { document.write('<b>two</b>') }</script>";

bool isContinuation(unsigned char b) {
    return (b & 0xC0) == 0x80;
}

// Strict UTF-8: no overlong forms, surrogates or code points past U+10FFFF.
bool validUTF8(std::string_view s) {
    for (size_t i = 0; i < s.size();) {
        auto b = static_cast<unsigned char>(s[i]);
        size_t n = b < 0x80                 ? 1
                   : b >= 0xC2 && b <= 0xDF ? 2
                   : b >= 0xE0 && b <= 0xEF ? 3
                   : b >= 0xF0 && b <= 0xF4 ? 4
                                            : 0;
        if (n == 0 || i + n > s.size()) return false;
        unsigned cp = n == 1 ? b : b & (0x7F >> n);
        for (size_t k = 1; k < n; ++k) {
            auto c = static_cast<unsigned char>(s[i + k]);
            if (!isContinuation(c)) return false;
            cp = (cp << 6) | (c & 0x3F);
        }
        if ((n == 3 && (cp < 0x800 || (cp >= 0xD800 && cp <= 0xDFFF))) ||
            (n == 4 && (cp < 0x10000 || cp > 0x10FFFF)))
            return false;
        i += n;
    }
    return true;
}

std::string latin1ToUTF8(std::string_view s) {
    std::string out;
    for (char c : s) {
        auto b = static_cast<unsigned char>(c);
        if (b < 0x80) {
            out.push_back(c);
        } else {
            out.push_back(static_cast<char>(0xC0 | (b >> 6)));
            out.push_back(static_cast<char>(0x80 | (b & 0x3F)));
        }
    }
    return out;
}

std::string shown(const AttributedString& s) {
    std::string out;
    for (const auto& run : s.runs()) {
        out += "[" + std::string(s.textOfRun(run).substr(0, 200)) + "]";
        if (out.size() > 2000) return out + "...";
    }
    return out;
}

void checkShape(const AttributedString& s, size_t inputSize, const TextAttributes& base) {
    const std::string& text = s.string();
    FUZZ_CHECK(validUTF8(text), "the text is not valid UTF-8: " + shown(s));
    FUZZ_CHECK(text.find('\0') == std::string::npos, "the text holds a NUL: " + shown(s));
    // U+FFFD for one stray byte (3 for 1) is the largest growth a character can have.
    FUZZ_CHECK(text.size() <= 3 * inputSize + 16, "the text is " + std::to_string(text.size()) +
                                                      " bytes for " + std::to_string(inputSize) +
                                                      " of input");
    size_t covered = 0;
    const TextAttributes* previous = nullptr;
    for (const auto& run : s.runs()) {
        FUZZ_CHECK(run.location == covered, "runs leave a gap or overlap at byte " + std::to_string(covered));
        FUZZ_CHECK(run.length > 0, "an empty run at byte " + std::to_string(covered));
        FUZZ_CHECK(run.location + run.length <= text.size(), "a run ends past the text");
        FUZZ_CHECK(!isContinuation(static_cast<unsigned char>(text[run.location])),
                   "a run starts inside a character at byte " + std::to_string(run.location));
        FUZZ_CHECK(!previous || !(*previous == run.attributes), "two neighbouring runs are styled alike");
        const TextAttributes& a = run.attributes;
        FUZZ_CHECK(a.fontSize == base.fontSize ||
                       (a.fontSize >= HTMLReader::kMinFontSize && a.fontSize <= HTMLReader::kMaxFontSize),
                   "font size " + std::to_string(a.fontSize));
        FUZZ_CHECK(a.fontFamily.size() <= HTMLReader::kMaxFamilyLength, "a font family past its limit");
        FUZZ_CHECK(a.link.size() <= HTMLReader::kMaxLinkLength, "a link past its limit");
        FUZZ_CHECK(validUTF8(a.fontFamily) && validUTF8(a.link), "a family or link is not valid UTF-8");
        covered += run.length;
        previous = &run.attributes;
    }
    FUZZ_CHECK(covered == text.size(),
               "runs cover " + std::to_string(covered) + " of " + std::to_string(text.size()) + " bytes");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    uint8_t options = data[0];
    const std::string_view input(reinterpret_cast<const char*>(data + 1), size - 1);
    const std::string document = kScriptA + std::string(input);

    TextAttributes base = HTMLReader::defaultAttributes();
    base.bold = (options & 2) != 0;
    base.italic = (options & 4) != 0;
    if (options & 8) base.link = "https://base.test/";
    if (options & 16) base.fontFamily = "Helvetica Neue";
    base.fontSize = 6.0 + (options >> 5) * 3.5;
    int encoding = (options & 1) ? HTMLReader::kISOLatin1StringEncoding : HTMLReader::kUTF8StringEncoding;

    auto result = HTMLReader::read(document, encoding, base);
    auto again = HTMLReader::read(document, encoding, base);
    FUZZ_CHECK(result.has_value() == again.has_value() && (!result || *result == *again),
               "two reads of the same document differ");
    auto otherScript = HTMLReader::read(kScriptB + std::string(input), encoding, base);
    FUZZ_CHECK(result.has_value() == otherScript.has_value() && (!result || *result == *otherScript),
               "script content shows:\n" + (result ? shown(*result) : "none") + "\n" +
                   (otherScript ? shown(*otherScript) : "none"));
    if (!result) return 0;
    checkShape(*result, document.size(), base);

    if (encoding == HTMLReader::kISOLatin1StringEncoding) {
        auto transcribed = HTMLReader::read(latin1ToUTF8(document), HTMLReader::kUTF8StringEncoding, base);
        FUZZ_CHECK(transcribed && *transcribed == *result, "Latin-1 reads unlike its UTF-8 transcription:\n" +
                                                               shown(*result) + "\n" +
                                                               (transcribed ? shown(*transcribed) : "none"));
    }
    return 0;
}

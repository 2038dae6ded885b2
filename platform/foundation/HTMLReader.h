#pragma once

// HTMLReader: HTML text into styled text, the platform's HTML import (NSAttributedString's
// initWithHTML). libxml2's forgiving HTML parser reads the text; the tree is then walked once,
// without recursion, into runs:
//
//   b, strong, th, h1-h6              bold            i, em, cite, var, dfn, address   italic
//   a href="..."                      link            h1-h6                            larger size
//   p, div, li, h1-h6, tr, ... , br   line breaks     pre                              white space kept
//   style="font-family: 'F'; font-size: 12px; font-weight: bold; font-style: italic"
//
// Elsewhere white space collapses to one space, as a browser shows it. Nothing outside the text
// is ever loaded: no network, no DTD, no images; script, style, head and the like are skipped.
//
// Hostile input. Bytes that are not UTF-8 (and NUL) become U+FFFD before parsing, so the
// result is always valid UTF-8 and never depends on a guessed encoding; a <meta charset> does
// not switch it. Nesting depth is limited by memory only (the walk keeps one small frame per
// open element). A link address longer than kMaxLinkLength or a font family longer than
// kMaxFamilyLength is ignored, so every run costs a bounded amount of memory and the result
// grows linearly with the input. Sizes stay within kMinFontSize and kMaxFontSize however deep
// headings nest.

#include <cstddef>
#include <optional>
#include <string_view>

#include "platform/foundation/AttributedString.h"

namespace platform {

class HTMLReader {
public:
    // Character encodings of the document option, by the platform's codes.
    static constexpr int kUTF8StringEncoding = 4;
    static constexpr int kISOLatin1StringEncoding = 5;

    static constexpr size_t kMaxLinkLength = 8192;
    static constexpr size_t kMaxFamilyLength = 256;
    // Font sizes the markup can set, in points: a larger declared size is ignored, a smaller one
    // (or nested headings shrinking it) is raised to the minimum.
    static constexpr double kMinFontSize = 0.01;
    static constexpr double kMaxFontSize = 10000.0;

    // The styled text of `data` in `characterEncoding`, with `base` for text no element styles
    // (the document's default attributes); none for an encoding the reader does not know,
    // input too large for the parser (2 GiB) or input the parser cannot read at all.
    static std::optional<AttributedString> read(std::string_view data,
                                                int characterEncoding = kUTF8StringEncoding,
                                                const TextAttributes& base = defaultAttributes());

    // The default base: Times, 12 points.
    static TextAttributes defaultAttributes();
};

}  // namespace platform

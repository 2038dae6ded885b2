#pragma once

// Parser options taken from the first input byte, so the fuzzer explores every combination.

#include <cstdint>

#include "plugin/framework/Classes/VEXAXMLDictionary.h"

namespace fuzzcheck {

inline KOPAXMLDictionaryParser parserFromByte(uint8_t bits) {
    KOPAXMLDictionaryParser parser;
    parser.setCollapseTextNodes(bits & 0x01);
    parser.setTrimWhiteSpace(bits & 0x02);
    parser.setAlwaysUseArrays(bits & 0x04);
    parser.setPreserveComments(bits & 0x08);
    parser.setAttributesMode((bits >> 4) & 0x03);
    parser.setNodeNameMode((bits >> 6) & 0x03);
    return parser;
}

}  // namespace fuzzcheck

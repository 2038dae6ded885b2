// KOPAPlugin: comparing version texts (the update and upgrade checks and the version
// commands use it), apart from the life of the plug-in in VEXAPlugin.cpp.

#include <cctype>
#include <cstdint>
#include <cstring>
#include <string_view>

#include "VEXAPlugin.h"

namespace {
// One side of a comparison: the main part [pos, mainEnd) and the beta part, if any.
struct VersionParts {
    const char* pos = nullptr;
    const char* mainEnd = nullptr;
    const char* betaBegin = nullptr;
    const char* betaEnd = nullptr;
    bool present = false;
    bool hasBeta = false;

    explicit VersionParts(KOPAPlugin::VersionText text) {
        if (!text) return;
        present = true;
        pos = text->data();
        const char* end = pos + text->size();
        auto* b = static_cast<const char*>(text->empty() ? nullptr : std::memchr(pos, 'b', text->size()));
        if (!b) {
            mainEnd = end;
            return;
        }
        mainEnd = b;
        hasBeta = true;
        betaBegin = b + 1;
        auto* second =
            static_cast<const char*>(std::memchr(betaBegin, 'b', static_cast<size_t>(end - betaBegin)));
        betaEnd = second ? second : end;
    }
    std::string_view main() const { return {pos, static_cast<size_t>(mainEnd - pos)}; }
};

// strtoll over [p, end): leading white space, an optional sign, decimal digits up to the first
// other character; 0 when there are none; clamped to the 64-bit range like strtoll.
inline int64_t leadingInteger(const char* p, const char* end) {
    while (p < end && (*p == ' ' || (*p >= '\t' && *p <= '\r'))) ++p;
    bool negative = false;
    if (p < end && (*p == '+' || *p == '-')) negative = *p++ == '-';
    uint64_t value = 0;
    constexpr uint64_t kLimit = uint64_t{1} << 63;  // |INT64_MIN|
    bool overflow = false;
    for (; p < end && static_cast<unsigned char>(*p - '0') < 10; ++p) {
        unsigned digit = static_cast<unsigned char>(*p - '0');
        if (value > (kLimit - digit) / 10) {
            overflow = true;
        } else {
            value = value * 10 + digit;
        }
    }
    if (negative) return overflow || value >= kLimit ? INT64_MIN : -static_cast<int64_t>(value);
    return overflow || value >= kLimit ? INT64_MAX : static_cast<int64_t>(value);
}
}  // namespace

bool KOPAPlugin::compareVersionStrings(VersionText a, VersionText b, bool orEqual) {
    VersionParts pa(a), pb(b);
    // Components remain on a side while it is present and its last one is not yet read; a
    // present main part has at least one (an empty text is one empty component).
    bool restA = pa.present, restB = pb.present;
    const char* ca = pa.pos;
    const char* cb = pb.pos;
    while (restA && restB) {
        auto* endA = static_cast<const char*>(std::memchr(ca, '.', static_cast<size_t>(pa.mainEnd - ca)));
        auto* endB = static_cast<const char*>(std::memchr(cb, '.', static_cast<size_t>(pb.mainEnd - cb)));
        if (!endA) endA = pa.mainEnd;
        if (!endB) endB = pb.mainEnd;
        int64_t va = leadingInteger(ca, endA), vb = leadingInteger(cb, endB);
        // Different values mean different texts, so the beta parts never get a say here.
        if (va != vb) return va > vb;
        restA = endA != pa.mainEnd;
        restB = endB != pb.mainEnd;
        ca = endA + 1;
        cb = endB + 1;
    }
    bool result = orEqual ? !restB : (restA && !restB);
    if (result || !(pa.hasBeta || pb.hasBeta)) return result;
    if (pa.present != pb.present || (pa.present && pa.main() != pb.main())) return result;
    // Same main part, one side a beta: a release is higher than its own betas.
    if (!pa.hasBeta) return true;
    if (!pb.hasBeta) return false;
    return leadingInteger(pa.betaBegin, pa.betaEnd) > leadingInteger(pb.betaBegin, pb.betaEnd);
}

#include "ScanEngine/Tree/NameCoding.hpp"

#include <cstdint>

namespace zelvane {
namespace {

constexpr char16_t kReplacement = 0xFFFD;

// Length of the well-formed UTF-8 sequence at `p` (1-4) and its scalar, or 0 when ill-formed.
inline int decodeOne(const unsigned char* p, const unsigned char* end, char32_t& scalar) noexcept {
    unsigned char b0 = p[0];
    if (b0 < 0x80) {
        scalar = b0;
        return 1;
    }
    ptrdiff_t avail = end - p;
    if (b0 >= 0xC2 && b0 <= 0xDF) {
        if (avail < 2 || (p[1] & 0xC0) != 0x80) return 0;
        scalar = (char32_t(b0 & 0x1F) << 6) | (p[1] & 0x3F);
        return 2;
    }
    if (b0 >= 0xE0 && b0 <= 0xEF) {
        if (avail < 3) return 0;
        unsigned char lo = 0x80, hi = 0xBF;
        if (b0 == 0xE0) lo = 0xA0;
        if (b0 == 0xED) hi = 0x9F;  // no surrogates
        if (p[1] < lo || p[1] > hi || (p[2] & 0xC0) != 0x80) return 0;
        scalar = (char32_t(b0 & 0x0F) << 12) | (char32_t(p[1] & 0x3F) << 6) | (p[2] & 0x3F);
        return 3;
    }
    if (b0 >= 0xF0 && b0 <= 0xF4) {
        if (avail < 4) return 0;
        unsigned char lo = 0x80, hi = 0xBF;
        if (b0 == 0xF0) lo = 0x90;
        if (b0 == 0xF4) hi = 0x8F;
        if (p[1] < lo || p[1] > hi || (p[2] & 0xC0) != 0x80 || (p[3] & 0xC0) != 0x80) return 0;
        scalar = (char32_t(b0 & 0x07) << 18) | (char32_t(p[1] & 0x3F) << 12) |
                 (char32_t(p[2] & 0x3F) << 6) | (p[3] & 0x3F);
        return 4;
    }
    return 0;
}

inline void appendUTF8(char32_t c, std::string& out) {
    if (c < 0x80) {
        out.push_back(char(c));
    } else if (c < 0x800) {
        out.push_back(char(0xC0 | (c >> 6)));
        out.push_back(char(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
        out.push_back(char(0xE0 | (c >> 12)));
        out.push_back(char(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(char(0x80 | (c & 0x3F)));
    } else {
        out.push_back(char(0xF0 | (c >> 18)));
        out.push_back(char(0x80 | ((c >> 12) & 0x3F)));
        out.push_back(char(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(char(0x80 | (c & 0x3F)));
    }
}

inline bool isHigh(char16_t u) { return u >= 0xD800 && u <= 0xDBFF; }
inline bool isLow(char16_t u) { return u >= 0xDC00 && u <= 0xDFFF; }

// Walks the units, handing each scalar or lone surrogate to `emit(scalar, isLoneSurrogate)`.
template <typename Emit>
inline void walkUnits(std::u16string_view units, Emit&& emit) {
    const size_t n = units.size();
    for (size_t i = 0; i < n; ++i) {
        char16_t u = units[i];
        if (isHigh(u) && i + 1 < n && isLow(units[i + 1])) {
            emit(0x10000 + ((char32_t(u) - 0xD800) << 10) + (char32_t(units[i + 1]) - 0xDC00), false);
            ++i;
        } else {
            emit(char32_t(u), isHigh(u) || isLow(u));
        }
    }
}

}  // namespace

size_t decodeNameUTF8(std::string_view bytes, char16_t* out) noexcept {
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    const auto* end = p + bytes.size();
    char16_t* o = out;
    while (p < end) {
        // Fast path for runs of ASCII.
        if (*p < 0x80) {
            *o++ = *p++;
            continue;
        }
        char32_t c;
        int len = decodeOne(p, end, c);
        if (len == 0) {
            *o++ = char16_t(0xDC80 + (*p - 0x80));
            ++p;
        } else if (c >= 0x10000) {
            c -= 0x10000;
            *o++ = char16_t(0xD800 + (c >> 10));
            *o++ = char16_t(0xDC00 + (c & 0x3FF));
            p += len;
        } else {
            *o++ = char16_t(c);
            p += len;
        }
    }
    return size_t(o - out);
}

std::u16string decodeNameUTF8(std::string_view bytes) {
    std::u16string s(bytes.size(), u'\0');
    s.resize(decodeNameUTF8(bytes, s.data()));
    return s;
}

void appendNameBytes(std::u16string_view units, std::string& out) {
    walkUnits(units, [&](char32_t c, bool lone) {
        if (lone && c >= 0xDC80 && c <= 0xDCFF) {
            out.push_back(char(c - 0xDC80 + 0x80));
        } else if (lone) {
            appendUTF8(kReplacement, out);
        } else {
            appendUTF8(c, out);
        }
    });
}

std::string encodeNameBytes(std::u16string_view units) {
    std::string s;
    s.reserve(units.size());
    appendNameBytes(units, s);
    return s;
}

void appendDisplayUTF8(std::u16string_view units, std::string& out) {
    walkUnits(units, [&](char32_t c, bool lone) { appendUTF8(lone ? kReplacement : c, out); });
}

std::string displayUTF8(std::u16string_view units) {
    std::string s;
    s.reserve(units.size());
    appendDisplayUTF8(units, s);
    return s;
}

std::u16string utf16FromUTF8(std::string_view text) {
    std::u16string s = decodeNameUTF8(text);
    // Escapes stand for invalid bytes; in plain text they are replacement characters.
    for (size_t i = 0; i < s.size(); ++i) {
        if (isHigh(s[i]) && i + 1 < s.size() && isLow(s[i + 1])) {
            ++i;
        } else if (isLow(s[i]) || isHigh(s[i])) {
            s[i] = kReplacement;
        }
    }
    return s;
}

}  // namespace zelvane

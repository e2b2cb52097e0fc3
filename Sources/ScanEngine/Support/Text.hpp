#pragma once

#include <charconv>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>

namespace zelvane {

// A whole field as a decimal Int64: an optional sign, then ASCII digits only, in range. No spaces,
// no fraction, nothing after the digits.
inline std::optional<int64_t> parseDecimalInteger(std::string_view text) noexcept {
    const char* p = text.data();
    const char* const end = p + text.size();
    if (p < end && *p == '+') {
        ++p;  // from_chars reads a minus sign itself, but not a plus
        if (p == end || *p < '0' || *p > '9') return std::nullopt;
    }
    int64_t v = 0;
    const auto r = std::from_chars(p, end, v);
    if (r.ec != std::errc() || r.ptr != end) return std::nullopt;
    return v;
}

// A CSV field in double quotes, with every double quote inside doubled.
inline void appendCSVQuoted(std::string& out, std::string_view text) {
    out.push_back('"');
    for (;;) {
        const void* q = text.empty() ? nullptr : std::memchr(text.data(), '"', text.size());
        if (!q) break;
        const size_t at = size_t(static_cast<const char*>(q) - text.data());
        out.append(text.data(), at + 1);
        out.push_back('"');
        text.remove_prefix(at + 1);
    }
    out.append(text);
    out.push_back('"');
}

// Every occurrence of `from`, left to right and without overlap, replaced by `to`; the replaced
// text is not searched again. An empty `from` changes nothing.
template <typename Char>
void replaceAll(std::basic_string<Char>& text, std::basic_string_view<Char> from, std::basic_string_view<Char> to) {
    if (from.empty()) return;
    std::basic_string<Char> out;
    out.reserve(text.size());
    size_t pos = 0;
    for (;;) {
        const size_t hit = text.find(from, pos);
        if (hit == std::basic_string<Char>::npos) break;
        out.append(text, pos, hit - pos).append(to);
        pos = hit + from.size();
    }
    out.append(text, pos, std::basic_string<Char>::npos);
    text = std::move(out);
}
inline void replaceAll(std::string& text, std::string_view from, std::string_view to) { replaceAll<char>(text, from, to); }
inline void replaceAll(std::u16string& text, std::u16string_view from, std::u16string_view to) {
    replaceAll<char16_t>(text, from, to);
}

}  // namespace zelvane

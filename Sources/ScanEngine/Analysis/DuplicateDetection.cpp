#include "ScanEngine/Analysis/DuplicateDetection.hpp"

#include <unicode/locid.h>
#include <unicode/normalizer2.h>
#include <unicode/unistr.h>

#include <algorithm>
#include <charconv>
#include <limits>

#include "ScanEngine/Tree/NameCoding.hpp"

namespace zelvane {
namespace {

bool isAscii(std::u16string_view s) {
    for (char16_t u : s)
        if (u >= 0x80) return false;
    return true;
}

bool endsWithIgnoringAsciiCase(std::u16string_view text, std::u16string_view lowerSuffix) {
    if (text.size() < lowerSuffix.size()) return false;
    auto tail = text.substr(text.size() - lowerSuffix.size());
    for (size_t i = 0; i < tail.size(); ++i) {
        char16_t c = tail[i];
        if (c >= u'A' && c <= u'Z') c = char16_t(c + 32);
        if (c != lowerSuffix[i]) return false;
    }
    return true;
}

size_t lastIndexIgnoringAsciiCase(std::u16string_view text, std::u16string_view lowerNeedle) {
    if (text.size() < lowerNeedle.size()) return std::u16string_view::npos;
    for (size_t i = text.size() - lowerNeedle.size() + 1; i-- > 0;)
        if (endsWithIgnoringAsciiCase(text.substr(0, i + lowerNeedle.size()), lowerNeedle)) return i;
    return std::u16string_view::npos;
}

// A decimal integer of at least 1: optional sign, ASCII digits only, within 64 bits.
bool isPositiveInteger(std::u16string_view s) {
    size_t i = 0;
    bool negative = false;
    if (!s.empty() && (s[0] == u'+' || s[0] == u'-')) {
        negative = s[0] == u'-';
        i = 1;
    }
    if (i == s.size()) return false;
    uint64_t v = 0;
    for (; i < s.size(); ++i) {
        if (s[i] < u'0' || s[i] > u'9') return false;
        if (v > (uint64_t(INT64_MAX) - uint64_t(s[i] - u'0')) / 10) return false;
        v = v * 10 + uint64_t(s[i] - u'0');
    }
    return !negative && v >= 1;
}

std::u16string lowerCased(std::u16string_view s) {
    if (isAscii(s)) {
        std::u16string out(s);
        for (char16_t& u : out)
            if (u >= u'A' && u <= u'Z') u = char16_t(u + 32);
        return out;
    }
    icu::UnicodeString us(false, reinterpret_cast<const UChar*>(s.data()), int32_t(s.size()));
    icu::UnicodeString lower(us);
    lower.toLower(icu::Locale::getRoot());
    return std::u16string(reinterpret_cast<const char16_t*>(lower.getBuffer()), size_t(lower.length()));
}

// The name split at its last "." with the copy decoration taken off the base; views into the name.
struct CleanedParts {
    std::u16string_view base;
    std::u16string_view ext;
};

CleanedParts cleanParts(std::u16string_view name) {
    size_t dot = name.rfind(u'.');
    std::u16string_view base = dot == std::u16string_view::npos ? name : name.substr(0, dot);
    std::u16string_view ext = dot == std::u16string_view::npos ? std::u16string_view() : name.substr(dot);

    // " (N)" with N >= 1 and a space before the parenthesis.
    if (base.size() >= 4 && base.back() == u')') {
        size_t open = base.rfind(u'(');
        if (open != std::u16string_view::npos && open > 0 && base[open - 1] == u' ' &&
            isPositiveInteger(base.substr(open + 1, base.size() - open - 2)))
            base = base.substr(0, open - 1);
    }
    if (endsWithIgnoringAsciiCase(base, u" - copy")) base.remove_suffix(7);
    if (endsWithIgnoringAsciiCase(base, u" copy")) {
        base.remove_suffix(5);
    } else {
        size_t at = lastIndexIgnoringAsciiCase(base, u" copy ");
        if (at != std::u16string_view::npos && isPositiveInteger(base.substr(at + 6))) base = base.substr(0, at);
    }
    return {base, ext};
}

// Keys compare as their canonically composed form, in scalar order: appended as UTF-8, whose byte
// order is scalar order. Plain ASCII names, the common case, need neither ICU nor a copy.
void appendSortKey(const CleanedParts& parts, std::string& out) {
    if (isAscii(parts.base) && isAscii(parts.ext)) {
        for (std::u16string_view piece : {parts.base, parts.ext})
            for (char16_t u : piece) out.push_back(char(u >= u'A' && u <= u'Z' ? u + 32 : u));
        return;
    }
    std::u16string joined(parts.base);
    joined.append(parts.ext);
    std::u16string lower = lowerCased(joined);
    UErrorCode status = U_ZERO_ERROR;
    const icu::Normalizer2* nfc = icu::Normalizer2::getNFCInstance(status);
    icu::UnicodeString us(false, reinterpret_cast<const UChar*>(lower.data()), int32_t(lower.size()));
    if (U_SUCCESS(status)) {
        icu::UnicodeString composed = nfc->normalize(us, status);
        if (U_SUCCESS(status)) {
            appendNameBytes(std::u16string_view(reinterpret_cast<const char16_t*>(composed.getBuffer()),
                                                size_t(composed.length())),
                            out);
            return;
        }
    }
    appendNameBytes(lower, out);
}

struct Keyed {
    uint64_t keyPrefix;  // the key's first 8 bytes, big-endian, zero-padded: most comparisons end here
    size_t keyOffset;
    uint32_t keyLength;
    FileNode* node;
    int64_t size;
    int32_t modified;
    int32_t files;
    int32_t dirs;
};

}  // namespace

std::optional<DuplicateMethod> duplicateMethodFromRaw(int raw) {
    if (raw < 0 || raw > 2) return std::nullopt;
    return DuplicateMethod(raw);
}

std::u16string cleanedFilenameForDupMatch(std::u16string_view name) {
    CleanedParts parts = cleanParts(name);
    std::u16string joined(parts.base);
    joined.append(parts.ext);
    return lowerCased(joined);
}

std::string cleanedFilenameForDupMatch(std::string_view nameUTF8) {
    return encodeNameBytes(cleanedFilenameForDupMatch(std::u16string_view(decodeNameUTF8(nameUTF8))));
}

std::vector<DupGroupRef> detectDuplicates(std::span<FileNode* const> nodes, DuplicateMethod method) {
    std::vector<DupGroupRef> groups;
    if (method == DuplicateMethod::none || nodes.empty()) return groups;

    // One key per node, all in one buffer.
    std::string keys;
    std::vector<Keyed> list;
    list.reserve(nodes.size());
    for (FileNode* n : nodes) {
        size_t at = keys.size();
        auto name = n->nameUnits();
        appendSortKey(cleanParts(name), keys);
        uint64_t prefix = 0;
        for (size_t i = 0; i < 8; ++i)
            prefix = (prefix << 8) | (at + i < keys.size() ? static_cast<unsigned char>(keys[at + i]) : 0u);
        list.push_back({prefix, at, uint32_t(keys.size() - at), n, n->effectiveSize(), n->modifiedDateRaw,
                        n->subFolderFileCount(), n->subFolderDirCount()});
    }
    auto keyOf = [&](const Keyed& k) { return std::string_view(keys).substr(k.keyOffset, k.keyLength); };
    // Names hold no NUL byte, so the zero padding orders a short key before its extensions.
    auto compareKeys = [&](const Keyed& a, const Keyed& b) {
        if (a.keyPrefix != b.keyPrefix) return a.keyPrefix < b.keyPrefix ? -1 : 1;
        if (a.keyLength <= 8 && b.keyLength <= 8) return 0;
        return keyOf(a).compare(keyOf(b));
    };
    std::stable_sort(list.begin(), list.end(), [&](const Keyed& a, const Keyed& b) {
        if (int c = compareKeys(a, b); c != 0) return c < 0;
        if (a.size != b.size) return a.size < b.size;
        return a.modified < b.modified;
    });

    const Keyed* previous = nullptr;
    DuplicateGroup* open = nullptr;
    for (const Keyed& e : list) {
        if (e.size == 0) {
            previous = nullptr;
            open = nullptr;
            continue;
        }
        // Dates are whole seconds, so "less than a second apart" means the same second.
        bool match = previous && compareKeys(*previous, e) == 0 && previous->size == e.size &&
                     previous->files == e.files && previous->dirs == e.dirs &&
                     (method != DuplicateMethod::nameSizeDate || previous->modified == e.modified);
        if (!match) {
            open = nullptr;
        } else if (open) {
            open->members.push_back(e.node);
        } else {
            groups.push_back(DupGroupRef::make());
            open = groups.back().get();
            open->members = {previous->node, e.node};
        }
        previous = &e;
    }
    return groups;
}

}  // namespace zelvane

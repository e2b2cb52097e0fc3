#include "ScanEngine/Support/LocalizedStandardCollator.hpp"

#include "ScanEngine/Tree/NameCoding.hpp"

#include <unicode/ucol.h>
#include <unicode/uloc.h>

#include <climits>
#include <cstring>

namespace zelvane {

struct LocalizedStandardCollator::Impl {
    UCollator* collator = nullptr;
    ~Impl() {
        if (collator) ucol_close(collator);
    }
};

namespace {

// The C and POSIX locales reach ICU as "en_US_POSIX", whose collation orders by code point
// (every capital before every small letter). Nobody choosing "C" asks for that in a file list,
// so it stands for the root order.
const char* userCollationLocale() {
    const char* id = uloc_getDefault();
    char variant[32] = {};
    UErrorCode status = U_ZERO_ERROR;
    uloc_getVariant(id, variant, sizeof variant, &status);
    if (U_SUCCESS(status) && std::strcmp(variant, "POSIX") == 0) return "";
    return id;
}

}  // namespace

LocalizedStandardCollator::LocalizedStandardCollator() : LocalizedStandardCollator(userCollationLocale()) {}

LocalizedStandardCollator::LocalizedStandardCollator(const char* localeID) : impl_(std::make_unique<Impl>()) {
    UErrorCode status = U_ZERO_ERROR;
    impl_->collator = ucol_open(localeID, &status);
    if (U_FAILURE(status) || !impl_->collator) {
        // ICU always has the root order; a locale it cannot load falls back to it.
        status = U_ZERO_ERROR;
        impl_->collator = ucol_open("", &status);
    }
    if (!impl_->collator) return;
    status = U_ZERO_ERROR;
    ucol_setAttribute(impl_->collator, UCOL_NUMERIC_COLLATION, UCOL_ON, &status);
    status = U_ZERO_ERROR;
    ucol_setAttribute(impl_->collator, UCOL_STRENGTH, UCOL_TERTIARY, &status);
}

LocalizedStandardCollator::~LocalizedStandardCollator() = default;

int LocalizedStandardCollator::compare(std::u16string_view a, std::u16string_view b) const {
    if (!impl_->collator) return a.compare(b);
    // ICU lengths are int32; names are far shorter, longer texts compare by their first 2^31 units.
    const auto clamp = [](size_t n) { return static_cast<int32_t>(n > INT32_MAX ? INT32_MAX : n); };
    const UCollationResult r = ucol_strcoll(impl_->collator, reinterpret_cast<const UChar*>(a.data()),
                                            clamp(a.size()), reinterpret_cast<const UChar*>(b.data()),
                                            clamp(b.size()));
    return r == UCOL_LESS ? -1 : r == UCOL_GREATER ? 1 : 0;
}

int LocalizedStandardCollator::compare(std::string_view utf8A, std::string_view utf8B) const {
    return compare(std::u16string_view(decodeNameUTF8(utf8A)), std::u16string_view(decodeNameUTF8(utf8B)));
}

void LocalizedStandardCollator::appendSortKey(std::u16string_view text, std::vector<uint8_t>& out) const {
    if (!impl_->collator) {
        // Without ICU data: the units in order, each as three non-zero bytes.
        for (char16_t u : text) {
            out.push_back(static_cast<uint8_t>((u >> 10) + 1));
            out.push_back(static_cast<uint8_t>(((u >> 5) & 31) + 1));
            out.push_back(static_cast<uint8_t>((u & 31) + 1));
        }
        out.push_back(0);
        return;
    }
    const auto* src = reinterpret_cast<const UChar*>(text.data());
    const int32_t len = static_cast<int32_t>(text.size() > INT32_MAX ? INT32_MAX : text.size());
    const size_t start = out.size();
    // Sort keys run at most a few bytes per unit; one retry covers the rare longer key.
    size_t room = text.size() * 4 + 16;
    for (int attempt = 0; attempt < 2; ++attempt) {
        out.resize(start + room);
        const int32_t need = ucol_getSortKey(impl_->collator, src, len, out.data() + start,
                                             static_cast<int32_t>(room > INT32_MAX ? INT32_MAX : room));
        if (need <= 0) break;
        if (static_cast<size_t>(need) <= room) {
            out.resize(start + static_cast<size_t>(need));
            return;
        }
        room = static_cast<size_t>(need);
    }
    out.resize(start);
    out.push_back(0);
}

}  // namespace zelvane

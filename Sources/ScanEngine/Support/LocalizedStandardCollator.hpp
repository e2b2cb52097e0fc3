#pragma once

#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

namespace zelvane {

// The order people expect in file lists: by the user's locale, letters compared before case
// (so "B" comes after "a"), runs of digits compared as numbers (so "file9" comes before
// "file10"), width and case deciding only between otherwise equal texts.
//
// One collator per sorting job: comparing through a const collator is thread-safe, making one
// costs a few microseconds.
class LocalizedStandardCollator final {
public:
    // The user's locale, as the process environment names it.
    LocalizedStandardCollator();
    // A locale by ICU identifier ("en", "de_DE", "" for the root order).
    explicit LocalizedStandardCollator(const char* localeID);
    ~LocalizedStandardCollator();
    LocalizedStandardCollator(const LocalizedStandardCollator&) = delete;
    LocalizedStandardCollator& operator=(const LocalizedStandardCollator&) = delete;

    // Negative, zero or positive.
    int compare(std::u16string_view a, std::u16string_view b) const;
    int compare(std::string_view utf8A, std::string_view utf8B) const;

    // Appends the text's sort key, terminated by a zero byte; comparing two keys with strcmp
    // gives the same order as `compare`. Cheaper than `compare` when each text takes part in
    // many comparisons.
    void appendSortKey(std::u16string_view text, std::vector<uint8_t>& out) const;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace zelvane

#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace zelvane {

// Linux file names are bytes. They are decoded to UTF-16 for display, sorting and matching; a byte
// that is not part of a well-formed UTF-8 sequence becomes the lone surrogate U+DC80 + (byte - 0x80),
// one unit per byte, so that the original bytes can always be recovered. UTF-16 never needs more
// units than the UTF-8 input has bytes.

// Decodes into `out`, which must hold at least `bytes.size()` units; returns the units written.
size_t decodeNameUTF8(std::string_view bytes, char16_t* out) noexcept;
std::u16string decodeNameUTF8(std::string_view bytes);

// The exact bytes a decoded name came from (escaped bytes restored, everything else as UTF-8).
void appendNameBytes(std::u16string_view units, std::string& out);
std::string encodeNameBytes(std::u16string_view units);

// UTF-8 for display: escaped bytes and other unpaired surrogates become U+FFFD.
void appendDisplayUTF8(std::u16string_view units, std::string& out);
std::string displayUTF8(std::u16string_view units);

// Strict UTF-8 -> UTF-16 for text that is not a file name (ill-formed input becomes U+FFFD).
std::u16string utf16FromUTF8(std::string_view text);

}  // namespace zelvane

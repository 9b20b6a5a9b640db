// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// UTF-8 text, the one encoding of strings inside Tarn. Standard C++ only, so the
// interpreter, the key notation and the backends share one implementation.

#include <cstddef>
#include <string>
#include <string_view>

namespace tarn::utf8 {

// Decodes the code point at text[pos] and advances pos past it. An invalid or
// truncated sequence yields U+FFFD and advances one byte.
char32_t next(std::string_view text, std::size_t& pos);

void append(std::string& out, char32_t codePoint);
std::string encode(char32_t codePoint);

bool isValid(std::string_view bytes);

// The length of the bytes without a multi-byte sequence that was cut off at
// their end (a lead byte followed by fewer continuation bytes than it needs):
// where a block read from a file or a property cut to a size may be split.
std::size_t completeLength(std::string_view bytes);

// Windows-1252 bytes to UTF-8 (the five bytes the code page leaves undefined
// map to the C1 controls of the same value).
std::string fromWindows1252(std::string_view bytes);
// UTF-8 to Windows-1252, '?' for characters the code page does not have.
std::string toWindows1252(std::string_view text);

// Simple (one to one) upper-case mapping of one code point, that of the
// Unicode Character Database (ß, which has none of one character, stays).
char32_t upper(char32_t codePoint);
// The text with every letter upper-cased; invalid bytes are kept unchanged.
std::string upper(std::string_view text);
// The lower-case mapping of ASCII letters only (for keyword tests).
std::string lowerAscii(std::string_view text);

// The first `count` code points of the text (the whole text when shorter).
std::string_view left(std::string_view text, std::size_t count);
std::size_t length(std::string_view text);

}  // namespace tarn::utf8

// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Window titles as X clients store them, turned into UTF-8. Standard C++ (and
// the C library's iconv), so that the decoding is tested without a display.

#include <string>
#include <string_view>

namespace tarn::x11 {

// The encodings a title property comes in: _NET_WM_NAME and many WM_NAMEs are
// UTF8_STRING, a WM_NAME of type STRING is ISO 8859-1 (ICCCM 2.7.1), and older
// clients outside a UTF-8 locale write COMPOUND_TEXT.
enum class TitleEncoding { Utf8, Latin1, CompoundText };

// The title as valid UTF-8. A "Latin-1" title that is valid UTF-8 with
// characters beyond ASCII is taken as the UTF-8 it is (what clients in the C
// locale write). `truncated`: the property was longer than what
// was read, so a character cut at the end is dropped rather than garbled.
// Bytes that cannot be decoded become U+FFFD.
std::string decodeTitle(std::string_view bytes, TitleEncoding encoding, bool truncated = false);

}  // namespace tarn::x11

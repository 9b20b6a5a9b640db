// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The text routines of the statement syntax: blank and quote removal and the
// splitting of a parameter text into fields.

#include <array>
#include <string>
#include <string_view>

namespace tarn {

inline constexpr char kQuote = '"';

// Blanks (spaces) removed at both ends; nothing else.
std::string_view TrimBlanks(std::string_view text);

// Blanks removed at both ends, then, while the text is longer than one
// character and starts with a tab, that tab and the blanks around it. Tabs at
// the end, and a text that is a single tab, are kept.
std::string RemoveLeadingAndTrailingSpaces(std::string_view text);
// The same as a view into the text, so callers can tell where it begins.
std::string_view LeadingAndTrailingSpacesRemoved(std::string_view text);

// At most one quote removed at the start, then at most one at the end.
std::string RemoveStartAndEndQuotes(std::string_view text);

// Fields 1 to 10 of a split parameter text (field 0 is not used).
using ParameterList = std::array<std::string, 11>;

// Splits at commas that stand outside quoted spans; fields keep their quotes and
// are trimmed of blanks; text after the tenth comma is dropped. An opening quote
// before the next comma without a closing quote is failure 5
// " - Missing quote in statement" with source ".ParseParameters".
void ParseParameters(std::string_view text, ParameterList& fields);

}  // namespace tarn

// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The window-title search shared by SetFocus, GetWindowID and the window list.

#include <cstdint>
#include <string>
#include <vector>

#include "WindowSystem.h"

namespace tarn {

enum MatchMethod : std::int32_t { kStartsWith = 0, kContains = 1, kMatches = 2, kEndsWith = 3 };

// Titles are compared on their first 255 characters, as the window system
// reports them to the older programs that macros were written for.
inline constexpr std::size_t kTitleLength = 255;

// Whether a title matches the search text by the method; any other method
// matches nothing. Both texts are compared exactly, as given.
bool TitleMatches(std::int32_t plMethod, const std::string& psvTitle, const std::string& psvSearch);

// The first window, in the given (stacking) order, whose title matches; 0 when
// none does. Without case sensitivity both sides are upper-cased first; with
// visible-only, hidden windows are passed over; untitled windows never match.
WindowId FindFirstMatch(const std::vector<TopLevelWindow>& windows, const std::string& psvSearch,
                        std::int32_t plMethod, bool pbCaseSensitive, bool pbVisibleOnly);

// The titles of the windows in order, cut to kTitleLength, untitled ones and,
// with visible-only, hidden ones left out.
std::vector<std::string> WindowTitles(const std::vector<TopLevelWindow>& windows,
                                      bool pbVisibleOnly);

}  // namespace tarn

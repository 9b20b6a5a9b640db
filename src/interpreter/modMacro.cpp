// SPDX-License-Identifier: GPL-3.0-or-later
#include "modMacro.h"

#include "Utf8.h"

namespace tarn {

bool TitleMatches(std::int32_t plMethod, const std::string& psvTitle,
                  const std::string& psvSearch) {
    switch (plMethod) {
        case kStartsWith:
            return psvTitle.compare(0, psvSearch.size(), psvSearch) == 0;
        case kContains:
            return psvTitle.find(psvSearch) != std::string::npos;
        case kMatches:
            return psvTitle == psvSearch;
        case kEndsWith:
            return psvTitle.size() >= psvSearch.size() &&
                   psvTitle.compare(psvTitle.size() - psvSearch.size(), psvSearch.size(),
                                    psvSearch) == 0;
        default:
            return false;
    }
}

WindowId FindFirstMatch(const std::vector<TopLevelWindow>& windows, const std::string& psvSearch,
                        std::int32_t plMethod, bool pbCaseSensitive, bool pbVisibleOnly) {
    const std::string search = pbCaseSensitive ? psvSearch : utf8::upper(psvSearch);
    for (const TopLevelWindow& window : windows) {
        if (pbVisibleOnly && !window.visible) continue;
        const std::string_view cut = utf8::left(window.title, kTitleLength);
        if (cut.empty()) continue;
        const std::string title = pbCaseSensitive ? std::string(cut) : utf8::upper(cut);
        if (TitleMatches(plMethod, title, search)) return window.id;
    }
    return 0;
}

std::vector<std::string> WindowTitles(const std::vector<TopLevelWindow>& windows,
                                      bool pbVisibleOnly) {
    std::vector<std::string> titles;
    for (const TopLevelWindow& window : windows) {
        if (pbVisibleOnly && !window.visible) continue;
        const std::string_view cut = utf8::left(window.title, kTitleLength);
        if (!cut.empty()) titles.emplace_back(cut);
    }
    return titles;
}

}  // namespace tarn

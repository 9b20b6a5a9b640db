// SPDX-License-Identifier: GPL-3.0-or-later
#include "modGlobal.h"

namespace tarn {

std::string AddBackslash(const std::string& psvPath) {
    if (!psvPath.empty() && psvPath.back() == kPathSeparator) return psvPath;
    return psvPath + kPathSeparator;
}

std::string GetPath(const std::string& psvPath) {
    const std::string::size_type last = psvPath.rfind(kPathSeparator);
    // A separator only in the first place leaves no folder text before it.
    if (last == std::string::npos || last == 0) return std::string();
    return psvPath.substr(0, last);
}

namespace {

// What stepping from separator to separator leaves: the whole text when its
// last separator is its last character, otherwise the text after that separator.
std::string afterLastSeparator(const std::string& psvPath) {
    const std::string::size_type last = psvPath.rfind(kPathSeparator);
    if (last == std::string::npos || last + 1 == psvPath.size()) return psvPath;
    return psvPath.substr(last + 1);
}

}  // namespace

std::string FileNameOnly(const std::string& psvPath) {
    if (psvPath.empty()) return std::string();
    // A text whose first separator is its last character names no file.
    const std::string::size_type first = psvPath.find(kPathSeparator);
    if (first != std::string::npos && first + 1 == psvPath.size()) return std::string();
    return afterLastSeparator(psvPath);
}

std::string BaseName(const std::string& psvPath) {
    std::string name = afterLastSeparator(psvPath);
    const std::string::size_type dot = name.find('.');
    if (dot != std::string::npos) name.erase(dot);
    return name;
}

std::string StripQuotes(const std::string& psvText) {
    std::string text = psvText;
    if (!text.empty() && text.front() == '"') text.erase(0, 1);
    if (!text.empty() && text.back() == '"') text.pop_back();
    return text;
}

std::string ExpandHome(const std::string& psvPath, const std::string& psvHome) {
    if (psvPath == "~") return psvHome;
    if (psvPath.rfind("~/", 0) != 0) return psvPath;
    return AddBackslash(psvHome) + psvPath.substr(2);
}

}  // namespace tarn

// SPDX-License-Identifier: GPL-3.0-or-later
#include "PosixCommandLine.h"

namespace tarn::posix {

namespace {

bool isSeparator(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

}  // namespace

std::vector<std::string> splitCommandLine(const std::string& commandLine) {
    std::vector<std::string> words;
    std::string word;
    // A word exists once any of its characters or quotes has been read, so that
    // "" yields an empty argument rather than nothing.
    bool inWord = false;
    bool quoted = false;
    for (std::size_t i = 0; i < commandLine.size(); ++i) {
        const char c = commandLine[i];
        if (quoted) {
            if (c != '"') {
                word += c;
            } else if (i + 1 < commandLine.size() && commandLine[i + 1] == '"') {
                word += '"';
                ++i;
            } else {
                quoted = false;
            }
        } else if (c == '"') {
            quoted = true;
            inWord = true;
        } else if (isSeparator(c)) {
            if (inWord) words.push_back(std::move(word));
            word.clear();
            inWord = false;
        } else {
            word += c;
            inWord = true;
        }
    }
    if (inWord) words.push_back(std::move(word));
    return words;
}

}  // namespace tarn::posix

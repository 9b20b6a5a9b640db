// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// How Tarn splits a command line into a program and its arguments. No shell is
// involved, so nothing in a command line is expanded, redirected or run: a
// macro variable that holds ";", "|", "$(...)" or "*" arrives as that text.
//
// The rules, close to what a Windows user expects of a command line:
// - words are separated by spaces and tabs (and line breaks) outside quotes;
// - a double quote starts or ends a quoted part, which may be a whole word
//   ("C:/Program Files/x" or "/tmp/my dir/run.sh") or a piece of one
//   (--title="two words" gives --title=two words);
// - inside a quoted part, two double quotes in a row stand for one literal
//   double quote ("say ""hi""" gives say "hi");
// - "" on its own is an empty argument;
// - a backslash is an ordinary character, so paths and patterns keep theirs;
// - a quoted part left open runs to the end of the line.

#include <string>
#include <vector>

namespace tarn::posix {

std::vector<std::string> splitCommandLine(const std::string& commandLine);

}  // namespace tarn::posix

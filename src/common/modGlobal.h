// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The path routines every window shares. They work on the text alone and never
// touch the file system. Paths are Linux paths: the separator is "/" and there
// is no drive prefix, so a ":" is an ordinary character of a file name and is
// never cut away. Positions are byte positions; the characters searched for
// ("/", ".") are ASCII and never occur inside a multi-byte UTF-8 sequence, so
// UTF-8 names are split at the same places as their characters.

#include <string>

namespace tarn {

inline constexpr char kPathSeparator = '/';

// The text with "/" appended when its last character is not "/"; an empty text
// gives "/". AddBackslash("/usr/bin") == "/usr/bin/", AddBackslash("/") == "/".
std::string AddBackslash(const std::string& psvPath);

// The folder part without a trailing "/": the text before the last "/". A bare
// name, and a name directly under the root folder ("/x.mcr"), give an empty text.
// GetPath("/home/ann/a.mcr") == "/home/ann".
std::string GetPath(const std::string& psvPath);

// The file name with its extension: the text after the last "/"; a text without
// "/" is returned as it is. A path that ends in "/" names a folder: it is
// returned unchanged ("/home/ann/"), except when that last character is its only
// "/" ("ann/", "/"), which gives an empty text, as does an empty text.
// FileNameOnly("/home/ann/a.mcr") == "a.mcr".
std::string FileNameOnly(const std::string& psvPath);

// The file name without folder and extension: the text after the last "/" (the
// whole text when it ends in "/"), cut before its first ".".
// BaseName("/usr/bin/notepad.tar.gz") == "notepad"; BaseName(".profile") == "";
// BaseName("/home/ann/") == "/home/ann/".
std::string BaseName(const std::string& psvPath);

// Removes one leading double quote when the text begins with one, then one
// trailing double quote when the (shortened) text ends with one; nothing else
// changes. StripQuotes("\"a b\"") == "a b", StripQuotes("\"") == "".
std::string StripQuotes(const std::string& psvText);

// A path typed as in a file dialog: a leading "~/" (or a "~" alone) stands for
// the home folder psvHome; any other text is returned unchanged ("~ann/x" and
// "a/~/x" included). ExpandHome("~/a.mcr", "/home/ann") == "/home/ann/a.mcr".
std::string ExpandHome(const std::string& psvPath, const std::string& psvHome);

}  // namespace tarn

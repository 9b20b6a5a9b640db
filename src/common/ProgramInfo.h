// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Facts about the running program that several windows need: its title, its
// version, the name it was started under and the folder it lives in.

#include <QString>

namespace tarn {

// The program's title, fixed when the program is built: "Tarn". It is the
// application name of the "Settings" section and appears in captions.
QString appTitle();

// The file name of the running executable, e.g. "tarn". Linux executables carry
// no extension, so the whole file name is used (cutting at a "." would cut a
// version number such as "tarn-2.0"). It is the application name of the
// "RecentFileList" section: renaming the executable moves "Last File".
// Needs a QCoreApplication.
QString executableAppName();

// The folder of the running executable, without a trailing "/" (the root folder
// is "/"). Needs a QCoreApplication.
QString programFolder();

// Whether psvFolder lies in one of the system's program folders (/usr, /opt,
// /bin, ... or the prefix Tarn was built to be installed in, links resolved):
// a copy there was installed by a package or by root, and keeps nothing beside
// itself, even where it could write (as root can). A copy run from a build
// tree or a portable folder is not installed.
bool isSystemFolder(const QString& psvFolder);

// Who holds the copyright and under which licence Tarn may be shared, for
// `tarn --version` and the about box.
inline constexpr char kCopyrightNotice[] = "Copyright (C) 2026 The Tarn developers";
inline constexpr char kLicenceNotice[] =
    "License GPLv3+: GNU GPL version 3 or later <https://www.gnu.org/licenses/gpl.html>.\n"
    "This is free software: you are free to change and redistribute it.\n"
    "There is NO WARRANTY, to the extent permitted by law.";
// The about box's one line.
inline constexpr char kLicenceShort[] = "Free software under the GNU GPL 3 or later";

// The program's version: 2, 0 and 3 for this version.
int versionMajor();
int versionMinor();
int versionRevision();
// "2.0.3".
QString versionText();

}  // namespace tarn

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

// The program's version: 2, 0 and 3 for this version.
int versionMajor();
int versionMinor();
int versionRevision();
// "2.0.3".
QString versionText();

}  // namespace tarn

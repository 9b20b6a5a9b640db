// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The per-user settings store: text values addressed by application name,
// section and key, kept with QSettings in INI files in the user's configuration
// folder: $XDG_CONFIG_HOME/Tarn/<application name>.ini (~/.config/Tarn/...).
// The title "Tarn" is the application name of everything in "Settings"; the
// executable's name (executableAppName()) is the application name of
// "RecentFileList", so "Last File" follows a renamed executable.
//
// Numbers are written as their shortest decimal text ("1234.5", "7") and read
// back unchanged. A stored text that does not convert to the type asked for, or
// does not fit it, reads as the default. A store that cannot be written never
// stops the program: the first failure is reported once on standard error and
// the value is lost.
//
// Everything here runs on the user-interface thread; a QCoreApplication is not
// needed except for executableAppName().

#include <QStandardPaths>
#include <QString>
#include <cstdint>

namespace tarn {

// Sections and keys used by the windows.
inline constexpr char kSectionRecentFileList[] = "RecentFileList";
inline constexpr char kKeyLastFile[] = "Last File";
inline constexpr char kSectionSettings[] = "Settings";
inline constexpr char kKeyLeft[] = "Left";
inline constexpr char kKeyTop[] = "Top";
inline constexpr char kKeyEditorWidth[] = "Editor Width";
inline constexpr char kKeyEditorHeight[] = "Editor Height";
inline constexpr char kKeyEditorLeft[] = "Editor Left";
inline constexpr char kKeyEditorTop[] = "Editor Top";
inline constexpr char kKeyLogViewerWidth[] = "LogViewer Width";
inline constexpr char kKeyLogViewerHeight[] = "LogViewer Height";
inline constexpr char kKeyLogViewerLeft[] = "LogViewer Left";
inline constexpr char kKeyLogViewerTop[] = "LogViewer Top";
inline constexpr char kKeyEditorDefaultRunWait[] = "Editor Default Run Wait";

// The stored text, or psvDefault when the value is missing (or the store cannot
// be read).
QString GetSetting(const QString& psvAppName, const QString& psvSection, const QString& psvKey,
                   const QString& psvDefault = QString());

// Creates or replaces the value. Never throws; see the note on unwritable stores.
void SaveSetting(const QString& psvAppName, const QString& psvSection, const QString& psvKey,
                 const QString& psvSetting);

// A single-precision number (window geometry in twips). The default when the
// value is missing, is not a decimal number (blanks around it are allowed), is
// not finite, or lies outside [pfLowest, pfHighest].
float readSingle(const QString& psvAppName, const QString& psvSection, const QString& psvKey,
                 float pfDefault, float pfLowest = -3.4e38f, float pfHighest = 3.4e38f);

// A 16-bit integer (the editor's run wait): the stored decimal number rounded to
// the nearest integer, halves to the even neighbour ("2.5" -> 2). The default
// when the value is missing, does not convert, or does not fit 16 bits ("99999").
std::int16_t readInteger(const QString& psvAppName, const QString& psvSection,
                         const QString& psvKey, std::int16_t piDefault);

// The shortest decimal text that reads back as the same number: 1440 -> "1440",
// 0.1f -> "0.1", 2.5f -> "2.5". Used to write numbers with SaveSetting.
QString numberText(float pfValue);
QString numberText(double pfValue);

// The user's folder of that kind (configuration, data) as the toolkit finds
// it, or empty when neither the XDG variable named nor HOME says where it is:
// the toolkit would take the root folder then.
QString userFolder(QStandardPaths::StandardLocation location, const char* variable);

// The INI file that holds the values of an application name; empty when the
// user has no configuration folder, and then nothing is read or kept.
QString settingsFilePath(const QString& psvAppName);

// Points the store at another configuration folder (the files then live in
// psvFolder/Tarn/); an empty text goes back to the user's configuration folder.
// A failure to write to the new store is reported again. For tests, which must never touch the
// user's real settings.
void setSettingsFolder(const QString& psvFolder);
// The configuration folder in use (the one above "Tarn/").
QString settingsFolder();

}  // namespace tarn

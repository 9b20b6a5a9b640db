// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The commented examples the Wizard menu inserts, one function per command.
// Each text is exactly what goes into the macro: lines end with CR LF, blanks
// at line ends are part of the text, and where the caret lands afterwards is
// simply the end of the text (the Send template stops behind its opening
// quote so the keys can be typed straight away).
//
// Also the reading and storing of the default run wait that the Run,
// RunExecute and Wait templates write into their Wait lines.

#include <QString>

#include <cstdint>
#include <optional>

namespace tarn::editor {

// "Rem", a blank, 73 "=" and a trailing blank: 78 characters.
QString bannerLine();

QString CloseWindowTemplate();
QString GetProcessIDTemplate();
QString GetWindowIDTemplate();
QString KillProcessTemplate();
QString SendTemplate();
QString SetFocusTemplate();
QString ShutDownWindowsTemplate();
QString TimeOutTemplate();
QString WaitTemplate(std::int16_t piRunWait);
QString RemarkTemplate();
// psvPath: the program chosen in the file dialog, a full path.
QString RunTemplate(const QString& psvPath, std::int16_t piRunWait);
QString RunExecuteTemplate(const QString& psvPath, std::int16_t piRunWait);

// The user variable that Run assigns: the lower-cased file name from the last
// "/" on, cut before its first "." ("/usr/bin/xterm" -> "xterm"), then "ID".
QString runVariableName(const QString& psvPath);

// The default run wait when none is stored (or the stored one is unusable).
inline constexpr std::int16_t kDefaultRunWait = 5;

// The numeric value of an answer typed into the run wait box: the longest
// leading decimal number (sign, digits, one decimal point, exponent), blanks
// anywhere skipped; 0 when the answer starts with no number ("abc").
double numericValue(const QString& psvText);

// The run wait that a value gives: rounded to the nearest whole second, halves
// to the even neighbour. Empty when it does not fit a 16-bit integer.
std::optional<std::int16_t> runWaitFromValue(double pfValue);

// The stored default run wait ("Editor Default Run Wait"), piDefault when
// missing or unusable.
std::int16_t readRunWait(std::int16_t piDefault = kDefaultRunWait);

// Applies an answer of the run wait box: an empty answer (also a cancelled
// box) changes nothing; otherwise its numeric value is stored (whole numbers
// without a decimal point) and the new run wait returned. A value beyond the
// 16-bit range is neither stored nor used: the wait then stays piCurrent.
std::int16_t applyRunWaitAnswer(const QString& psvAnswer, std::int16_t piCurrent);

}  // namespace tarn::editor

// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Message boxes for texts that quote what the user wrote: a macro line, a path.
// A plain message box wraps its text between words only, so an unbroken run
// longer than the box (a long Send line, a deep path) runs off its right edge.
// These boxes may also break such a run between any two of its characters, on
// screen only: the caller's text itself is left as it is.

#include <QString>

class QWidget;

namespace tarn {

// Where an unbroken run of at least this many characters may be broken.
inline constexpr int kLongRunCharacters = 40;

// psvText with a zero-width break opportunity between the characters of each
// run of kLongRunCharacters or more non-blank characters (never inside a
// surrogate pair or before a combining mark). Line ends may be CR LF or LF.
QString breakableText(const QString& psvText);

// A question with Yes and No buttons and the question icon, Yes the default;
// true for Yes. Line ends may be CR LF or LF.
bool askYesNo(QWidget* poOwner, const QString& psvTitle, const QString& psvText);

}  // namespace tarn

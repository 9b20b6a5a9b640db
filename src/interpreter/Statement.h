// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The classification of a macro line and of a value text, shared by the run
// (clsMacro::Process and GetVarValue) and by the checker, so that both read a
// line the same way. Nothing here evaluates or runs anything.

#include <cstddef>
#include <string>
#include <string_view>

#include "Value.h"

namespace tarn {

// Values nest by recursion ("Run Run Run x", GetWindowID inside GetProcessID);
// a value nested deeper than any macro needs is refused with 28 "Out of stack
// space" before it can exhaust the stack, by the run and the checker alike.
inline constexpr int kMaxValueDepth = 100;

// The ten keywords a command line can start with, in the order they are tried.
enum class Keyword {
    RunExecute,
    TimeOut,
    Run,
    Send,
    SetFocus,
    Wait,
    ShutDownWindows,
    KillProcess,
    CloseWindow,
    Rem,
    Invalid
};

// The keyword for an upper-cased first word; Invalid for any other word.
Keyword KeywordOf(std::string_view psvUpper);
// Whether the command splits its parameter text into fields at commas.
bool SplitsParameters(Keyword pKeyword);

struct Statement {
    enum class Form { Ignored, Comment, Assignment, Command };
    Form form = Form::Ignored;
    // Where the line's text begins after blank removal (0-based byte offset).
    std::size_t offset = 0;
    // Assignment: the name after blank removal, and the right-hand side as it
    // stands after the first "=".
    std::string name;
    std::string rightSide;
    std::size_t rightSideOffset = 0;
    // Command: the first word upper-cased, its keyword, the parameter text as
    // the command receives it (end quotes removed unless it splits fields) and
    // where the parameter text begins in the line.
    std::string word;
    Keyword keyword = Keyword::Invalid;
    std::string parameters;
    std::size_t parametersOffset = 0;
};

// Classifies one line as read from the file: comment, assignment, command, or
// a line that is ignored (empty, or a single word without a blank after it).
Statement ClassifyStatement(std::string_view psvLine);

// The form of a value text, by the first rule that applies: a quoted literal
// (argument: the text between the quotes), an embedded Run, GetProcessID or
// GetWindowID (argument: the text handed on), or anything else (argument: the
// text after blank removal, looked up as a variable name before it is read as
// a literal). A text that is a single quote is failure 5.
struct ValueForm {
    enum class Kind { Quoted, Run, GetProcessID, GetWindowID, Other };
    Kind kind = Kind::Other;
    std::string argument;
};
ValueForm ClassifyValue(std::string_view psvText);

// The value of a text that is neither quoted, embedded nor a variable: a
// number when the text is a number's standard form, else the text as given.
Value LiteralValue(std::string_view psvText);

}  // namespace tarn

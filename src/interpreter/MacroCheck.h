// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Checking macros without running them: every line is classified by the same
// routines a run uses, and what a run would refuse before it has touched
// anything - an invalid command, an unbalanced quote in split parameters, keys
// Send cannot read, a literal that Wait, TimeOut, ShutDownWindows, KillProcess,
// CloseWindow or RunExecute cannot convert, the 101st variable - is reported
// with its line and column. Values that only a run knows (variables, embedded
// Run, GetProcessID and GetWindowID) are passed over.

#include <cstdint>
#include <iosfwd>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "Value.h"
#include "VariableTable.h"

namespace tarn {

struct Finding {
    std::int32_t line = 0;    // 1-based
    std::int32_t column = 0;  // 1-based, in characters
    std::int32_t number = 0;  // the failure number a run would raise
    std::string description;
};

// Checks the lines of one macro in order; the variables a line assigns are
// known to the lines after it, as in a run.
class MacroChecker {
  public:
    // Checks the next line and returns its finding, if any (a run stops at the
    // first failure of a line, so there is at most one).
    std::optional<Finding> checkLine(std::string_view psvLine);
    // Whether the last line checked depends on values only a run knows.
    bool lineDependsOnRun() const { return mbUnknown; }
    // Send statements whose keys come from a variable or an embedded command.
    std::int32_t skippedSends() const { return mlSkippedSends; }
    // Whether the lines still to come would be checked alike after this
    // checker and after the other: they know the same variables.
    bool sameVariables(const MacroChecker& pOther) const;

  private:
    std::optional<Value> evaluate(std::string_view psvText);
    // A Run command line: evaluated, and refused as the run refuses it.
    void checkCommandLine(std::string_view psvText);
    void checkAssignment(const std::string& psvName, const std::string& psvRightSide);
    void checkCommand(const struct Statement& pStatement);

    VariableTable mVars;
    std::int32_t mlLine = 0;
    std::int32_t mlSkippedSends = 0;
    bool mbUnknown = false;
    // How deep evaluate is nested, counted as the run counts GetVarValue.
    int miValueDepth = 0;
};

// Every finding of a macro text whose lines end at CR, CR LF or LF.
std::vector<Finding> CheckMacroText(std::string_view psvText);

// One line in the form compilers use (Diagnostic.h).
std::string FormatFinding(const std::string& psvFile, const Finding& pFinding);

// Checks each file ("-": standard input) and writes its findings to out, and
// files that cannot be read and Send statements that were not checked to err.
// Returns 0 when everything is clean, 1 when something was found, 2 when a
// file could not be read or the findings could not be written.
int CheckMacroFiles(const std::vector<std::string>& psvFiles, std::ostream& out, std::ostream& err);

}  // namespace tarn

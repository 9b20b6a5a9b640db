// SPDX-License-Identifier: GPL-3.0-or-later
#include "MacroCheck.h"

#include <ostream>

#include "Conversions.h"
#include "Diagnostic.h"
#include "Failure.h"
#include "KeyNotation.h"
#include "MacroFile.h"
#include "RunCommandLine.h"
#include "Statement.h"
#include "Syntax.h"
#include "Utf8.h"

namespace tarn {
namespace {

constexpr const char* kQuoteHint = "quotes protect commas and must be closed";

// A failure a run would raise, with a hint to what on the line caused it.
struct Refusal {
    Failure failure;
    std::string hint;
    // The failure concerns the line as a whole rather than its parameters.
    bool wholeLine = false;
};

[[noreturn]] void refuse(const Failure& failure, std::string hint, bool wholeLine = false) {
    throw Refusal{failure, std::move(hint), wholeLine};
}

// Runs a conversion or a parser of the run; its failure becomes a refusal.
template <class Body>
decltype(auto) orRefuse(const char* hint, Body&& body) {
    try {
        return body();
    } catch (const Failure& failure) {
        refuse(failure, hint);
    }
}

}  // namespace

std::optional<Value> MacroChecker::evaluate(std::string_view psvText) {
    // The run refuses a value nested this deep with 28; the check must neither
    // go deeper than the run nor exhaust its own stack.
    if (miValueDepth >= kMaxValueDepth) {
        refuse(runtimeFailure(kOutOfStackSpace), "values nested too deep");
    }
    ++miValueDepth;
    struct Leave {
        int& depth;
        ~Leave() { --depth; }
    } leave{miValueDepth};
    const ValueForm form =
        orRefuse("a lone quote is no text", [&] { return ClassifyValue(psvText); });
    switch (form.kind) {
        case ValueForm::Kind::Quoted:
            return form.argument;
        case ValueForm::Kind::Run:
            checkCommandLine(form.argument);
            mbUnknown = true;
            return std::nullopt;
        case ValueForm::Kind::GetProcessID:
            if (const std::optional<Value> window = evaluate(form.argument)) {
                orRefuse("GetProcessID needs a window ID", [&] { return toLong(*window); });
            }
            mbUnknown = true;
            return std::nullopt;
        case ValueForm::Kind::GetWindowID: {
            ParameterList params;
            orRefuse(kQuoteHint, [&] { ParseParameters(form.argument, params); });
            evaluate(params[1]);
            if (const std::optional<Value> method = evaluate(params[2])) {
                const std::string text = toText(*method);
                if (!text.empty()) {
                    orRefuse("GetWindowID's method",
                             [&] { return roundToLong(numericPrefixValue(text)); });
                }
            }
            evaluate(params[3]);
            evaluate(params[4]);
            mbUnknown = true;
            return std::nullopt;
        }
        case ValueForm::Kind::Other:
            break;
    }
    if (const std::int16_t slot = mVars.Lookup(form.argument)) {
        // A free slot answers an empty name with its empty value.
        if (mVars.name(slot).empty()) return std::string();
        mbUnknown = true;
        return std::nullopt;
    }
    return LiteralValue(psvText);
}

void MacroChecker::checkCommandLine(std::string_view psvText) {
    if (const std::optional<Value> commandLine = evaluate(psvText)) {
        orRefuse("Run needs a program and no NUL character",
                 [&] { CheckRunCommandLine(toText(*commandLine)); });
    }
}

void MacroChecker::checkAssignment(const std::string& psvName, const std::string& psvRightSide) {
    if (psvName.empty())
        refuse(Failure(kInvalidMacroCommand, "Invalid macro command"),
               "no variable name before \"=\"", true);
    if (mVars.Lookup(psvName) != 0) {
        evaluate(psvRightSide);
        return;
    }
    if (mVars.nextFree() > VariableTable::kSlots) {
        refuse(runtimeFailure(kSubscriptOutOfRange), "a macro has room for 100 variables", true);
    }
    // As in a run: the name is in place while the right-hand side is read, and
    // the slot counts as taken only when that succeeded.
    mVars.addName(psvName);
    evaluate(psvRightSide);
    mVars.advance();
}

void MacroChecker::checkCommand(const Statement& pStatement) {
    const std::string& text = pStatement.parameters;
    ParameterList params;
    if (SplitsParameters(pStatement.keyword)) {
        orRefuse(kQuoteHint, [&] { ParseParameters(text, params); });
    }
    switch (pStatement.keyword) {
        case Keyword::RunExecute: {
            for (int i = 1; i <= 4; ++i)
                evaluate(params[i]);
            const std::optional<Value> show = evaluate(params[5]);
            if (show && !toText(*show).empty()) {
                orRefuse("RunExecute's show command is a whole number",
                         [&] { return toLong(*show); });
            }
            return;
        }
        case Keyword::TimeOut:
            if (const std::optional<Value> seconds = evaluate(text)) {
                orRefuse("TimeOut seconds",
                         [&] { return roundToLong(numericPrefixValue(toText(*seconds))); });
            }
            return;
        case Keyword::Run:
            checkCommandLine(text);
            return;
        case Keyword::Send:
            if (const std::optional<Value> keys = evaluate(text)) {
                orRefuse("Send cannot read these keys",
                         [&] { return parseKeys(toText(*keys)).size(); });
            } else {
                ++mlSkippedSends;
            }
            return;
        case Keyword::SetFocus: {
            const bool numeric = isNumericText(params[1]);
            const std::optional<Value> app = evaluate(params[1]);
            if (!numeric) {
                if (const std::optional<Value> method = evaluate(params[2])) {
                    const std::string methodText = toText(*method);
                    if (!methodText.empty()) {
                        orRefuse("SetFocus's method",
                                 [&] { return roundToLong(numericPrefixValue(methodText)); });
                    }
                }
                evaluate(params[3]);
                evaluate(params[4]);
            }
            if (app && isNumeric(*app)) {
                orRefuse("SetFocus's process ID", [&] { return toLong(*app); });
            }
            return;
        }
        case Keyword::Wait:
            if (const std::optional<Value> seconds = evaluate(text)) {
                orRefuse("Wait takes whole seconds up to 32767",
                         [&] { return toInteger(*seconds); });
            }
            return;
        case Keyword::ShutDownWindows: {
            // In the run's order, so that the same failure comes first: the
            // options are read as a number, then the second parameter is
            // evaluated, and only then is the number's range looked at.
            const std::optional<Value> options = evaluate(params[1]);
            std::int16_t value = 1;
            if (options && !toText(*options).empty()) {
                value = orRefuse("ShutDownWindows' options are 1 to 4",
                                 [&] { return toInteger(*options); });
            }
            evaluate(params[2]);
            if (value < 1 || value > 4) {
                refuse(Failure(kInvalidExitOption,
                               "An invalid parameter was passed to the macro "
                               "intrepreter's ExitWindows command"),
                       "ShutDownWindows' options are 1 to 4");
            }
            return;
        }
        case Keyword::KillProcess:
        case Keyword::CloseWindow:
            if (const std::optional<Value> id = evaluate(text)) {
                orRefuse(pStatement.keyword == Keyword::KillProcess
                             ? "KillProcess needs a process ID"
                             : "CloseWindow needs a window ID",
                         [&] { return toLong(*id); });
            }
            return;
        case Keyword::Rem:
            return;
        case Keyword::Invalid:
            break;
    }
    const Failure invalid(kInvalidMacroCommand, "Invalid macro command");
    if (pStatement.word == "GETWINDOWID" || pStatement.word == "GETPROCESSID") {
        refuse(invalid,
               "it gives a value: uservar = " +
                   std::string(pStatement.word == "GETWINDOWID" ? "GetWindowID" : "GetProcessID") +
                   " ...");
    }
    refuse(invalid, "");
}

std::optional<Finding> MacroChecker::checkLine(std::string_view psvLine) {
    ++mlLine;
    mbUnknown = false;
    const Statement statement = ClassifyStatement(psvLine);
    std::size_t offset = statement.offset;
    try {
        switch (statement.form) {
            case Statement::Form::Assignment:
                offset = statement.rightSideOffset;
                checkAssignment(statement.name, statement.rightSide);
                break;
            case Statement::Form::Command:
                if (statement.keyword != Keyword::Invalid) offset = statement.parametersOffset;
                checkCommand(statement);
                break;
            case Statement::Form::Comment:
            case Statement::Form::Ignored:
                break;
        }
    } catch (const Refusal& refusal) {
        if (refusal.wholeLine) offset = statement.offset;
        Finding finding;
        finding.line = mlLine;
        finding.column = static_cast<std::int32_t>(utf8::length(psvLine.substr(0, offset))) + 1;
        finding.number = refusal.failure.number();
        std::string description = refusal.failure.description();
        if (description.rfind(" - ", 0) == 0) description.erase(0, 3);
        if (!refusal.hint.empty()) description += " (" + refusal.hint + ")";
        finding.description = std::move(description);
        return finding;
    }
    return std::nullopt;
}

bool MacroChecker::sameVariables(const MacroChecker& pOther) const {
    if (mVars.nextFree() != pOther.mVars.nextFree()) return false;
    for (std::int16_t slot = 1; slot < mVars.nextFree(); ++slot) {
        if (mVars.name(slot) != pOther.mVars.name(slot) ||
            mVars.value(slot) != pOther.mVars.value(slot)) {
            return false;
        }
    }
    return true;
}

std::vector<Finding> CheckMacroText(std::string_view psvText) {
    std::vector<Finding> findings;
    MacroChecker checker;
    std::size_t begin = 0;
    for (std::int32_t line = 1; begin < psvText.size(); ++line) {
        std::size_t end = psvText.find_first_of("\r\n", begin);
        if (end == std::string_view::npos) end = psvText.size();
        if (end - begin > kMaxLineBytes) {
            const Failure failure = lineTooLongFailure();
            findings.push_back(Finding{line, 1, failure.number(), failure.description()});
            break;
        }
        if (std::optional<Finding> finding =
                checker.checkLine(psvText.substr(begin, end - begin))) {
            findings.push_back(std::move(*finding));
        }
        begin = end;
        if (begin < psvText.size()) {
            const bool crlf =
                psvText[begin] == '\r' && begin + 1 < psvText.size() && psvText[begin + 1] == '\n';
            begin += crlf ? 2 : 1;
        }
    }
    return findings;
}

std::string FormatFinding(const std::string& psvFile, const Finding& pFinding) {
    return FormatDiagnostic(psvFile, pFinding.line, pFinding.column, pFinding.description,
                            pFinding.number);
}

int CheckMacroFiles(const std::vector<std::string>& psvFiles, std::ostream& out,
                    std::ostream& err) {
    int status = 0;
    for (const std::string& path : psvFiles) {
        // "-" is standard input, named as compilers name it.
        const bool standardInput = path == "-";
        const std::string name = standardInput ? "<stdin>" : path;
        MacroFile file;
        MacroChecker checker;
        try {
            if (standardInput) {
                file.openStandardInput();
            } else {
                file.open(path);
            }
            std::string line;
            std::int32_t lineNumber = 0;
            for (;;) {
                std::optional<Finding> finding;
                try {
                    if (!file.readLine(line)) break;
                    finding = checker.checkLine(line);
                } catch (const Failure& failure) {
                    // The run stops at such a line, and so does the check.
                    if (failure.number() != kLineTooLong) throw;
                    finding = Finding{lineNumber + 1, 1, failure.number(), failure.description()};
                }
                ++lineNumber;
                if (finding) {
                    out << FormatFinding(name, *finding) << '\n';
                    if (status == 0) status = 1;
                }
                if (finding && finding->number == kLineTooLong) break;
            }
        } catch (const Failure& failure) {
            err << FormatDiagnostic(name, 0, 0, failure.description(), failure.number()) << '\n';
            status = 2;
            continue;
        }
        if (checker.skippedSends() > 0) {
            err << FormatNote(name, std::to_string(checker.skippedSends()) +
                                        " Send statement(s) not checked: their keys are known "
                                        "only when the macro runs")
                << '\n';
        }
    }
    // Findings that never reached their reader are no clean bill of health.
    if (!out.flush()) {
        err << "tarn: cannot write the findings to standard output\n";
        return 2;
    }
    return status;
}

}  // namespace tarn

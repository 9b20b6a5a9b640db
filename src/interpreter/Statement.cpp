// SPDX-License-Identifier: GPL-3.0-or-later
#include "Statement.h"

#include "Conversions.h"
#include "Failure.h"
#include "Syntax.h"
#include "Utf8.h"

namespace tarn {
namespace {

bool startsWith(std::string_view text, std::string_view prefix) {
    return text.substr(0, prefix.size()) == prefix;
}

constexpr std::string_view kKeywords[] = {
    "RUNEXECUTE", "TIMEOUT",         "RUN",         "SEND",        "SETFOCUS",
    "WAIT",       "SHUTDOWNWINDOWS", "KILLPROCESS", "CLOSEWINDOW", "REM"};

}  // namespace

Keyword KeywordOf(std::string_view psvUpper) {
    for (std::size_t i = 0; i < std::size(kKeywords); ++i) {
        if (psvUpper == kKeywords[i]) return static_cast<Keyword>(i);
    }
    return Keyword::Invalid;
}

bool SplitsParameters(Keyword pKeyword) {
    return pKeyword == Keyword::RunExecute || pKeyword == Keyword::SetFocus ||
           pKeyword == Keyword::ShutDownWindows;
}

Statement ClassifyStatement(std::string_view psvLine) {
    Statement statement;
    const std::string_view text = LeadingAndTrailingSpacesRemoved(psvLine);
    const std::size_t offset = static_cast<std::size_t>(text.data() - psvLine.data());
    statement.offset = offset;

    const std::size_t blank = text.find(' ');
    if (blank != std::string_view::npos && utf8::upper(text.substr(0, blank)) == "REM") {
        statement.form = Statement::Form::Comment;
        return statement;
    }

    const std::size_t equals = text.find('=');
    if (equals != std::string_view::npos && equals + 1 < text.size() &&
        text.find(kQuote) > equals) {
        statement.form = Statement::Form::Assignment;
        statement.name = RemoveLeadingAndTrailingSpaces(text.substr(0, equals));
        statement.rightSide = std::string(text.substr(equals + 1));
        statement.rightSideOffset = offset + equals + 1;
        return statement;
    }

    // ShutDownWindows may be written without parameters.
    if (utf8::lowerAscii(text) == "shutdownwindows") {
        statement.form = Statement::Form::Command;
        statement.word = "SHUTDOWNWINDOWS";
        statement.keyword = Keyword::ShutDownWindows;
        statement.parametersOffset = offset + text.size();
        return statement;
    }

    const std::size_t separator = text.find(' ');
    if (separator == std::string_view::npos || separator == 0) return statement;
    statement.form = Statement::Form::Command;
    statement.word = utf8::upper(text.substr(0, separator));
    statement.keyword = KeywordOf(statement.word);
    const std::string_view rest = text.substr(separator + 1);
    const std::string_view params = TrimBlanks(rest);
    statement.parametersOffset = params.empty()
                                     ? offset + text.size()
                                     : static_cast<std::size_t>(params.data() - psvLine.data());
    // SetFocus and RunExecute keep their quotes: they protect commas there.
    const bool keepQuotes =
        statement.keyword == Keyword::SetFocus || statement.keyword == Keyword::RunExecute;
    statement.parameters = keepQuotes ? std::string(params) : RemoveStartAndEndQuotes(params);
    return statement;
}

ValueForm ClassifyValue(std::string_view psvText) {
    const std::string text = RemoveLeadingAndTrailingSpaces(psvText);
    const std::string folded = utf8::upper(text);
    ValueForm form;
    if (!text.empty() && text.front() == kQuote && text.back() == kQuote) {
        if (text.size() == 1) throw runtimeFailure(kInvalidArgument);
        form.kind = ValueForm::Kind::Quoted;
        form.argument = text.substr(1, text.size() - 2);
    } else if (startsWith(folded, "RUN ") && folded.size() > 4) {
        form.kind = ValueForm::Kind::Run;
        form.argument = RemoveStartAndEndQuotes(RemoveLeadingAndTrailingSpaces(text.substr(4)));
    } else if (startsWith(folded, "GETPROCESSID ") && folded.size() > 13) {
        form.kind = ValueForm::Kind::GetProcessID;
        form.argument = RemoveLeadingAndTrailingSpaces(text.substr(13));
    } else if (startsWith(folded, "GETWINDOWID ") && folded.size() > 12) {
        form.kind = ValueForm::Kind::GetWindowID;
        form.argument = RemoveLeadingAndTrailingSpaces(text.substr(12));
    } else {
        form.argument = text;
    }
    return form;
}

Value LiteralValue(std::string_view psvText) {
    const std::string_view trimmed = TrimBlanks(psvText);
    try {
        const double number = numericPrefixValue(psvText);
        if (trimmed == TrimBlanks(standardForm(number))) return number;
    } catch (const Failure&) {
        // Too large for a number: then it is a plain text.
    }
    return std::string(psvText);
}

}  // namespace tarn

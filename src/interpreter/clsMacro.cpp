// The run loop, the statement forms, values, variables and the dispatch.
#include "clsMacro.h"

#include <algorithm>
#include <new>

#include "Conversions.h"
#include "Failure.h"
#include "Syntax.h"
#include "Utf8.h"

namespace tarn {
namespace {

bool startsWith(const std::string& text, std::string_view prefix) {
    return text.compare(0, prefix.size(), prefix) == 0;
}

// Embedded commands nest value evaluations by recursion ("Run Run Run x"); a
// value nested deeper than any macro needs is refused before it can exhaust
// the stack.
constexpr int kMaxValueDepth = 100;

// Carries a too-deep evaluation out to the outermost one untouched, which then
// raises the failure once instead of every level adding its name.
struct ValueTooDeep {};

struct DepthGuard {
    explicit DepthGuard(int& depth) : depth_(depth) { ++depth_; }
    ~DepthGuard() { --depth_; }
    DepthGuard(const DepthGuard&) = delete;
    DepthGuard& operator=(const DepthGuard&) = delete;
    int& depth_;
};

}  // namespace

clsMacro::clsMacro(Platform platform) : mPlatform(platform) {}

clsMacro::~clsMacro() = default;

void clsMacro::RunMacro(const std::string& psvFile) {
    withSource("RunMacro", [&] {
        try {
            miFileNum = OpenFile(psvFile);
            // A stop requested before the run starts is forgotten.
            mbCancel = false;
            mlLineNumber = 0;
            std::string line;
            while (!mbCancel && mFile.readLine(line)) {
                ++mlLineNumber;
                Process(line);
                mPlatform.host.yield();
            }
        } catch (const std::bad_alloc&) {
            CloseFile(miFileNum);
            throw runtimeFailure(kOutOfMemory);
        } catch (...) {
            CloseFile(miFileNum);
            throw;
        }
        CloseFile(miFileNum);
    });
}

std::int16_t clsMacro::OpenFile(const std::string& psvFile) {
    return withSource("OpenFile", [&] {
        mFile.open(psvFile);
        // File numbers are those the runtime hands out; one macro file is open
        // at a time per object.
        miFileNum = 1;
        ClearVars();
        return miFileNum;
    });
}

void clsMacro::CloseFile(std::int16_t piFileNum) {
    withSource("CloseFile", [&] {
        if (piFileNum == miFileNum) mFile.close();
    });
}

void clsMacro::ClearVars() {
    mVars.ClearVars();
}

std::int16_t clsMacro::Lookup(const std::string& psvName) {
    return withSource("Lookup", [&] { return mVars.Lookup(psvName); });
}

void clsMacro::RaiseDataInQueue(const std::string& psvData) {
    try {
        if (DataInQueue) DataInQueue(psvData);
    } catch (const std::exception&) {
        // The host's trouble with one report does not stop the statement.
    }
    mPlatform.host.yield();
}

void clsMacro::Process(const std::string& psvData) {
    withSource("Process", [&] {
        RaiseDataInQueue(psvData);
        std::string text = withSource("RemoveLeadingAndTrailingSpaces",
                                      [&] { return RemoveLeadingAndTrailingSpaces(psvData); });

        const std::size_t blank = text.find(' ');
        if (blank != std::string::npos && utf8::upper(text.substr(0, blank)) == "REM") return;

        const std::size_t equals = text.find('=');
        if (equals != std::string::npos && equals + 1 < text.size() && text.find(kQuote) > equals) {
            Assign(RemoveLeadingAndTrailingSpaces(std::string_view(text).substr(0, equals)),
                   text.substr(equals + 1));
            return;
        }

        if (utf8::lowerAscii(text) == "shutdownwindows") text += ' ';

        const std::size_t separator = text.find(' ');
        if (separator == std::string::npos || separator == 0) return;
        const std::string keyword = utf8::upper(text.substr(0, separator));
        std::string params(TrimBlanks(std::string_view(text).substr(separator + 1)));
        if (keyword != "SETFOCUS" && keyword != "RUNEXECUTE") {
            params = withSource("RemoveStartAndEndQuotes",
                                [&] { return RemoveStartAndEndQuotes(params); });
        }
        Dispatch(keyword, params);
    });
}

void clsMacro::Assign(const std::string& psvName, const std::string& psvRightSide) {
    // A line starting with "=" names no variable; storing it would make a free
    // slot answer for every empty parameter.
    if (psvName.empty()) throw Failure(1001, "Invalid macro command", ".Process");
    std::int16_t slot = Lookup(psvName);
    if (slot != 0) {
        mVars.setValue(slot, toText(GetVarValue(psvRightSide)));
        return;
    }
    if (mVars.nextFree() > VariableTable::kSlots) throw runtimeFailure(kSubscriptOutOfRange);
    // The name goes in before the right-hand side is evaluated, so a new
    // variable that names itself on the right reads as empty.
    slot = mVars.addName(psvName);
    mVars.setValue(slot, toText(GetVarValue(psvRightSide)));
    mVars.advance();
}

Value clsMacro::GetVarValue(const std::string& psvText) {
    if (miValueDepth >= kMaxValueDepth) throw ValueTooDeep{};
    const bool outermost = miValueDepth == 0;
    DepthGuard guard(miValueDepth);
    try {
        return EvaluateValue(psvText);
    } catch (const ValueTooDeep&) {
        if (!outermost) throw;
        Failure failure = runtimeFailure(kOutOfStackSpace);
        failure.appendSource("GetVarValue");
        throw failure;
    }
}

Value clsMacro::EvaluateValue(const std::string& psvText) {
    return withSource("GetVarValue", [&]() -> Value {
        const std::string text = RemoveLeadingAndTrailingSpaces(psvText);
        const std::string folded = utf8::upper(text);

        if (!text.empty() && text.front() == kQuote && text.back() == kQuote) {
            if (text.size() == 1) throw runtimeFailure(kInvalidArgument);
            return text.substr(1, text.size() - 2);
        }
        if (startsWith(folded, "RUN ") && folded.size() > 4) {
            const std::string argument =
                RemoveStartAndEndQuotes(RemoveLeadingAndTrailingSpaces(text.substr(4)));
            return Run(toText(GetVarValue(argument)));
        }
        if (startsWith(folded, "GETPROCESSID ") && folded.size() > 13) {
            return GetProcessID(GetVarValue(RemoveLeadingAndTrailingSpaces(text.substr(13))));
        }
        if (startsWith(folded, "GETWINDOWID ") && folded.size() > 12) {
            return EvaluateGetWindowID(RemoveLeadingAndTrailingSpaces(text.substr(12)));
        }
        if (const std::string* value = mVars.find(text)) return *value;

        const std::string_view trimmed = TrimBlanks(psvText);
        try {
            const double number = numericPrefixValue(psvText);
            if (trimmed == TrimBlanks(standardForm(number))) return number;
        } catch (const Failure&) {
            // Too large for a number: then it is a plain text.
        }
        return psvText;
    });
}

Value clsMacro::EvaluateGetWindowID(const std::string& psvArgument) {
    ParameterList params;
    ParseParameters(psvArgument, params);
    const auto deadline = Deadline();
    while (deadline > mPlatform.host.now()) {
        // The parameters are evaluated on every attempt: a variable named as the
        // title may be read afresh.
        const Value title = GetVarValue(params[1]);
        const std::string method = toText(GetVarValue(params[2]));
        const std::int32_t plMethod = method.empty() ? 0 : roundToLong(numericPrefixValue(method));
        const bool caseSensitive = readsTrue(GetVarValue(params[3]));
        const bool visibleOnly = !readsFalse(GetVarValue(params[4]));
        const WindowId found = FindWindowPartial(title, plMethod, caseSensitive, visibleOnly);
        if (found != 0) return found;
        IdleBetweenAttempts();
    }
    return WindowId{0};
}

void clsMacro::Dispatch(const std::string& psvKeyword, const std::string& psvParams) {
    ParameterList params;
    if (psvKeyword == "RUNEXECUTE") {
        ParseParameters(psvParams, params);
        std::string operation = toText(GetVarValue(params[1]));
        if (operation.empty()) operation = "Open";
        const std::string file = toText(GetVarValue(params[2]));
        const std::string parameters = toText(GetVarValue(params[3]));
        const std::string directory = toText(GetVarValue(params[4]));
        const Value show = GetVarValue(params[5]);
        const std::int32_t showCmd = toText(show).empty() ? 1 : toLong(show);
        RunExecute(operation, file, parameters, directory, showCmd);
    } else if (psvKeyword == "TIMEOUT") {
        mlTimeOut = roundToLong(numericPrefixValue(toText(GetVarValue(psvParams))));
    } else if (psvKeyword == "RUN") {
        Run(toText(GetVarValue(psvParams)));
    } else if (psvKeyword == "SEND") {
        Send(toText(GetVarValue(psvParams)));
    } else if (psvKeyword == "SETFOCUS") {
        ParseParameters(psvParams, params);
        if (isNumericText(params[1])) {
            SetFocus(GetVarValue(params[1]), 0, false, true);
        } else {
            const Value app = GetVarValue(params[1]);
            const std::string method = toText(GetVarValue(params[2]));
            const std::int32_t plMethod =
                method.empty() ? 0 : roundToLong(numericPrefixValue(method));
            SetFocus(app, plMethod, readsTrue(GetVarValue(params[3])),
                     !readsFalse(GetVarValue(params[4])));
        }
    } else if (psvKeyword == "WAIT") {
        Wait(static_cast<float>(toInteger(GetVarValue(psvParams))));
    } else if (psvKeyword == "SHUTDOWNWINDOWS") {
        ParseParameters(psvParams, params);
        const Value options = GetVarValue(params[1]);
        const std::int16_t piOptions = toText(options).empty() ? 1 : toInteger(options);
        ShutDownWindows(piOptions, readsTrue(GetVarValue(params[2])));
    } else if (psvKeyword == "KILLPROCESS") {
        KillProcess(toLong(GetVarValue(psvParams)));
    } else if (psvKeyword == "CLOSEWINDOW") {
        CloseWindow(toLong(GetVarValue(psvParams)));
    } else if (psvKeyword == "REM") {
        // A comment.
    } else {
        throw Failure(1001, "Invalid macro command", ".Process");
    }
}

void clsMacro::Wait(float pfSeconds) {
    withSource("Wait", [&] {
        using namespace std::chrono;
        // A monotonic clock: the wait lasts its full length across midnight and
        // across changes of the wall clock.
        const auto end = mPlatform.host.now() +
                         duration_cast<Host::Clock::duration>(duration<double>(pfSeconds));
        for (;;) {
            if (mbCancel) return;
            const auto now = mPlatform.host.now();
            if (now >= end) return;
            // Short slices keep Stop answered within a few milliseconds while the
            // process sleeps instead of spinning.
            const auto left = duration_cast<milliseconds>(end - now) + milliseconds(1);
            mPlatform.host.idle(std::min(left, milliseconds(10)));
        }
    });
}

Host::Clock::time_point clsMacro::Deadline() {
    return mPlatform.host.now() + std::chrono::seconds(mlTimeOut);
}

void clsMacro::IdleBetweenAttempts() {
    mPlatform.host.idle(std::chrono::milliseconds(10));
}

}  // namespace tarn

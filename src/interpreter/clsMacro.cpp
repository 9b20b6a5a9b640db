// SPDX-License-Identifier: GPL-3.0-or-later
// The run loop, the statement forms, values, variables and the dispatch.
#include "clsMacro.h"

#include <algorithm>
#include <new>

#include "Conversions.h"
#include "Failure.h"
#include "Statement.h"
#include "Syntax.h"

namespace tarn {
namespace {

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
        // A stop requested before the run starts is forgotten; one requested
        // while the file is opened (a pipe nobody writes) ends the opening.
        mbCancel = false;
        try {
            miFileNum = OpenFile(psvFile);
            mlLineNumber = 0;
            std::string line;
            while (!mbCancel) {
                // Counted before it is read, so that a line too long to read
                // is the one a failure points at; the end of the file is no
                // line.
                ++mlLineNumber;
                if (!mFile.readLine(line)) {
                    --mlLineNumber;
                    break;
                }
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
        // Stopped while it was opened: no file is open, and the run ends
        // before its first line.
        mFile.open(psvFile, [this] {
            mPlatform.host.yield();
            return mbCancel;
        });
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
    mProcessIdentities.clear();
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
        const Statement statement = ClassifyStatement(psvData);
        switch (statement.form) {
            case Statement::Form::Assignment:
                Assign(statement.name, statement.rightSide);
                return;
            case Statement::Form::Command:
                Dispatch(statement.keyword, statement.parameters);
                return;
            case Statement::Form::Comment:
            case Statement::Form::Ignored:
                return;
        }
    });
}

void clsMacro::Assign(const std::string& psvName, const std::string& psvRightSide) {
    // A line starting with "=" names no variable; storing it would make a free
    // slot answer for every empty parameter.
    if (psvName.empty()) throw Failure(kInvalidMacroCommand, "Invalid macro command", ".Process");
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
        const ValueForm form = ClassifyValue(psvText);
        switch (form.kind) {
            case ValueForm::Kind::Quoted:
                return form.argument;
            case ValueForm::Kind::Run:
                return Run(toText(GetVarValue(form.argument)));
            case ValueForm::Kind::GetProcessID:
                return GetProcessID(GetVarValue(form.argument));
            case ValueForm::Kind::GetWindowID:
                return EvaluateGetWindowID(form.argument);
            case ValueForm::Kind::Other:
                break;
        }
        if (const std::string* value = mVars.find(form.argument)) return *value;
        return LiteralValue(psvText);
    });
}

Value clsMacro::EvaluateGetWindowID(const std::string& psvArgument) {
    ParameterList params;
    ParseParameters(psvArgument, params);
    const auto deadline = Deadline();
    // A stop ends the search as it ends a Wait; the run then stops before its
    // next line.
    while (!mbCancel && deadline > mPlatform.host.now()) {
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

void clsMacro::Dispatch(Keyword pKeyword, const std::string& psvParams) {
    ParameterList params;
    if (SplitsParameters(pKeyword)) ParseParameters(psvParams, params);
    switch (pKeyword) {
        case Keyword::RunExecute: {
            std::string operation = toText(GetVarValue(params[1]));
            if (operation.empty()) operation = "Open";
            const std::string file = toText(GetVarValue(params[2]));
            const std::string parameters = toText(GetVarValue(params[3]));
            const std::string directory = toText(GetVarValue(params[4]));
            const Value show = GetVarValue(params[5]);
            const std::int32_t showCmd = toText(show).empty() ? 1 : toLong(show);
            RunExecute(operation, file, parameters, directory, showCmd);
            return;
        }
        case Keyword::TimeOut:
            mlTimeOut = roundToLong(numericPrefixValue(toText(GetVarValue(psvParams))));
            return;
        case Keyword::Run:
            Run(toText(GetVarValue(psvParams)));
            return;
        case Keyword::Send:
            Send(toText(GetVarValue(psvParams)));
            return;
        case Keyword::SetFocus:
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
            return;
        case Keyword::Wait:
            Wait(static_cast<float>(toInteger(GetVarValue(psvParams))));
            return;
        case Keyword::ShutDownWindows: {
            const Value options = GetVarValue(params[1]);
            const std::int16_t piOptions = toText(options).empty() ? 1 : toInteger(options);
            ShutDownWindows(piOptions, readsTrue(GetVarValue(params[2])));
            return;
        }
        case Keyword::KillProcess:
            KillProcess(toLong(GetVarValue(psvParams)));
            return;
        case Keyword::CloseWindow:
            CloseWindow(toLong(GetVarValue(psvParams)));
            return;
        case Keyword::Rem:
            // A comment.
            return;
        case Keyword::Invalid:
            break;
    }
    throw Failure(kInvalidMacroCommand, "Invalid macro command", ".Process");
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

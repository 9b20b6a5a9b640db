// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The macro interpreter. A host creates one object, hands it a macro file with
// RunMacro and receives every line through DataInQueue; the object reads the
// file a line at a time, keeps the user variables and carries out each
// statement against the platform.

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "MacroFile.h"
#include "Platform.h"
#include "Statement.h"
#include "Value.h"
#include "VariableTable.h"

namespace tarn {

class clsMacro {
  public:
    explicit clsMacro(Platform platform);
    ~clsMacro();
    clsMacro(const clsMacro&) = delete;
    clsMacro& operator=(const clsMacro&) = delete;

    // Events. Raised synchronously on the calling thread; a handler may set
    // CancelMacro. A failure thrown by a DataInQueue handler is discarded.
    std::function<void(const std::string& psvData)> DataInQueue;
    std::function<void()> ShuttingDown;

    // Properties.
    std::int32_t TimeOut() const { return mlTimeOut; }
    void TimeOut(std::int32_t plVal) { mlTimeOut = plVal; }
    std::int32_t hWnd() const { return mlhWnd; }
    void hWnd(std::int32_t plVal) { mlhWnd = plVal; }
    // The stop flag. Set by the host (from its event handlers, which run inside
    // the interpreter's yields); read before every line and in every pass of
    // Wait and of the window searches' retries, which it ends at once. Other
    // statements under way are not cut short (a long Send is stopped by the
    // stop key the keyboard asks).
    bool CancelMacro() const { return mbCancel; }
    void CancelMacro(bool pbVal) { mbCancel = pbVal; }

    // Run control.
    void RunMacro(const std::string& psvFile);
    std::int16_t OpenFile(const std::string& psvFile);
    void CloseFile(std::int16_t piFileNum);
    void Process(const std::string& psvData);

    // Commands.
    void Wait(float pfSeconds);
    void Send(const std::string& psvKeys);
    std::int32_t Run(const std::string& psvData);
    std::int32_t RunExecute(const std::string& psvOperation, const std::string& psvFileName,
                            const std::string& psvParameters, const std::string& psvStartDir,
                            std::int32_t plShowCmd);
    void KillProcess(std::int32_t plProcessID);
    bool ShutDownWindows(std::int16_t piOptions, bool pbForce);

    // Windows.
    void SetFocus(const Value& pvApp, std::int32_t plMethod = 0, bool pbCaseSensitive = false,
                  bool pbVisibleOnly = false);
    WindowId ActivateApp(const Value& pvApp, std::int32_t plMethod = 0,
                         bool pbCaseSensitive = false, bool pbVisibleOnly = false);
    bool CloseWindow(WindowId phWnd);
    WindowId FindWindowPartial(const Value& pvApp, std::int32_t plMethod = 0,
                               bool pbCaseSensitive = false, bool pbVisibleOnly = false);
    ProcessId GetProcessID(const Value& plWhnd);
    // Fills the list with the titles of the top-level windows, topmost first.
    void FillListWithWindowTitles(std::vector<std::string>& pocbxList, bool pbVisibleOnly = false);

    // The 1-based number of the line read last in the current or latest run: the
    // line that failed when RunMacro threw after the file was opened; 0 before
    // the first line. Hosts use it to point at the failing line.
    std::int32_t LineNumber() const { return mlLineNumber; }

    // The user variables, for hosts and tests that inspect a run.
    const VariableTable& Variables() const { return mVars; }

  private:
    void RaiseDataInQueue(const std::string& psvData);
    Value GetVarValue(const std::string& psvText);
    Value EvaluateValue(const std::string& psvText);
    Value EvaluateGetWindowID(const std::string& psvArgument);
    void Dispatch(Keyword pKeyword, const std::string& psvParams);
    void Assign(const std::string& psvName, const std::string& psvRightSide);
    std::int16_t Lookup(const std::string& psvName);
    void ClearVars();
    void GetAdjustedProcessHandle(ProcessId plProcessID);
    // ActivateApp's loop; pbUnconfirmed tells, after a time-out, that the last
    // attempt found a window that did not become active.
    WindowId ActivateByTitle(const Value& pvApp, std::int32_t plMethod, bool pbCaseSensitive,
                             bool pbVisibleOnly, bool& pbUnconfirmed);
    // Remembers which process a PID handed to the macro stood for.
    void NoteProcessIdentity(ProcessId plProcessID);
    // Why the process may not be ended (an errno value), 0 when it may: IDs of
    // 0 and below, Tarn itself, the display's server, and a PID whose process
    // has ended since the macro was given it.
    int ProcessRefusal(ProcessId plProcessID);
    // The end of a window search's attempts: now plus TimeOut seconds.
    Host::Clock::time_point Deadline();
    // Lets the host run between two attempts of a retry loop, without spinning.
    void IdleBetweenAttempts();

    Platform mPlatform;
    VariableTable mVars;
    MacroFile mFile;
    std::int16_t miFileNum = 0;
    bool mbCancel = false;
    std::int32_t mlhWnd = 0;
    std::int32_t mlTimeOut = 30;
    std::int32_t mlLineNumber = 0;
    // How deeply value evaluations are nested (embedded commands in values).
    int miValueDepth = 0;
    // The PIDs that Run and GetProcessID gave this run, with the identity of
    // the process each stood for then.
    std::map<ProcessId, std::uint64_t> mProcessIdentities;
};

}  // namespace tarn

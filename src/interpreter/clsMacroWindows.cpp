// SPDX-License-Identifier: GPL-3.0-or-later
// Finding top-level windows by title, bringing them forward, closing them and
// mapping them to their processes.
#include "Conversions.h"
#include "Failure.h"
#include "clsMacro.h"
#include "modMacro.h"

namespace tarn {

WindowId clsMacro::FindWindowPartial(const Value& pvApp, std::int32_t plMethod,
                                     bool pbCaseSensitive, bool pbVisibleOnly) {
    return FindFirstMatch(mPlatform.windows.topLevelWindows(), toText(pvApp), plMethod,
                          pbCaseSensitive, pbVisibleOnly);
}

WindowId clsMacro::ActivateApp(const Value& pvApp, std::int32_t plMethod, bool pbCaseSensitive,
                               bool pbVisibleOnly) {
    bool unconfirmed = false;
    return ActivateByTitle(pvApp, plMethod, pbCaseSensitive, pbVisibleOnly, unconfirmed);
}

WindowId clsMacro::ActivateByTitle(const Value& pvApp, std::int32_t plMethod, bool pbCaseSensitive,
                                   bool pbVisibleOnly, bool& pbUnconfirmed) {
    const auto deadline = Deadline();
    pbUnconfirmed = false;
    while (!mbCancel && deadline > mPlatform.host.now()) {
        const WindowId window = FindWindowPartial(pvApp, plMethod, pbCaseSensitive, pbVisibleOnly);
        // A window that does not become active in time (a busy window manager,
        // one that will not give it the focus) is asked again: keys sent next
        // would go to whatever window is active instead.
        pbUnconfirmed = window != 0;
        if (window != 0) {
            if (mPlatform.windows.isIconic(window)) mPlatform.windows.restore(window);
            if (mPlatform.windows.setForeground(window)) {
                pbUnconfirmed = false;
                return window;
            }
        }
        IdleBetweenAttempts();
    }
    return 0;
}

void clsMacro::SetFocus(const Value& pvApp, std::int32_t plMethod, bool pbCaseSensitive,
                        bool pbVisibleOnly) {
    withSource("SetFocus", [&] {
        if (!isNumeric(pvApp)) {
            // A title that does not turn up within the time-out is no error; a
            // window found that never became active is, as for a process.
            bool unconfirmed = false;
            ActivateByTitle(pvApp, plMethod, pbCaseSensitive, pbVisibleOnly, unconfirmed);
            if (unconfirmed && !mbCancel) throw runtimeFailure(kInvalidArgument);
            return;
        }
        const ProcessId process = toLong(pvApp);
        const auto deadline = Deadline();
        for (;;) {
            try {
                mPlatform.windows.activateProcess(process);
                return;
            } catch (const Failure& failure) {
                // Only "no window yet" is worth waiting for: a program just
                // started may not have mapped its window.
                if (failure.number() != kInvalidArgument || !(deadline > mPlatform.host.now())) {
                    throw;
                }
            }
            IdleBetweenAttempts();
            if (mbCancel) return;
        }
    });
}

bool clsMacro::CloseWindow(WindowId phWnd) {
    mPlatform.windows.postClose(phWnd);
    return mPlatform.windows.isWindow(phWnd);
}

ProcessId clsMacro::GetProcessID(const Value& plWhnd) {
    const ProcessId process = mPlatform.windows.processOf(toLong(plWhnd));
    NoteProcessIdentity(process);
    return process;
}

void clsMacro::FillListWithWindowTitles(std::vector<std::string>& pocbxList, bool pbVisibleOnly) {
    pocbxList = WindowTitles(mPlatform.windows.topLevelWindows(), pbVisibleOnly);
}

}  // namespace tarn

// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The platform of the real program on the Linux desktop: the window system
// and keystrokes of X11, of a wlroots Wayland compositor or of GNOME Shell
// (BackendChoice.h),
// POSIX processes, GIO documents, logind for the session, and the Qt host they
// all yield to.

#include <functional>
#include <memory>
#include <string>

#include "Platform.h"
#include "QtHost.h"

class QSocketNotifier;
class QTimer;

namespace tarn {

class DisplayWatch;

class LinuxPlatform {
  public:
    // Connects to the desktop the environment names: the Wayland display, or
    // the X display (psvDisplay; nullptr: $DISPLAY). Needs no QApplication, so
    // that a missing display is found before the toolkit would abort on it;
    // on Wayland it also tells the toolkit to use the Wayland platform.
    // nullptr, with one line saying why in psvProblem, when it cannot be used.
    static std::unique_ptr<LinuxPlatform> connect(const char* psvDisplay, std::string& psvProblem);
    ~LinuxPlatform();
    LinuxPlatform(const LinuxPlatform&) = delete;
    LinuxPlatform& operator=(const LinuxPlatform&) = delete;

    Platform platform();
    // The stop of a run: the emergency stop key (Pause), `tarn --stop` and the
    // termination signals (RunStop.h); the keyboard already asks it.
    StopKey* stopKey();
    // Asks (true) or stops asking (false) the desktop to report a held key as
    // presses without releases, for the toolkit's own connection (its xcb
    // connection on X11); returns whether it does so now. Empty where the
    // desktop cannot.
    std::function<bool(void* toolkitConnection, bool on)> heldKeysReporter() const;

    // Without the toolkit's connection (a batch run), ends the program as
    // the toolkit would when the display goes, within a quarter second,
    // after the report of whenDisplayCloses.
    // Collects, once a second, the programs a macro started that have ended,
    // so none stays a zombie while Tarn runs; gives the keyboard map back once
    // typing has been idle a moment; on SIGTERM, SIGINT or SIGHUP stops the
    // run under way and leaves the event loop (the caller ends the program
    // with posix::RunStop::terminationSignal()); and at exit() (the toolkit's
    // way out when it loses the display) puts the keyboard back before the
    // process ends. Needs a QCoreApplication.
    void startHousekeeping();

    // Called with "the display closed" when the program ends because the
    // connection to the display is lost (the toolkit ends it, and the player
    // with exit(1) when a backend finds it first); empty: none. The
    // toolkit's own line about it is left out: this report replaces it.
    void whenDisplayCloses(std::function<void(const std::string&)> poReport);
    // Makes that report, once, and puts the keyboard back.
    void reportDisplayClosed();

  private:
    LinuxPlatform();
    bool connectWayland(std::string& psvProblem);
    bool connectKWin(std::string& psvProblem);
    bool connectGnome(std::string& psvProblem);
    bool connectX11(const char* psvDisplay, std::string& psvProblem);
    struct Backends;
    QtHost mHost;
    std::unique_ptr<Backends> mBackends;
    std::unique_ptr<QTimer> mReaper;
    std::unique_ptr<QTimer> mKeyboardTidy;
    std::unique_ptr<QSocketNotifier> mSignals;
    std::unique_ptr<DisplayWatch> mDisplayWatch;
    std::unique_ptr<QTimer> mDisplayCheck;
};

}  // namespace tarn

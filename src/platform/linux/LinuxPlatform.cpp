// SPDX-License-Identifier: GPL-3.0-or-later
#include "LinuxPlatform.h"

#include <QCoreApplication>
#include <QSocketNotifier>
#include <QString>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <utility>

#include "BackendChoice.h"
#include "DisplayWatch.h"
#include "FakeInputKeyboard.h"
#include "GioDocuments.h"
#include "GlobalAccelStopKey.h"
#include "HeldKeys.h"
#include "KWinScripts.h"
#include "KWinWindowSystem.h"
#include "LogindSession.h"
#include "MutterKeyboard.h"
#include "PosixProcesses.h"
#include "RunStop.h"
#include "ShellConnection.h"
#include "ShellStopKey.h"
#include "ShellWindowSystem.h"
#include "ToplevelWindowSystem.h"
#include "VirtualKeyboard.h"
#include "WaylandConnection.h"
#include "XStopKey.h"
#include "XTestKeyboard.h"
#include "XcbWindowSystem.h"

namespace tarn {

namespace {

// Characters bound for typing are given back once nothing has been typed for
// this long; the check runs at half that interval.
constexpr std::chrono::milliseconds kKeyboardIdle{500};

// How often a batch run looks whether its display has gone.
constexpr std::chrono::milliseconds kDisplayCheck{250};

// The platform whose keyboard exit() must put back.
LinuxPlatform* gLivePlatform = nullptr;

// What a run says when the desktop's display goes, X11 and Wayland alike.
constexpr const char* kDisplayClosedText = "the display closed";

// The toolkit's own words as it ends the program on a lost display: Tarn says
// it instead, in its numbered form, and in the trace.
bool toolkitLostDisplay(const QString& psvMessage) {
    return psvMessage.startsWith(QLatin1String("The X11 connection broke")) ||
           psvMessage.startsWith(QLatin1String("The Wayland connection broke")) ||
           psvMessage.startsWith(QLatin1String("The Wayland connection experienced a fatal error"));
}

QtMessageHandler gToolkitMessages = nullptr;

void onToolkitMessage(QtMsgType poType, const QMessageLogContext& poContext,
                      const QString& psvMessage) {
    if (gLivePlatform && toolkitLostDisplay(psvMessage)) {
        // The toolkit ends the process right after this, on Wayland without
        // running exit handlers: everything is said and put back here.
        gLivePlatform->reportDisplayClosed();
        return;
    }
    if (gToolkitMessages) gToolkitMessages(poType, poContext, psvMessage);
}

}  // namespace

struct LinuxPlatform::Backends {
    std::unique_ptr<WindowSystem> windows;
    std::unique_ptr<Keyboard> keyboard;
    std::unique_ptr<StopKey> stopKey;
    // Every way to stop a run, the stop key among them; what the keyboard and
    // the player ask.
    std::unique_ptr<posix::RunStop> runStop;
    std::function<void(const std::string&)> displayClosedReport;
    std::function<bool(void*, bool)> reportHeldKeys;
    std::function<std::unique_ptr<DisplayWatch>()> watchDisplay;
    posix::PosixProcesses processes;
    gio::GioDocuments documents;
    gio::LogindSession session;

    // The keyboard as the user had it: the stop key let go, the map restored.
    void putKeyboardBack() {
        if (runStop) runStop->disarm();
        if (keyboard) keyboard->restoreLayout();
    }
};

LinuxPlatform::LinuxPlatform() : mBackends(std::make_unique<Backends>()) {}

LinuxPlatform::~LinuxPlatform() {
    if (gLivePlatform == this) gLivePlatform = nullptr;
    mDisplayCheck.reset();
    mSignals.reset();
    mBackends->putKeyboardBack();
}

std::unique_ptr<LinuxPlatform> LinuxPlatform::connect(const char* psvDisplay,
                                                      std::string& psvProblem) {
    const BackendChoice choice = chooseBackend(
        {std::getenv("TARN_BACKEND"), std::getenv("WAYLAND_DISPLAY"),
         psvDisplay ? psvDisplay : std::getenv("DISPLAY"), &gnome::ShellConnection::gnomeShellRuns},
        [](const char* display) {
            WaylandOffer offer;
            if (auto connection = wayland::WaylandConnection::connect(display)) {
                offer = {true, connection->protocols().toplevels,
                         connection->protocols().virtualKeyboard};
            }
            if (offer.reachable && !offer.toplevels)
                offer.kwin = kwin::KWinScripts::connect() != nullptr;
            return offer;
        });
    if (!choice.problem.empty()) {
        psvProblem = choice.problem;
        return nullptr;
    }
    if (!choice.notice.empty()) std::fprintf(stderr, "tarn: %s\n", choice.notice.c_str());
    std::unique_ptr<LinuxPlatform> platform(new LinuxPlatform);
    const bool connected = choice.backend == Backend::Wayland ? platform->connectWayland(psvProblem)
                           : choice.backend == Backend::KWin  ? platform->connectKWin(psvProblem)
                           : choice.backend == Backend::Gnome
                               ? platform->connectGnome(psvProblem)
                               : platform->connectX11(psvDisplay, psvProblem);
    if (!connected) return nullptr;
    // Signals and `tarn --stop` stop a run on every desktop; the stop key
    // only where one can be watched (X11, KWin, GNOME Shell through the
    // extension).
    Backends& backends = *platform->mBackends;
    backends.runStop = std::make_unique<posix::RunStop>(backends.stopKey.get());
    backends.keyboard->setStopKey(backends.runStop.get());
    return platform;
}

bool LinuxPlatform::connectWayland(std::string& psvProblem) {
    const char* name = std::getenv("WAYLAND_DISPLAY");
    mBackends->windows = wayland::ToplevelWindowSystem::connect(mHost, name);
    mBackends->keyboard = wayland::VirtualKeyboard::connect(name);
    if (!mBackends->windows || !mBackends->keyboard) {
        psvProblem = std::string("cannot use the Wayland display \"") + name +
                     "\" for windows and keystrokes";
        return false;
    }
    // The toolkit follows: Tarn's own windows are native ones there too.
    setenv("QT_QPA_PLATFORM", "wayland", 0);
    // No global key grab exists on Wayland: runs go without the stop key.
    mBackends->watchDisplay = &DisplayWatch::wayland;
    return true;
}

bool LinuxPlatform::connectKWin(std::string& psvProblem) {
    mBackends->windows = kwin::KWinWindowSystem::connect(mHost);
    if (!mBackends->windows) {
        psvProblem =
            "KWin runs no scripts for Tarn (org.kde.KWin /Scripting on the session bus "
            "does not answer), so Tarn cannot see its windows";
        return false;
    }
    kwin::FakeInputKeyboard::Refusal refusal{};
    mBackends->keyboard = kwin::FakeInputKeyboard::connect(nullptr, nullptr, nullptr, refusal);
    if (refusal == kwin::FakeInputKeyboard::Refusal::NotGranted) {
        // KWin grants fake input to the program an installed desktop file
        // names by its absolute path; the package installs that file.
        std::error_code ignored;
        const std::string self = std::filesystem::read_symlink("/proc/self/exe", ignored);
        psvProblem =
            "error 70: KWin lets only a program named by an installed desktop file "
            "type keys; install Tarn's package, or copy tarn.desktop into "
            "~/.local/share/applications with Exec=" +
            self + " and start Tarn again (see the help on desktops)";
        return false;
    }
    if (!mBackends->keyboard) {
        psvProblem = std::string("cannot use KWin's keyboard on the Wayland display \"") +
                     (std::getenv("WAYLAND_DISPLAY") ? std::getenv("WAYLAND_DISPLAY") : "") + "\"";
        return false;
    }
    // Without it runs only lack the emergency stop.
    mBackends->stopKey = kwin::GlobalAccelStopKey::connect();
    // The toolkit follows: Tarn's own windows are native ones there too.
    setenv("QT_QPA_PLATFORM", "wayland", 0);
    mBackends->watchDisplay = &DisplayWatch::wayland;
    return true;
}

bool LinuxPlatform::connectGnome(std::string& psvProblem) {
    mBackends->windows = gnome::ShellWindowSystem::connect(mHost);
    if (!mBackends->windows) {
        // GNOME loads a newly installed or enabled extension only at the next
        // login; without it Tarn could neither see nor check a window.
        psvProblem = std::string(
                         "GNOME Shell has not loaded Tarn's extension: run "
                         "\"gnome-extensions enable ") +
                     gnome::kExtensionUuid + "\", then log out and in again";
        return false;
    }
    mBackends->keyboard = gnome::MutterKeyboard::connect(psvProblem);
    if (!mBackends->keyboard) return false;
    // Without it runs only lack the emergency stop.
    mBackends->stopKey = gnome::ShellStopKey::connect();
    setenv("QT_QPA_PLATFORM", "wayland", 0);
    mBackends->watchDisplay = &DisplayWatch::wayland;
    return true;
}

bool LinuxPlatform::connectX11(const char* psvDisplay, std::string& psvProblem) {
    const char* name = psvDisplay ? psvDisplay : std::getenv("DISPLAY");
    auto windows = x11::XcbWindowSystem::connect(mHost, name);
    if (!windows) {
        // The usual causes outside the desktop session: a wrong DISPLAY, and no
        // or another user's XAUTHORITY.
        psvProblem = std::string("cannot open the X display \"") + name +
                     "\" (check that DISPLAY names it and that XAUTHORITY names its authority "
                     "file, ~/.Xauthority or the one the display manager made)";
        return false;
    }
    mBackends->windows = std::move(windows);
    auto keyboard = x11::XTestKeyboard::connect(name);
    if (!keyboard) {
        psvProblem =
            std::string("the X display \"") + name +
            "\" cannot take synthetic keystrokes (it lacks the XTEST or XKEYBOARD extension)";
        return false;
    }
    // Without it runs only lack the emergency stop.
    mBackends->stopKey = x11::XStopKey::connect(name);
    // The toolkit follows, also when WAYLAND_DISPLAY names a display Tarn
    // could not use: it would try that first and say so on standard error.
    setenv("QT_QPA_PLATFORM", "xcb", 0);
    mBackends->keyboard = std::move(keyboard);
    const std::string display = name ? name : "";
    mBackends->watchDisplay = [display] { return DisplayWatch::x11(display.c_str()); };
    mBackends->reportHeldKeys = x11::reportHeldKeysAsPresses;
    return true;
}

Platform LinuxPlatform::platform() {
    return Platform{*mBackends->windows,  *mBackends->keyboard, mBackends->processes,
                    mBackends->documents, mBackends->session,   mHost};
}

std::function<bool(void*, bool)> LinuxPlatform::heldKeysReporter() const {
    return mBackends->reportHeldKeys;
}

StopKey* LinuxPlatform::stopKey() {
    return mBackends->runStop.get();
}

void LinuxPlatform::whenDisplayCloses(std::function<void(const std::string&)> poReport) {
    mBackends->displayClosedReport = std::move(poReport);
}

void LinuxPlatform::reportDisplayClosed() {
    // The toolkit may find the display gone on a thread of its own while the
    // run finds it on this one and ends the program: one of them reports and
    // puts the keyboard back, and the other waits until that is done, so
    // that the program does not end halfway through it.
    static std::mutex reporting;
    const std::lock_guard<std::mutex> lock(reporting);
    if (mBackends->displayClosedReport)
        std::exchange(mBackends->displayClosedReport, {})(kDisplayClosedText);
    mBackends->putKeyboardBack();
}

void LinuxPlatform::startHousekeeping() {
    if (mReaper) return;
    mReaper = std::make_unique<QTimer>();
    mReaper->setInterval(1000);
    QObject::connect(mReaper.get(), &QTimer::timeout, [] { posix::PosixProcesses::reapExited(); });
    mReaper->start();

    mKeyboardTidy = std::make_unique<QTimer>();
    mKeyboardTidy->setInterval(kKeyboardIdle / 2);
    QObject::connect(mKeyboardTidy.get(), &QTimer::timeout,
                     [this] { mBackends->keyboard->restoreLayoutIfIdle(kKeyboardIdle); });
    mKeyboardTidy->start();

    // By the class's name: a batch run has no graphical toolkit to link.
    const QCoreApplication* application = QCoreApplication::instance();
    const bool toolkitDisplay = application && application->inherits("QGuiApplication");
    if (!toolkitDisplay && mBackends->watchDisplay) mDisplayWatch = mBackends->watchDisplay();
    if (mDisplayWatch) {
        mDisplayCheck = std::make_unique<QTimer>();
        mDisplayCheck->setInterval(kDisplayCheck);
        QObject::connect(mDisplayCheck.get(), &QTimer::timeout, [this] {
            if (!mDisplayWatch->gone()) return;
            reportDisplayClosed();
            std::exit(1);
        });
        mDisplayCheck->start();
    }

    gLivePlatform = this;
    static const bool atExitRegistered = [] {
        gToolkitMessages = qInstallMessageHandler(onToolkitMessage);
        return std::atexit([] {
                   if (!gLivePlatform) return;
                   if (gLivePlatform->mBackends->windows->displayClosed())
                       gLivePlatform->reportDisplayClosed();
                   gLivePlatform->mBackends->putKeyboardBack();
               }) == 0;
    }();
    (void)atExitRegistered;

    // A signal handler may do next to nothing; the work happens in the event
    // loop. A run under way stops as by the stop key (a Send in progress sees
    // the signal itself, between its parts), and the program ends once the
    // run has unwound, with 128 + the signal's number (main). A stop signal
    // (Ctrl+Z) waits only while a Send holds keys down, and needs nothing
    // here.
    if (!posix::RunStop::catchTerminationSignals()) return;
    mSignals = std::make_unique<QSocketNotifier>(posix::RunStop::signalDescriptor(),
                                                 QSocketNotifier::Read);
    QObject::connect(mSignals.get(), &QSocketNotifier::activated, [this] {
        posix::RunStop::drainSignals();
        mBackends->runStop->pressed();
        QCoreApplication::exit(128 + posix::RunStop::terminationSignal());
    });
}

}  // namespace tarn

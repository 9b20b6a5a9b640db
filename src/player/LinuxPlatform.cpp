#include "LinuxPlatform.h"

#include <QCoreApplication>
#include <QSocketNotifier>
#include <QTimer>
#include <cstdlib>
#include <utility>

#include "GioDocuments.h"
#include "LogindSession.h"
#include "PosixProcesses.h"
#include "RunStop.h"
#include "XStopKey.h"
#include "XTestKeyboard.h"
#include "XcbWindowSystem.h"

namespace tarn {

namespace {

// Characters bound for typing are given back once nothing has been typed for
// this long; the check runs at half that interval.
constexpr std::chrono::milliseconds kKeyboardIdle{500};

// The platform whose keyboard exit() must put back.
LinuxPlatform* gLivePlatform = nullptr;

}  // namespace

struct LinuxPlatform::Backends {
    std::unique_ptr<x11::XcbWindowSystem> windows;
    std::unique_ptr<x11::XTestKeyboard> keyboard;
    std::unique_ptr<x11::XStopKey> stopKey;
    // Every way to stop a run, the stop key among them; what the keyboard and
    // the player ask.
    std::unique_ptr<posix::RunStop> runStop;
    std::function<void(const std::string&)> displayClosedReport;
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
    mSignals.reset();
    mBackends->putKeyboardBack();
}

std::unique_ptr<LinuxPlatform> LinuxPlatform::connect(const char* psvDisplay,
                                                      std::string& psvProblem) {
    const char* name = psvDisplay ? psvDisplay : std::getenv("DISPLAY");
    if (!name || !*name) {
        psvProblem =
            "no X display to work on: DISPLAY is not set (Tarn needs an X11 desktop; from cron "
            "or a systemd unit, set DISPLAY and XAUTHORITY to those of the desktop session)";
        return nullptr;
    }
    std::unique_ptr<LinuxPlatform> platform(new LinuxPlatform);
    platform->mBackends->windows = x11::XcbWindowSystem::connect(platform->mHost, name);
    if (!platform->mBackends->windows) {
        // The usual causes outside the desktop session: a wrong DISPLAY, and no
        // or another user's XAUTHORITY.
        psvProblem = std::string("cannot open the X display \"") + name +
                     "\" (Tarn needs an X11 desktop; check that DISPLAY names it and that "
                     "XAUTHORITY names its authority file, ~/.Xauthority or the one the display "
                     "manager made)";
        return nullptr;
    }
    platform->mBackends->keyboard = x11::XTestKeyboard::connect(name);
    if (!platform->mBackends->keyboard) {
        psvProblem =
            std::string("the X display \"") + name +
            "\" cannot take synthetic keystrokes (it lacks the XTEST or XKEYBOARD extension)";
        return nullptr;
    }
    // Without it runs only lack the emergency stop.
    platform->mBackends->stopKey = x11::XStopKey::connect(name);
    platform->mBackends->runStop =
        std::make_unique<posix::RunStop>(platform->mBackends->stopKey.get());
    platform->mBackends->keyboard->setStopKey(platform->mBackends->runStop.get());
    return platform;
}

Platform LinuxPlatform::platform() {
    return Platform{*mBackends->windows,  *mBackends->keyboard, mBackends->processes,
                    mBackends->documents, mBackends->session,   mHost};
}

StopKey* LinuxPlatform::stopKey() {
    return mBackends->runStop.get();
}

void LinuxPlatform::whenDisplayCloses(std::function<void(const std::string&)> poReport) {
    mBackends->displayClosedReport = std::move(poReport);
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

    gLivePlatform = this;
    static const bool atExitRegistered = [] {
        return std::atexit([] {
                   if (!gLivePlatform) return;
                   Backends& backends = *gLivePlatform->mBackends;
                   if (backends.displayClosedReport && backends.windows->displayClosed()) {
                       std::exchange(backends.displayClosedReport, {})("the X display closed");
                   }
                   backends.putKeyboardBack();
               }) == 0;
    }();
    (void)atExitRegistered;

    // A signal handler may do next to nothing; the work happens in the event
    // loop. A run under way stops as by the stop key (a Send in progress sees
    // the signal itself, between its parts), and the program ends once the
    // run has unwound, with 128 + the signal's number (main).
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

#include "LinuxPlatform.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <QSocketNotifier>
#include <QTimer>
#include <cerrno>
#include <cstdlib>

#include "GioDocuments.h"
#include "LogindSession.h"
#include "PosixProcesses.h"
#include "XStopKey.h"
#include "XTestKeyboard.h"
#include "XcbWindowSystem.h"

namespace tarn {

namespace {

// Characters bound for typing are given back once nothing has been typed for
// this long; the check runs at half that interval.
constexpr std::chrono::milliseconds kKeyboardIdle{500};

// The self-pipe from the signal handlers into the event loop.
int gSignalPipe[2] = {-1, -1};
// The platform whose keyboard exit() must put back.
LinuxPlatform* gLivePlatform = nullptr;

void onTerminationSignal(int piSignal) {
    const int saved = errno;
    const unsigned char number = static_cast<unsigned char>(piSignal);
    [[maybe_unused]] const ssize_t written = ::write(gSignalPipe[1], &number, 1);
    errno = saved;
}

}  // namespace

struct LinuxPlatform::Backends {
    std::unique_ptr<x11::XcbWindowSystem> windows;
    std::unique_ptr<x11::XTestKeyboard> keyboard;
    std::unique_ptr<x11::XStopKey> stopKey;
    posix::PosixProcesses processes;
    gio::GioDocuments documents;
    gio::LogindSession session;

    // The keyboard as the user had it: the stop key let go, the map restored.
    void putKeyboardBack() {
        if (stopKey) stopKey->disarm();
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
    platform->mBackends->keyboard->setStopKey(platform->mBackends->stopKey.get());
    return platform;
}

Platform LinuxPlatform::platform() {
    return Platform{*mBackends->windows,  *mBackends->keyboard, mBackends->processes,
                    mBackends->documents, mBackends->session,   mHost};
}

StopKey* LinuxPlatform::stopKey() {
    return mBackends->stopKey.get();
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
                   if (gLivePlatform) gLivePlatform->mBackends->putKeyboardBack();
               }) == 0;
    }();
    (void)atExitRegistered;

    // A signal handler may do next to nothing; the work happens in the event
    // loop, where no typing is under way, and then the signal ends the
    // process as it would have.
    if (gSignalPipe[0] < 0 && ::pipe2(gSignalPipe, O_CLOEXEC | O_NONBLOCK) != 0) return;
    mSignals = std::make_unique<QSocketNotifier>(gSignalPipe[0], QSocketNotifier::Read);
    QObject::connect(mSignals.get(), &QSocketNotifier::activated, [this] {
        unsigned char number = 0;
        if (::read(gSignalPipe[0], &number, 1) != 1) return;
        mBackends->putKeyboardBack();
        ::signal(number, SIG_DFL);
        ::raise(number);
    });
    struct sigaction action {};
    action.sa_handler = onTerminationSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int signalNumber : {SIGTERM, SIGINT, SIGHUP})
        ::sigaction(signalNumber, &action, nullptr);
}

}  // namespace tarn

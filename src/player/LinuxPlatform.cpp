#include "LinuxPlatform.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <QSocketNotifier>
#include <QTimer>
#include <cerrno>
#include <cstdio>
#include <cstdlib>

#include "BackendChoice.h"
#include "GioDocuments.h"
#include "LogindSession.h"
#include "PosixProcesses.h"
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
    std::unique_ptr<WindowSystem> windows;
    std::unique_ptr<Keyboard> keyboard;
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
    const BackendChoice choice =
        chooseBackend({std::getenv("TARN_BACKEND"), std::getenv("WAYLAND_DISPLAY"),
                       psvDisplay ? psvDisplay : std::getenv("DISPLAY")},
                      [](const char* display) {
                          WaylandOffer offer;
                          if (auto connection = wayland::WaylandConnection::connect(display)) {
                              offer = {true, connection->protocols().toplevels,
                                       connection->protocols().virtualKeyboard};
                          }
                          return offer;
                      });
    if (!choice.problem.empty()) {
        psvProblem = choice.problem;
        return nullptr;
    }
    if (!choice.notice.empty()) std::fprintf(stderr, "tarn: %s\n", choice.notice.c_str());
    std::unique_ptr<LinuxPlatform> platform(new LinuxPlatform);
    const bool connected = choice.backend == Backend::Wayland
                               ? platform->connectWayland(psvProblem)
                               : platform->connectX11(psvDisplay, psvProblem);
    if (!connected) return nullptr;
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
    return true;
}

bool LinuxPlatform::connectX11(const char* psvDisplay, std::string& psvProblem) {
    const char* name = psvDisplay ? psvDisplay : std::getenv("DISPLAY");
    auto windows = x11::XcbWindowSystem::connect(mHost, name);
    if (!windows) {
        psvProblem =
            std::string("cannot open the X display \"") + name + "\" (Tarn needs an X11 desktop)";
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
    keyboard->setStopKey(mBackends->stopKey.get());
    mBackends->keyboard = std::move(keyboard);
    return true;
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

#include "LinuxPlatform.h"

#include <QTimer>
#include <cstdlib>

#include "GioDocuments.h"
#include "LogindSession.h"
#include "PosixProcesses.h"
#include "XTestKeyboard.h"
#include "XcbWindowSystem.h"

namespace tarn {

struct LinuxPlatform::Backends {
    std::unique_ptr<x11::XcbWindowSystem> windows;
    std::unique_ptr<x11::XTestKeyboard> keyboard;
    posix::PosixProcesses processes;
    gio::GioDocuments documents;
    gio::LogindSession session;
};

LinuxPlatform::LinuxPlatform() : mBackends(std::make_unique<Backends>()) {}

LinuxPlatform::~LinuxPlatform() = default;

std::unique_ptr<LinuxPlatform> LinuxPlatform::connect(const char* psvDisplay,
                                                      std::string& psvProblem) {
    const char* name = psvDisplay ? psvDisplay : std::getenv("DISPLAY");
    if (!name || !*name) {
        psvProblem = "no X display to work on: DISPLAY is not set (Tarn needs an X11 desktop)";
        return nullptr;
    }
    std::unique_ptr<LinuxPlatform> platform(new LinuxPlatform);
    platform->mBackends->windows = x11::XcbWindowSystem::connect(platform->mHost, name);
    if (!platform->mBackends->windows) {
        psvProblem =
            std::string("cannot open the X display \"") + name + "\" (Tarn needs an X11 desktop)";
        return nullptr;
    }
    platform->mBackends->keyboard = x11::XTestKeyboard::connect(name);
    if (!platform->mBackends->keyboard) {
        psvProblem =
            std::string("the X display \"") + name +
            "\" cannot take synthetic keystrokes (it lacks the XTEST or XKEYBOARD extension)";
        return nullptr;
    }
    return platform;
}

Platform LinuxPlatform::platform() {
    return Platform{*mBackends->windows,  *mBackends->keyboard, mBackends->processes,
                    mBackends->documents, mBackends->session,   mHost};
}

void LinuxPlatform::startHousekeeping() {
    if (mReaper) return;
    mReaper = std::make_unique<QTimer>();
    mReaper->setInterval(1000);
    QObject::connect(mReaper.get(), &QTimer::timeout, [] { posix::PosixProcesses::reapExited(); });
    mReaper->start();
}

}  // namespace tarn

// SPDX-License-Identifier: GPL-3.0-or-later
#include "RunStop.h"

#include <fcntl.h>
#include <sched.h>
#include <signal.h>
#include <sys/epoll.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>

namespace tarn::posix {
namespace {

int gSignalPipe[2] = {-1, -1};
volatile sig_atomic_t gSignal = 0;

// Who may stop the program now. A stop signal that finds it free stops it at
// once, in the handler; one that finds a keyboard holding keys waits in
// gStopWaiting for the keyboard (on the main thread) to let them go; one that
// finds a stop under way is that stop. Lock-free, so the handler may use it
// whichever thread it runs on.
enum : int { kFree, kHolding, kStopping };
std::atomic<int> gKeys{kFree};
std::atomic<int> gStopWaiting{0};  // the signal's number
static_assert(std::atomic<int>::is_always_lock_free);

// Stops the program as `number` does by default, and returns once it is
// continued. The kernel drops the stop where no shell is left to continue
// the program (an orphaned process group); typing then just goes on.
void stopAsByDefault(int number) {
    struct sigaction byDefault {};
    byDefault.sa_handler = SIG_DFL;
    sigemptyset(&byDefault.sa_mask);
    struct sigaction own {};
    ::sigaction(number, &byDefault, &own);
    // To this thread, where the signal is not blocked (the handler takes it
    // with SA_NODEFER): the program is stopped before raise() returns.
    ::raise(number);
    ::sigaction(number, &own, nullptr);
}

void onStopSignal(int number) {
    const int saved = errno;
    int found = kFree;
    if (gKeys.compare_exchange_strong(found, kStopping)) {
        stopAsByDefault(number);
        gKeys.store(kFree);
    } else if (found == kHolding) {
        gStopWaiting.store(number);
    }
    errno = saved;
}

void onTerminationSignal(int number) {
    const int saved = errno;
    if (gSignal == 0) gSignal = number;
    const unsigned char byte = static_cast<unsigned char>(number);
    [[maybe_unused]] const ssize_t written = ::write(gSignalPipe[1], &byte, 1);
    errno = saved;
}

}  // namespace

bool RunStop::catchTerminationSignals() {
    struct sigaction stop {};
    stop.sa_handler = onStopSignal;
    sigemptyset(&stop.sa_mask);
    stop.sa_flags = SA_RESTART | SA_NODEFER;
    for (int number : kStopSignals)
        ::sigaction(number, &stop, nullptr);
    if (gSignalPipe[0] < 0 && ::pipe2(gSignalPipe, O_CLOEXEC | O_NONBLOCK) != 0) return false;
    struct sigaction action {};
    action.sa_handler = onTerminationSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int number : kTerminationSignals)
        ::sigaction(number, &action, nullptr);
    return true;
}

int RunStop::signalDescriptor() {
    return gSignalPipe[0];
}

void RunStop::drainSignals() {
    unsigned char bytes[16];
    while (gSignalPipe[0] >= 0 && ::read(gSignalPipe[0], bytes, sizeof bytes) > 0) {
    }
}

int RunStop::terminationSignal() {
    return gSignal;
}

void RunStop::holdingKeys(bool holding) {
    if (holding) {
        // A stop under way (on another thread) ends before keys go down.
        int found = kFree;
        while (!gKeys.compare_exchange_weak(found, kHolding) && found != kHolding) {
            found = kFree;
            sched_yield();
        }
        return;
    }
    gKeys.store(kStopping);
    if (const int number = gStopWaiting.exchange(0)) stopAsByDefault(number);
    gKeys.store(kFree);
}

bool RunStop::programStopAsked() {
    return gStopWaiting.load() != 0;
}

void RunStop::stopProgram() {
    gKeys.store(kStopping);
    if (const int number = gStopWaiting.exchange(0)) stopAsByDefault(number);
    gKeys.store(kHolding);
}

RunStop::RunStop(StopKey* key) : key_(key), epoll_(::epoll_create1(EPOLL_CLOEXEC)) {
    if (key_) {
        watch(key_->descriptor(), true);
        key_->Taken = [this] {
            if (Taken) Taken();
        };
    }
}

RunStop::~RunStop() {
    disarm();
    if (epoll_ >= 0) ::close(epoll_);
}

void RunStop::watch(int descriptor, bool on) {
    if (epoll_ < 0 || descriptor < 0) return;
    epoll_event event{};
    event.events = EPOLLIN;
    event.data.fd = descriptor;
    ::epoll_ctl(epoll_, on ? EPOLL_CTL_ADD : EPOLL_CTL_DEL, descriptor, &event);
}

bool RunStop::arm() {
    pressed_ = false;
    by_.clear();
    echoes_ = 0;
    typingKey_ = false;
    const bool keyArmed = key_ && key_->arm();
    if (requests_.listen()) watch(requests_.descriptor(), true);
    armed_ = true;
    // The signals are always caught while Tarn runs, so a run can always be
    // stopped; the key and --stop are extras.
    return keyArmed || requests_.descriptor() >= 0 || signalDescriptor() >= 0;
}

void RunStop::disarm() {
    armed_ = false;
    if (key_) key_->disarm();
    watch(requests_.descriptor(), false);
    requests_.close();
}

bool RunStop::pressed() {
    // The key's connection is read even unarmed: an event loop watching it
    // must find it empty again.
    const bool key = key_ && key_->pressed();
    int requests = requests_.take();
    if (echoes_ > 0 && !typingKey_ && std::chrono::steady_clock::now() >= echoesUntil_) echoes_ = 0;
    const int echoes = std::min(requests, echoes_);
    echoes_ -= echoes;
    requests -= echoes;
    const bool asked = requests > 0;
    if (!armed_ || pressed_) return pressed_;
    if (const int number = gSignal) {
        by_ = std::string("SIG") + sigabbrev_np(number);
    } else if (asked) {
        by_ = "tarn --stop";
    } else if (key) {
        by_ = std::string("the ") + kKeyName + " key";
    } else {
        return false;
    }
    pressed_ = true;
    if (Pressed) Pressed();
    return true;
}

void RunStop::suspend() {
    if (!armed_ || typingKey_) return;
    // A request already on its way is the user's.
    pressed();
    typingKey_ = true;
    ++echoes_;
    if (key_) key_->suspend();
}

void RunStop::resume() {
    if (!typingKey_) return;
    typingKey_ = false;
    echoesUntil_ = std::chrono::steady_clock::now() + kOwnKeyEcho;
    if (key_) key_->resume();
}

}  // namespace tarn::posix

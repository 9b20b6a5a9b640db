// SPDX-License-Identifier: GPL-3.0-or-later
#include "XWaylandQueues.h"

#include <xcb/xcb.h>

#include <cstdlib>
#include <cstring>
#include <optional>
#include <thread>

#include "SocketBacklog.h"
#include "UnixSockets.h"
#include "XProgramIdle.h"
#include "XcbReply.h"

namespace tarn::wayland {
namespace {

using Clock = std::chrono::steady_clock;

// The kernel's TCP_ESTABLISHED, which Unix sockets share for a connection.
constexpr unsigned kConnected = 1u << 1;
// Nothing announces that another program has read its socket; this is how
// often it is asked.
constexpr std::chrono::microseconds kPoll{100};

// Whether an X client is connected to the display now: where nothing is,
// connecting would start an Xwayland that is started on demand.
bool hasClients(const char* display) {
    if (!display) display = std::getenv("DISPLAY");
    if (!display || !*display) return false;
    const char* colon = std::strrchr(display, ':');
    if (!colon) return true;  // not a local display: let the connection tell
    const std::string number(colon + 1, std::strcspn(colon + 1, "."));
    const std::string path = "/tmp/.X11-unix/X" + number;
    const auto sockets = posix::unixSockets(kConnected);
    if (!sockets) return true;
    for (const auto& entry : *sockets) {
        const std::string& name = entry.second.name;
        if (name == path || (name.size() == path.size() + 1 && name[0] == '\0' &&
                             name.compare(1, std::string::npos, path) == 0)) {
            return true;
        }
    }
    return false;
}

// How long Xwayland may take to read a request of the compositor's before
// the X focus is asked again.
constexpr std::chrono::milliseconds kFocusRead{200};

// Waits until `unread` (nothing: the kernel does not say) is 0, or it has
// not dropped for `stalled`; false then.
template <class Unread>
bool waitForNone(Unread unread, std::chrono::milliseconds stalled) {
    std::size_t before = SIZE_MAX;
    Clock::time_point progress = Clock::now();
    for (;;) {
        const std::optional<std::size_t> left = unread();
        if (!left || *left == 0) return true;
        if (*left < before) progress = Clock::now();
        before = *left;
        if (Clock::now() - progress > stalled) return false;
        std::this_thread::sleep_for(kPoll);
    }
}

}  // namespace

std::unique_ptr<XWaylandQueues> XWaylandQueues::open(const char* display, bool* unused) {
    if (unused) *unused = false;
    if (!hasClients(display)) {
        if (unused) *unused = true;
        return nullptr;
    }
    std::unique_ptr<XWaylandQueues> queues(new XWaylandQueues);
    queues->c_ = xcb_connect(display, nullptr);
    if (xcb_connection_has_error(queues->c_)) return nullptr;
    queues->idle_ = x11::XProgramIdle::open(queues->c_);
    if (!queues->idle_ || queues->idle_->serverSockets().empty()) return nullptr;
    queues->clients_ = posix::SocketBacklog::open(queues->idle_->listening());
    if (!queues->clients_) return nullptr;
    return queues;
}

XWaylandQueues::~XWaylandQueues() {
    if (c_) xcb_disconnect(c_);
}

std::optional<std::uint32_t> XWaylandQueues::xRoundTrip() {
    const x11::Reply<xcb_get_input_focus_reply_t> reply{
        xcb_get_input_focus_reply(c_, xcb_get_input_focus(c_), nullptr)};
    if (!reply) return std::nullopt;
    return reply->focus;
}

std::optional<bool> XWaylandQueues::programFocused() {
    const auto isProgram = [&](std::uint32_t focus) {
        if (focus == XCB_NONE || focus == XCB_INPUT_FOCUS_POINTER_ROOT) return false;
        // The root windows are the server's. Any other window is taken for a
        // program's without asking whose it is (a second round trip): where
        // it is not, typing is only slower.
        for (auto screen = xcb_setup_roots_iterator(xcb_get_setup(c_)); screen.rem;
             xcb_screen_next(&screen)) {
            if (screen.data->root == focus) return false;
        }
        return true;
    };
    std::optional<std::uint32_t> focus = xRoundTrip();
    if (!focus) return std::nullopt;
    if (isProgram(*focus)) return true;
    // The compositor gives an X program the focus through a connection of
    // its own, and tells this program it did before Xwayland need have read
    // that request: so "none" counts once Xwayland has read it. Where it
    // does not read in time, the answer is the one that is safe either way.
    if (!serverRead(kFocusRead)) return true;
    if (!(focus = xRoundTrip())) return std::nullopt;
    return isProgram(*focus);
}

std::optional<std::size_t> XWaylandQueues::serverUnread() {
    const auto sockets = posix::unixSockets(kConnected);
    if (!sockets) return std::nullopt;
    std::size_t unread = 0;
    for (ino_t inode : idle_->serverSockets()) {
        const auto socket = sockets->find(inode);
        if (socket != sockets->end()) unread += socket->second.unread;
    }
    return unread;
}

bool XWaylandQueues::serverRead(std::chrono::milliseconds stalled) {
    return waitForNone([&] { return serverUnread(); }, stalled);
}

XWaylandQueues::Drained XWaylandQueues::drain(std::chrono::milliseconds stalled,
                                              std::chrono::milliseconds busy) {
    // Xwayland reads the compositor's events and handles them in one go (the
    // keys become X events in the queues of its clients), before it turns
    // to the requests of its X clients.
    const bool read = serverRead(stalled);
    if (!read) return Drained::Stalled;
    // The answer to the second request leaves the server only after what it
    // wrote to its clients while it answered the first: from then on the
    // keys are in the X programs' sockets, or read.
    std::optional<std::uint32_t> focus;
    if (!xRoundTrip() || !(focus = xRoundTrip())) return Drained::Lost;
    const pid_t pid = idle_->processOf(*focus);
    if (!pid) {
        // No X program has the focus, so none has keys to handle: each has
        // read what it was sent.
        return waitForNone([&] { return clients_->largest(); }, stalled) ? Drained::Yes
                                                                         : Drained::Stalled;
    }
    // A program that never waits for input (it animates) cannot be seen
    // done: the time it was given stands in for that.
    idle_->waitUntilHandled(pid, busy);
    return xcb_connection_has_error(c_) ? Drained::Lost : Drained::Yes;
}

}  // namespace tarn::wayland

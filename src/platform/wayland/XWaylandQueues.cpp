// SPDX-License-Identifier: GPL-3.0-or-later
#include "XWaylandQueues.h"

#include <dirent.h>
#include <sys/stat.h>
#include <xcb/res.h>
#include <xcb/xcb.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <optional>
#include <thread>

#include "SocketBacklog.h"
#include "UnixSockets.h"

namespace tarn::wayland {
namespace {

using Clock = std::chrono::steady_clock;

// The kernel's TCP_ESTABLISHED, which Unix sockets share for a connection.
constexpr unsigned kConnected = 1u << 1;
// Nothing announces that another program has read its socket; this is how
// often it is asked.
constexpr std::chrono::microseconds kPoll{100};

// The process that holds the socket `inode`; 0 when none can be seen.
pid_t holderOf(ino_t inode) {
    DIR* proc = ::opendir("/proc");
    if (!proc) return 0;
    pid_t found = 0;
    while (const dirent* entry = ::readdir(proc)) {
        char* end = nullptr;
        const long pid = std::strtol(entry->d_name, &end, 10);
        if (pid <= 0 || *end) continue;
        const std::vector<ino_t> sockets = posix::socketsOf(static_cast<pid_t>(pid));
        if (std::find(sockets.begin(), sockets.end(), inode) != sockets.end()) {
            found = static_cast<pid_t>(pid);
            break;
        }
    }
    ::closedir(proc);
    return found;
}

std::string readProc(pid_t pid, const char* name) {
    std::ifstream file("/proc/" + std::to_string(pid) + "/" + name);
    return std::string(std::istreambuf_iterator<char>(file), {});
}

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
    struct stat own {};
    if (::fstat(xcb_get_file_descriptor(queues->c_), &own) != 0) return nullptr;
    const auto sockets = posix::unixSockets();
    if (!sockets) return nullptr;
    // The server's end of this connection tells the server and the names it
    // listens on (an X server both on a path and on an abstract name).
    const auto ours = sockets->find(own.st_ino);
    if (ours == sockets->end() || !ours->second.peer) return nullptr;
    const pid_t server = holderOf(ours->second.peer);
    if (!server) return nullptr;
    std::vector<std::string> listening;
    for (ino_t inode : posix::socketsOf(server)) {
        const auto socket = sockets->find(inode);
        if (socket == sockets->end()) continue;
        const std::string& name = socket->second.name;
        if (name.empty()) {
            if (socket->second.peer) queues->serverSockets_.push_back(inode);
        } else if (std::find(listening.begin(), listening.end(), name) == listening.end()) {
            listening.push_back(name);
        }
    }
    if (queues->serverSockets_.empty()) return nullptr;
    queues->server_ = server;
    queues->listening_ = listening;
    const xcb_query_extension_reply_t* res = xcb_get_extension_data(queues->c_, &xcb_res_id);
    queues->clientIds_ = res && res->present;
    queues->clients_ = posix::SocketBacklog::open(listening);
    if (!queues->clients_) return nullptr;
    return queues;
}

XWaylandQueues::~XWaylandQueues() {
    if (c_) xcb_disconnect(c_);
}

std::optional<std::uint32_t> XWaylandQueues::xRoundTrip() {
    xcb_get_input_focus_reply_t* reply =
        xcb_get_input_focus_reply(c_, xcb_get_input_focus(c_), nullptr);
    if (!reply) return std::nullopt;
    const std::uint32_t focus = reply->focus;
    std::free(reply);
    return focus;
}

pid_t XWaylandQueues::processOf(std::uint32_t window) {
    if (!clientIds_ || window == XCB_NONE || window == XCB_INPUT_FOCUS_POINTER_ROOT) return 0;
    xcb_res_client_id_spec_t spec{window, XCB_RES_CLIENT_ID_MASK_LOCAL_CLIENT_PID};
    xcb_res_query_client_ids_reply_t* ids =
        xcb_res_query_client_ids_reply(c_, xcb_res_query_client_ids(c_, 1, &spec), nullptr);
    if (!ids) return 0;
    pid_t pid = 0;
    for (auto it = xcb_res_query_client_ids_ids_iterator(ids); it.rem && !pid;
         xcb_res_client_id_value_next(&it)) {
        if ((it.data->spec.mask & XCB_RES_CLIENT_ID_MASK_LOCAL_CLIENT_PID) &&
            xcb_res_client_id_value_value_length(it.data) >= 1) {
            pid = static_cast<pid_t>(*xcb_res_client_id_value_value(it.data));
        }
    }
    std::free(ids);
    // The server's own windows (the root) belong to no program.
    return pid == server_ ? 0 : pid;
}

std::optional<bool> XWaylandQueues::programFocused() {
    const std::optional<std::uint32_t> focus = xRoundTrip();
    if (!focus) return std::nullopt;
    if (*focus == XCB_NONE || *focus == XCB_INPUT_FOCUS_POINTER_ROOT) return false;
    // The root windows are the server's. Any other window is taken for a
    // program's without asking whose it is (a second round trip): where it
    // is not, typing is only slower.
    for (auto screen = xcb_setup_roots_iterator(xcb_get_setup(c_)); screen.rem;
         xcb_screen_next(&screen)) {
        if (screen.data->root == *focus) return false;
    }
    return true;
}

XWaylandQueues::Moment XWaylandQueues::momentOf(pid_t pid) {
    // How often it has been switched out: a program that goes to sleep, or
    // is woken and runs, adds one at least.
    auto switches = [&] {
        const std::string status = readProc(pid, "status");
        unsigned long long count = 0;
        for (const char* field : {"voluntary_ctxt_switches:", "nonvoluntary_ctxt_switches:"}) {
            const std::size_t at = status.find(field);
            if (at != std::string::npos)
                count += std::strtoull(status.c_str() + at + std::strlen(field), nullptr, 10);
        }
        return count;
    };
    Moment moment;
    moment.waits = switches();
    // Asleep where a program waits for input ...
    const std::string stat = readProc(pid, "stat");
    const std::size_t name = stat.rfind(')');
    if (name == std::string::npos || name + 2 >= stat.size() || stat[name + 2] != 'S')
        return moment;
    const std::string wchan = readProc(pid, "wchan");
    if (wchan.find("poll") == std::string::npos && wchan.find("select") == std::string::npos)
        return moment;
    // ... with nothing to read from the server, and nothing it asked for
    // unread by the server ...
    const std::vector<ino_t> own = posix::socketsOf(pid);
    const auto sockets = posix::unixSockets(kConnected);
    if (!sockets) return moment;
    for (const auto& [inode, socket] : *sockets) {
        if (!socket.peer || std::find(own.begin(), own.end(), socket.peer) == own.end() ||
            std::find(listening_.begin(), listening_.end(), socket.name) == listening_.end()) {
            continue;
        }
        const auto client = sockets->find(socket.peer);
        if (socket.unread || (client != sockets->end() && client->second.unread)) return moment;
    }
    // ... all the while.
    moment.waiting = switches() == moment.waits;
    return moment;
}

XWaylandQueues::Drained XWaylandQueues::drain(std::chrono::milliseconds stalled,
                                              std::chrono::milliseconds busy) {
    // Waits until `unread` (nothing: the kernel does not say) is 0, or it
    // has not dropped for `stalled`.
    auto waitFor = [&](auto unread) {
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
    };
    // Xwayland reads the compositor's events and handles them in one go (the
    // keys become X events in the queues of its clients), before it turns
    // to the requests of its X clients.
    const bool read = waitFor([&]() -> std::optional<std::size_t> {
        const auto sockets = posix::unixSockets(kConnected);
        if (!sockets) return std::nullopt;
        std::size_t unread = 0;
        for (ino_t inode : serverSockets_) {
            const auto socket = sockets->find(inode);
            if (socket != sockets->end()) unread += socket->second.unread;
        }
        return unread;
    });
    if (!read) return Drained::Stalled;
    // The answer to the second request leaves the server only after what it
    // wrote to its clients while it answered the first: from then on the
    // keys are in the X programs' sockets, or read.
    std::optional<std::uint32_t> focus;
    if (!xRoundTrip() || !(focus = xRoundTrip())) return Drained::Lost;
    const pid_t pid = processOf(*focus);
    if (!pid) {
        // No X program has the focus, so none has keys to handle: each has
        // read what it was sent.
        return waitFor([&] { return clients_->largest(); }) ? Drained::Yes : Drained::Stalled;
    }
    // An Xlib program waits for input only once it has handled every event
    // it read. Seen waiting, with nothing to read and every request it made
    // read by the server, it may still wait for the answer to a request: so
    // it must wait on, not woken once, across two round trips of this
    // program's. The server reads the second only once it has written what
    // it answered along with the first, that answer among it.
    const Clock::time_point end = Clock::now() + busy;
    Moment before = momentOf(pid);
    while (Clock::now() < end) {
        if (!before.waiting) {
            std::this_thread::sleep_for(kPoll);
            before = momentOf(pid);
            continue;
        }
        if (!xRoundTrip() || !xRoundTrip()) return Drained::Lost;
        const Moment after = momentOf(pid);
        if (after.waiting && after.waits == before.waits) return Drained::Yes;
        before = after;
    }
    // A program that never waits for input (it animates) cannot be seen
    // done: the time it was given stands in for that.
    return Drained::Yes;
}

}  // namespace tarn::wayland

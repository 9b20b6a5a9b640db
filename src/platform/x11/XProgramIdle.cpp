// SPDX-License-Identifier: GPL-3.0-or-later
#include "XProgramIdle.h"

#include <dirent.h>
#include <sys/stat.h>
#include <xcb/res.h>
#include <xcb/xcb.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <thread>

#include "UnixSockets.h"
#include "XcbReply.h"

namespace tarn::x11 {
namespace {

using Clock = std::chrono::steady_clock;

// The kernel's TCP_ESTABLISHED, which Unix sockets share for a connection.
constexpr unsigned kConnected = 1u << 1;
// Nothing announces that a program has gone to sleep; this is how often it
// is looked at.
constexpr std::chrono::microseconds kPoll{100};

// The sockets of `pid` when it holds the socket `inode`; empty otherwise.
std::vector<ino_t> socketsIfHeld(pid_t pid, ino_t inode) {
    std::vector<ino_t> sockets = posix::socketsOf(pid);
    if (std::find(sockets.begin(), sockets.end(), inode) == sockets.end()) sockets.clear();
    return sockets;
}

// The process that holds the socket `inode`, the server's end of the
// connection `fd`, and in `held` the sockets it holds; 0 when none can be
// seen. The peer's credentials name the process that listened, which is the
// server unless another process opened its sockets for it (a Wayland
// compositor for Xwayland): then every process is looked through, which on
// a desktop with many takes a while.
pid_t holderOf(int fd, ino_t inode, std::vector<ino_t>& held) {
    const pid_t listener = posix::peerProcess(fd);
    if (listener && !(held = socketsIfHeld(listener, inode)).empty()) return listener;
    DIR* proc = ::opendir("/proc");
    if (!proc) return 0;
    pid_t found = 0;
    while (const dirent* entry = ::readdir(proc)) {
        char* end = nullptr;
        const long pid = std::strtol(entry->d_name, &end, 10);
        if (pid <= 0 || *end) continue;
        held = socketsIfHeld(static_cast<pid_t>(pid), inode);
        if (!held.empty()) {
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

}  // namespace

std::unique_ptr<XProgramIdle> XProgramIdle::open(xcb_connection_t* c) {
    std::unique_ptr<XProgramIdle> idle(new XProgramIdle(c));
    struct stat own {};
    if (::fstat(xcb_get_file_descriptor(c), &own) != 0) return nullptr;
    const auto sockets = posix::unixSockets();
    if (!sockets) return nullptr;
    // The server's end of this connection tells the server and the names it
    // listens on (an X server both on a path and on an abstract name).
    const auto ours = sockets->find(own.st_ino);
    if (ours == sockets->end() || !ours->second.peer) return nullptr;
    std::vector<ino_t> serverHolds;
    idle->server_ = holderOf(xcb_get_file_descriptor(c), ours->second.peer, serverHolds);
    if (!idle->server_) return nullptr;
    for (ino_t inode : serverHolds) {
        const auto socket = sockets->find(inode);
        if (socket == sockets->end()) continue;
        const std::string& name = socket->second.name;
        if (name.empty()) {
            if (socket->second.peer) idle->serverSockets_.push_back(inode);
        } else if (std::find(idle->listening_.begin(), idle->listening_.end(), name) ==
                   idle->listening_.end()) {
            idle->listening_.push_back(name);
        }
    }
    if (idle->listening_.empty()) return nullptr;
    const xcb_query_extension_reply_t* res = xcb_get_extension_data(c, &xcb_res_id);
    idle->clientIds_ = res && res->present;
    return idle;
}

bool XProgramIdle::roundTrip() {
    return Reply<xcb_get_input_focus_reply_t>{
               xcb_get_input_focus_reply(c_, xcb_get_input_focus(c_), nullptr)} != nullptr;
}

pid_t XProgramIdle::processOf(std::uint32_t window) {
    if (!clientIds_ || window == XCB_NONE || window == XCB_INPUT_FOCUS_POINTER_ROOT) return 0;
    xcb_res_client_id_spec_t spec{window, XCB_RES_CLIENT_ID_MASK_LOCAL_CLIENT_PID};
    Reply<xcb_res_query_client_ids_reply_t> ids{
        xcb_res_query_client_ids_reply(c_, xcb_res_query_client_ids(c_, 1, &spec), nullptr)};
    if (!ids) return 0;
    pid_t pid = 0;
    for (auto it = xcb_res_query_client_ids_ids_iterator(ids.get()); it.rem && !pid;
         xcb_res_client_id_value_next(&it)) {
        if ((it.data->spec.mask & XCB_RES_CLIENT_ID_MASK_LOCAL_CLIENT_PID) &&
            xcb_res_client_id_value_value_length(it.data) >= 1) {
            pid = static_cast<pid_t>(*xcb_res_client_id_value_value(it.data));
        }
    }
    // The server's own windows (the root) belong to no program.
    return pid == server_ ? 0 : pid;
}

XProgramIdle::Moment XProgramIdle::momentOf(pid_t pid) {
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

bool XProgramIdle::waitUntilHandled(pid_t pid, std::chrono::milliseconds busy) {
    // What the server wrote the program before this call is in its socket,
    // or read, once the second round trip is answered.
    if (!roundTrip() || !roundTrip()) return false;
    const Clock::time_point end = Clock::now() + busy;
    Moment before = momentOf(pid);
    while (Clock::now() < end) {
        if (!before.waiting) {
            std::this_thread::sleep_for(kPoll);
            before = momentOf(pid);
            continue;
        }
        if (!roundTrip() || !roundTrip()) return false;
        const Moment after = momentOf(pid);
        if (after.waiting && after.waits == before.waits) return true;
        before = after;
    }
    return false;
}

}  // namespace tarn::x11

// SPDX-License-Identifier: GPL-3.0-or-later
#include "XcbWindowSystem.h"

#include <poll.h>
#include <unistd.h>
#include <xcb/res.h>
#include <xcb/xcb.h>
#include <xcb/xcb_ewmh.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_set>

#include "Failure.h"
#include "WindowTitle.h"
#include "XcbReply.h"
#include "XcbWindowSystemClients.h"

namespace tarn::x11 {

namespace {

using Clock = std::chrono::steady_clock;

// Takes a reply and drops its error: on foreign windows an error only means
// the window is gone, which the caller sees as a missing reply.
template <class R, class Cookie>
Reply<R> take(R* (*fetch)(xcb_connection_t*, Cookie, xcb_generic_error_t**), xcb_connection_t* c,
              Cookie cookie) {
    xcb_generic_error_t* error = nullptr;
    Reply<R> reply(fetch(c, cookie, &error));
    const Reply<xcb_generic_error_t> dropped(error);
    return reply;
}

Reply<xcb_get_property_reply_t> property(xcb_connection_t* c, xcb_get_property_cookie_t cookie) {
    return take(xcb_get_property_reply, c, cookie);
}

// The 32-bit items of a property of the given type (WINDOW, ATOM, CARDINAL).
std::vector<std::uint32_t> items(const xcb_get_property_reply_t* reply, xcb_atom_t type) {
    if (!reply || reply->type != type || reply->format != 32) return {};
    auto* data = static_cast<const std::uint32_t*>(xcb_get_property_value(reply));
    int count = xcb_get_property_value_length(reply) / 4;
    return std::vector<std::uint32_t>(data, data + std::max(count, 0));
}

bool firstItem(const xcb_get_property_reply_t* reply, xcb_atom_t type, std::uint32_t& value) {
    auto values = items(reply, type);
    if (values.empty()) return false;
    value = values.front();
    return true;
}

std::string_view bytes(const xcb_get_property_reply_t* reply) {
    if (!reply || reply->format != 8) return {};
    int length = xcb_get_property_value_length(reply);
    return {static_cast<const char*>(xcb_get_property_value(reply)),
            static_cast<std::size_t>(std::max(length, 0))};
}

xcb_window_t toX(WindowId id) {
    return id > 0 ? static_cast<xcb_window_t>(id) : XCB_NONE;
}
WindowId fromX(xcb_window_t window) {
    return static_cast<WindowId>(window);
}

// Longest title read, in 32-bit units: 4096 bytes, far more than the 255
// characters a macro compares.
constexpr std::uint32_t kTitleLongs = 1024;
constexpr std::uint32_t kNormalState = 1;
constexpr std::uint32_t kIconicState = 3;
constexpr std::uint32_t kAllDesktops = 0xFFFFFFFF;
constexpr std::chrono::milliseconds kPollInterval{5};
constexpr std::chrono::milliseconds kServerTimeTimeout{500};
constexpr std::chrono::milliseconds kRestoreTimeout{1000};

}  // namespace

class XcbWindowSystem::Connection {
  public:
    Connection(Host& host, xcb_connection_t* connection, int screen)
        : host_(host), c_(connection), screenNumber_(screen) {}
    ~Connection();
    bool initialise();

    std::vector<TopLevelWindow> topLevelWindows();
    std::vector<TopLevelWindow> describe(const std::vector<xcb_window_t>& windows);
    bool isWindow(xcb_window_t window);
    bool iconic(xcb_window_t window);
    void restore(xcb_window_t window);
    bool setForeground(xcb_window_t window);
    void postClose(xcb_window_t window);
    std::vector<ProcessId> processesOf(const std::vector<xcb_window_t>& windows);
    void activateProcess(ProcessId process);
    ProcessId serverProcess() const { return serverProcess_; }
    void dropEvents();
    bool displayClosed() {
        if (!xcb_connection_has_error(c_)) sync(c_);
        return xcb_connection_has_error(c_) != 0;
    }

  private:
    struct WindowManager {
        xcb_window_t check = XCB_NONE;  // None: no EWMH window manager runs
        std::vector<xcb_atom_t> supported;
        bool running() const { return check != XCB_NONE; }
        bool supports(xcb_atom_t atom) const {
            return running() &&
                   std::find(supported.begin(), supported.end(), atom) != supported.end();
        }
    };
    WindowManager windowManager();
    bool verifiedCheck(xcb_window_t candidate);

    // What a search needs to know of one window, read in at most two passes:
    // the first asks what nearly every window has (_NET_WM_NAME, WM_STATE),
    // the second only what the first left open (the WM_NAME of a legacy
    // client, the map state of a window without WM_STATE). Fewer requests
    // matter more than passes: the server's work grows with the requests,
    // while a pass costs one round trip whatever the number of windows.
    struct Probe {
        xcb_window_t window = XCB_NONE;
        bool exists = true;
        bool viewable = false;
        bool overrideRedirect = false;
        bool hasAttributes = false;
        bool hasState = false;
        std::uint32_t state = 0;
        bool named = false;
        std::string title;
        bool askedAttributes = false, askedName = false, askedState = false;
        xcb_get_window_attributes_cookie_t attributesCookie{};
        xcb_get_property_cookie_t netNameCookie{}, stateCookie{}, nameCookie{};

        bool stateSaysVisible() const {
            return hasState && (state == kNormalState || state == kIconicState);
        }
        bool visible() const { return viewable || stateSaysVisible(); }
    };
    void sendFirst(Probe& probe, bool attributes, bool state = true);
    void readFirst(Probe& probe);
    void sendSecond(Probe& probe, bool attributesIfUnclear);
    void readSecond(Probe& probe);
    void readAttributes(Probe& probe);
    std::vector<Probe> probe(const std::vector<xcb_window_t>& windows, bool attributes);

    xcb_window_t activeWindow();
    bool focusWithin(xcb_window_t window);
    bool pollUntil(Clock::time_point deadline, const std::function<bool()>& done);
    void switchToDesktopOf(xcb_window_t window, const WindowManager& wm,
                           Clock::time_point deadline);
    xcb_timestamp_t serverTime();

    Host& host_;
    xcb_connection_t* c_;
    int screenNumber_;
    xcb_window_t root_ = XCB_NONE;
    xcb_window_t clock_ = XCB_NONE;  // our own unmapped window, to learn the server time
    xcb_ewmh_connection_t ewmh_{};
    bool ewmhReady_ = false;
    bool clientIds_ = false;  // X-Resource 1.2: the PID of a window's client
    // The bits of an X ID that name its client; the server's own resources
    // (the root window, say) have none of them set.
    std::uint32_t clientBits_ = 0;
    ProcessId serverProcess_ = 0;  // the X server, from our socket; 0 over TCP
    xcb_atom_t wmState_ = XCB_NONE;
    xcb_atom_t wmDeleteWindow_ = XCB_NONE;
    xcb_atom_t timeProperty_ = XCB_NONE;
    xcb_atom_t compoundText_ = XCB_NONE;
    // The root's children that the last search found mapped or overriding the
    // redirect while not in the client list: the window manager's frames (and
    // menus and the like). They never carry a title, so later searches need
    // not ask about them again; an X ID is not reused while its window exists.
    std::unordered_set<xcb_window_t> frames_;
    // The window manager's check window the last search verified, asked about
    // again right in the first pass.
    xcb_window_t lastCheck_ = XCB_NONE;
};

XcbWindowSystem::Connection::~Connection() {
    if (clock_ != XCB_NONE) xcb_destroy_window(c_, clock_);
    if (ewmhReady_) xcb_ewmh_connection_wipe(&ewmh_);
    xcb_disconnect(c_);
}

bool XcbWindowSystem::Connection::initialise() {
    const xcb_setup_t* setup = xcb_get_setup(c_);
    auto screens = xcb_setup_roots_iterator(setup);
    for (int i = 0; i < screenNumber_ && screens.rem; ++i)
        xcb_screen_next(&screens);
    if (!screens.rem) return false;
    root_ = screens.data->root;
    clientBits_ = ~setup->resource_id_mask & 0x1FFFFFFFu;
    serverProcess_ = static_cast<ProcessId>(posix::peerProcess(xcb_get_file_descriptor(c_)));

    xcb_intern_atom_cookie_t* ewmhCookies = xcb_ewmh_init_atoms(c_, &ewmh_);
    const char* names[] = {"WM_STATE", "WM_DELETE_WINDOW", "_TARN_SERVER_TIME", "COMPOUND_TEXT"};
    constexpr int kAtoms = 4;
    xcb_intern_atom_cookie_t cookies[kAtoms];
    for (int i = 0; i < kAtoms; ++i)
        cookies[i] =
            xcb_intern_atom(c_, 0, static_cast<std::uint16_t>(std::strlen(names[i])), names[i]);
    const xcb_query_extension_reply_t* res = xcb_get_extension_data(c_, &xcb_res_id);
    xcb_res_query_version_cookie_t resVersion{};
    if (res && res->present) resVersion = xcb_res_query_version(c_, 1, 2);

    ewmhReady_ = ewmhCookies && xcb_ewmh_init_atoms_replies(&ewmh_, ewmhCookies, nullptr);
    xcb_atom_t* atoms[] = {&wmState_, &wmDeleteWindow_, &timeProperty_, &compoundText_};
    for (int i = 0; i < kAtoms; ++i) {
        auto reply = take(xcb_intern_atom_reply, c_, cookies[i]);
        if (reply) *atoms[i] = reply->atom;
    }
    if (res && res->present) {
        auto version = take(xcb_res_query_version_reply, c_, resVersion);
        clientIds_ = version && (version->server_major > 1 ||
                                 (version->server_major == 1 && version->server_minor >= 2));
    }
    if (!ewmhReady_ || wmState_ == XCB_NONE || timeProperty_ == XCB_NONE) return false;

    // The server time comes with the PropertyNotify of a change to a window
    // of ours; it is never mapped and the window manager never sees it.
    clock_ = xcb_generate_id(c_);
    std::uint32_t values[] = {1, XCB_EVENT_MASK_PROPERTY_CHANGE};
    auto created = xcb_create_window_checked(c_, XCB_COPY_FROM_PARENT, clock_, root_, -1, -1, 1, 1,
                                             0, XCB_WINDOW_CLASS_INPUT_ONLY, XCB_COPY_FROM_PARENT,
                                             XCB_CW_OVERRIDE_REDIRECT | XCB_CW_EVENT_MASK, values);
    if (const Reply<xcb_generic_error_t> error{xcb_request_check(c_, created)}) {
        clock_ = XCB_NONE;
        return false;
    }
    return true;
}

void XcbWindowSystem::Connection::dropEvents() {
    // Nothing here listens for events but the clock's PropertyNotify, read
    // where it is awaited; what else arrives (errors of requests without
    // replies, on windows that vanished) is of no use and must not pile up.
    while (Reply<xcb_generic_event_t>(xcb_poll_for_event(c_))) {
    }
}

bool XcbWindowSystem::Connection::verifiedCheck(xcb_window_t candidate) {
    // A window manager that died leaves its property on the root behind; the
    // check window pointing at itself proves that it is still there.
    auto self = property(c_, xcb_get_property(c_, 0, candidate, ewmh_._NET_SUPPORTING_WM_CHECK,
                                              XCB_ATOM_WINDOW, 0, 1));
    std::uint32_t pointsTo = XCB_NONE;
    return firstItem(self.get(), XCB_ATOM_WINDOW, pointsTo) && pointsTo == candidate;
}

XcbWindowSystem::Connection::WindowManager XcbWindowSystem::Connection::windowManager() {
    auto checkCookie =
        xcb_get_property(c_, 0, root_, ewmh_._NET_SUPPORTING_WM_CHECK, XCB_ATOM_WINDOW, 0, 1);
    auto supportedCookie =
        xcb_get_property(c_, 0, root_, ewmh_._NET_SUPPORTED, XCB_ATOM_ATOM, 0, 4096);
    auto check = property(c_, checkCookie);
    auto supported = property(c_, supportedCookie);
    WindowManager wm;
    std::uint32_t candidate = XCB_NONE;
    if (firstItem(check.get(), XCB_ATOM_WINDOW, candidate) && candidate != XCB_NONE &&
        verifiedCheck(candidate)) {
        wm.check = candidate;
        wm.supported = items(supported.get(), XCB_ATOM_ATOM);
    }
    return wm;
}

void XcbWindowSystem::Connection::sendFirst(Probe& probe, bool attributes, bool state) {
    if (attributes) {
        probe.askedAttributes = true;
        probe.attributesCookie = xcb_get_window_attributes(c_, probe.window);
    }
    probe.netNameCookie = xcb_get_property(c_, 0, probe.window, ewmh_._NET_WM_NAME,
                                           ewmh_.UTF8_STRING, 0, kTitleLongs);
    probe.askedState = state;
    if (state) probe.stateCookie = xcb_get_property(c_, 0, probe.window, wmState_, wmState_, 0, 2);
}

void XcbWindowSystem::Connection::readAttributes(Probe& probe) {
    probe.askedAttributes = false;
    auto attributes = take(xcb_get_window_attributes_reply, c_, probe.attributesCookie);
    if (!attributes) {
        probe.exists = false;
        return;
    }
    probe.hasAttributes = true;
    probe.viewable = attributes->map_state == XCB_MAP_STATE_VIEWABLE;
    probe.overrideRedirect = attributes->override_redirect != 0;
}

void XcbWindowSystem::Connection::readFirst(Probe& probe) {
    if (probe.askedAttributes) readAttributes(probe);
    auto netName = property(c_, probe.netNameCookie);
    Reply<xcb_get_property_reply_t> state;
    if (probe.askedState) state = property(c_, probe.stateCookie);
    // Any property read of a window that exists answers, if only with "none";
    // a missing reply means the window went away between two of our requests.
    if (!netName || (probe.askedState && !state)) probe.exists = false;
    if (!probe.exists) return;
    if (state) probe.hasState = firstItem(state.get(), wmState_, probe.state);
    std::string_view name = bytes(netName.get());
    if (netName->type == ewmh_.UTF8_STRING && !name.empty()) {
        probe.title = decodeTitle(name, TitleEncoding::Utf8, netName->bytes_after > 0);
        probe.named = true;
    }
}

void XcbWindowSystem::Connection::sendSecond(Probe& probe, bool attributesIfUnclear) {
    if (!probe.exists) return;
    if (!probe.named) {
        probe.askedName = true;
        probe.nameCookie = xcb_get_property(c_, 0, probe.window, XCB_ATOM_WM_NAME,
                                            XCB_GET_PROPERTY_TYPE_ANY, 0, kTitleLongs);
    }
    if (attributesIfUnclear && !probe.hasAttributes && !probe.stateSaysVisible()) {
        probe.askedAttributes = true;
        probe.attributesCookie = xcb_get_window_attributes(c_, probe.window);
    }
}

void XcbWindowSystem::Connection::readSecond(Probe& probe) {
    if (probe.askedName) {
        probe.askedName = false;
        auto name = property(c_, probe.nameCookie);
        if (!name) {
            probe.exists = false;
        } else if (std::string_view legacy = bytes(name.get()); !legacy.empty()) {
            // STRING is Latin-1 by the ICCCM; UTF8_STRING in WM_NAME is common
            // practice; other types are rare enough to be read as Latin-1 too.
            TitleEncoding encoding = name->type == ewmh_.UTF8_STRING ? TitleEncoding::Utf8
                                     : name->type == compoundText_   ? TitleEncoding::CompoundText
                                                                     : TitleEncoding::Latin1;
            probe.title = decodeTitle(legacy, encoding, name->bytes_after > 0);
        }
    }
    if (probe.askedAttributes) readAttributes(probe);
}

std::vector<XcbWindowSystem::Connection::Probe> XcbWindowSystem::Connection::probe(
    const std::vector<xcb_window_t>& windows, bool attributes) {
    std::vector<Probe> probes(windows.size());
    for (std::size_t i = 0; i < windows.size(); ++i) {
        probes[i].window = windows[i];
        sendFirst(probes[i], attributes);
    }
    for (Probe& p : probes)
        readFirst(p);
    for (Probe& p : probes)
        sendSecond(p, true);
    for (Probe& p : probes)
        readSecond(p);
    return probes;
}

std::vector<TopLevelWindow> XcbWindowSystem::Connection::describe(
    const std::vector<xcb_window_t>& windows) {
    dropEvents();
    std::vector<TopLevelWindow> out;
    for (const Probe& p : probe(windows, false))
        if (p.exists) out.push_back({fromX(p.window), p.title, p.visible()});
    return out;
}

std::vector<TopLevelWindow> XcbWindowSystem::Connection::topLevelWindows() {
    dropEvents();
    // First pass: who manages the desktop, its stacking list and the root's
    // children, all asked before any answer is read.
    auto checkCookie =
        xcb_get_property(c_, 0, root_, ewmh_._NET_SUPPORTING_WM_CHECK, XCB_ATOM_WINDOW, 0, 1);
    xcb_get_property_cookie_t lastCheckCookie{};
    if (lastCheck_ != XCB_NONE)
        lastCheckCookie = xcb_get_property(c_, 0, lastCheck_, ewmh_._NET_SUPPORTING_WM_CHECK,
                                           XCB_ATOM_WINDOW, 0, 1);
    auto stackingCookie = xcb_get_property(c_, 0, root_, ewmh_._NET_CLIENT_LIST_STACKING,
                                           XCB_ATOM_WINDOW, 0, UINT32_MAX / 4);
    auto treeCookie = xcb_query_tree(c_, root_);

    auto check = property(c_, checkCookie);
    std::uint32_t checkWindow = XCB_NONE;
    firstItem(check.get(), XCB_ATOM_WINDOW, checkWindow);
    Reply<xcb_get_property_reply_t> self;
    if (lastCheck_ != XCB_NONE) self = property(c_, lastCheckCookie);
    xcb_get_property_cookie_t selfCookie{};
    bool verifyNow = checkWindow != XCB_NONE && checkWindow != lastCheck_;
    if (verifyNow)
        selfCookie = xcb_get_property(c_, 0, checkWindow, ewmh_._NET_SUPPORTING_WM_CHECK,
                                      XCB_ATOM_WINDOW, 0, 1);
    auto stacking = property(c_, stackingCookie);
    auto tree = take(xcb_query_tree_reply, c_, treeCookie);
    if (verifyNow) self = property(c_, selfCookie);
    std::uint32_t pointsTo = XCB_NONE;
    // A window manager that died leaves its property on the root behind; the
    // check window pointing at itself proves that it is still there.
    if (checkWindow != XCB_NONE &&
        (!firstItem(self.get(), XCB_ATOM_WINDOW, pointsTo) || pointsTo != checkWindow))
        checkWindow = XCB_NONE;
    lastCheck_ = checkWindow;

    // The root's children come bottom first; we want topmost first.
    std::vector<xcb_window_t> children;
    if (tree) {
        xcb_window_t* first = xcb_query_tree_children(tree.get());
        children.assign(first, first + xcb_query_tree_children_length(tree.get()));
        std::reverse(children.begin(), children.end());
    }

    std::vector<TopLevelWindow> out;
    bool ewmh = checkWindow != XCB_NONE && stacking && stacking->type == XCB_ATOM_WINDOW;
    if (!ewmh) {
        frames_.clear();
        // The ICCCM alone: the root's children are the top-level windows; the
        // client ones are those with WM_STATE or a title (not the helper
        // windows that toolkits keep there, nor menus and tooltips).
        for (const Probe& p : probe(children, true))
            if (p.exists && !p.overrideRedirect && (p.hasState || !p.title.empty()))
                out.push_back({fromX(p.window), p.title, p.visible()});
        return out;
    }

    std::vector<Probe> managed;
    for (std::uint32_t window : items(stacking.get(), XCB_ATOM_WINDOW)) {
        managed.emplace_back();
        managed.back().window = window;
    }
    std::reverse(managed.begin(), managed.end());
    std::unordered_set<xcb_window_t> known;
    for (const Probe& p : managed)
        known.insert(p.window);
    known.insert(checkWindow);
    known.insert(clock_);

    // Second pass: the managed windows' names, and which of the root's other
    // children (not known as frames yet) are withdrawn windows. A managed
    // window is shown or minimised by being managed: the window manager
    // drops a window from its list as soon as it is withdrawn.
    for (Probe& p : managed)
        sendFirst(p, false, false);
    std::unordered_set<xcb_window_t> frames;
    std::vector<std::pair<xcb_window_t, xcb_get_window_attributes_cookie_t>> others;
    for (xcb_window_t window : children) {
        if (known.count(window)) continue;
        if (frames_.count(window))
            frames.insert(window);
        else
            others.emplace_back(window, xcb_get_window_attributes(c_, window));
    }
    for (Probe& p : managed)
        readFirst(p);
    std::vector<Probe> withdrawn;
    for (const auto& [window, cookie] : others) {
        auto attributes = take(xcb_get_window_attributes_reply, c_, cookie);
        if (!attributes) continue;
        if (attributes->override_redirect || attributes->map_state != XCB_MAP_STATE_UNMAPPED) {
            frames.insert(window);
        } else {
            withdrawn.emplace_back();
            withdrawn.back().window = window;
        }
    }
    frames_ = std::move(frames);

    // Third pass and on: what the managed windows left open, and the same two
    // passes for the withdrawn ones.
    for (Probe& p : managed)
        sendSecond(p, false);
    for (Probe& p : withdrawn)
        sendFirst(p, false);
    for (Probe& p : managed)
        readSecond(p);
    for (Probe& p : withdrawn)
        readFirst(p);
    for (Probe& p : withdrawn)
        sendSecond(p, false);
    for (Probe& p : withdrawn)
        readSecond(p);

    for (const Probe& p : managed)
        if (p.exists) out.push_back({fromX(p.window), p.title, true});
    // Withdrawn windows are hidden ones; like hidden windows elsewhere they are
    // listed (after the shown ones) so that a search that does not ask for
    // visible windows only finds them.
    for (const Probe& p : withdrawn)
        if (p.exists && (p.hasState || !p.title.empty()))
            out.push_back({fromX(p.window), p.title, false});
    return out;
}

bool XcbWindowSystem::Connection::isWindow(xcb_window_t window) {
    dropEvents();
    if (window == XCB_NONE) return false;
    return take(xcb_get_window_attributes_reply, c_, xcb_get_window_attributes(c_, window)) !=
           nullptr;
}

bool XcbWindowSystem::Connection::iconic(xcb_window_t window) {
    if (window == XCB_NONE) return false;
    auto stateCookie = xcb_get_property(c_, 0, window, wmState_, wmState_, 0, 2);
    auto netCookie = xcb_get_property(c_, 0, window, ewmh_._NET_WM_STATE, XCB_ATOM_ATOM, 0, 64);
    auto state = property(c_, stateCookie);
    auto net = property(c_, netCookie);
    std::uint32_t value = 0;
    if (firstItem(state.get(), wmState_, value) && value == kIconicState) return true;
    auto flags = items(net.get(), XCB_ATOM_ATOM);
    return std::find(flags.begin(), flags.end(), ewmh_._NET_WM_STATE_HIDDEN) != flags.end();
}

bool XcbWindowSystem::Connection::pollUntil(Clock::time_point deadline,
                                            const std::function<bool()>& done) {
    for (;;) {
        if (done()) return true;
        if (Clock::now() >= deadline) return false;
        // Keeps the program's own windows alive while the desktop catches up.
        host_.idle(kPollInterval);
    }
}

void XcbWindowSystem::Connection::restore(xcb_window_t window) {
    dropEvents();
    if (window == XCB_NONE) return;
    bool wasIconic = iconic(window);
    // The ICCCM's way out of the iconic state is for the client's window to be
    // mapped again; a window manager turns that into a de-iconify, and without
    // one it simply shows the window.
    xcb_map_window(c_, window);
    xcb_flush(c_);
    if (wasIconic && windowManager().running())
        pollUntil(Clock::now() + kRestoreTimeout, [&] { return !iconic(window); });
}

xcb_timestamp_t XcbWindowSystem::Connection::serverTime() {
    // Appending nothing to a property still changes it, and the server stamps
    // the notification with its own time.
    xcb_change_property(c_, XCB_PROP_MODE_APPEND, clock_, timeProperty_, XCB_ATOM_STRING, 8, 0,
                        nullptr);
    xcb_flush(c_);
    auto deadline = Clock::now() + kServerTimeTimeout;
    for (;;) {
        while (const Reply<xcb_generic_event_t> event{xcb_poll_for_event(c_)}) {
            if ((event->response_type & 0x7F) == XCB_PROPERTY_NOTIFY) {
                const auto* notify =
                    reinterpret_cast<const xcb_property_notify_event_t*>(event.get());
                if (notify->window == clock_ && notify->atom == timeProperty_) return notify->time;
            }
        }
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0 || xcb_connection_has_error(c_)) return XCB_CURRENT_TIME;
        pollfd pfd{xcb_get_file_descriptor(c_), POLLIN, 0};
        poll(&pfd, 1, static_cast<int>(left.count()));
    }
}

xcb_window_t XcbWindowSystem::Connection::activeWindow() {
    auto reply = property(
        c_, xcb_get_property(c_, 0, root_, ewmh_._NET_ACTIVE_WINDOW, XCB_ATOM_WINDOW, 0, 1));
    std::uint32_t active = XCB_NONE;
    firstItem(reply.get(), XCB_ATOM_WINDOW, active);
    return active;
}

bool XcbWindowSystem::Connection::focusWithin(xcb_window_t window) {
    auto focus = take(xcb_get_input_focus_reply, c_, xcb_get_input_focus(c_));
    if (!focus) return false;
    // Keys go to the focus window or its descendants; a client may well put
    // the focus on an inner window of its own.
    xcb_window_t current = focus->focus;
    for (int depth = 0; depth < 32; ++depth) {
        if (current == window) return true;
        if (current == XCB_NONE || current == root_ || current == XCB_INPUT_FOCUS_POINTER_ROOT)
            return false;
        auto tree = take(xcb_query_tree_reply, c_, xcb_query_tree(c_, current));
        if (!tree) return false;
        current = tree->parent;
    }
    return false;
}

void XcbWindowSystem::Connection::switchToDesktopOf(xcb_window_t window, const WindowManager& wm,
                                                    Clock::time_point deadline) {
    if (!wm.supports(ewmh_._NET_CURRENT_DESKTOP) || !wm.supports(ewmh_._NET_WM_DESKTOP)) return;
    auto windowCookie =
        xcb_get_property(c_, 0, window, ewmh_._NET_WM_DESKTOP, XCB_ATOM_CARDINAL, 0, 1);
    auto currentCookie =
        xcb_get_property(c_, 0, root_, ewmh_._NET_CURRENT_DESKTOP, XCB_ATOM_CARDINAL, 0, 1);
    auto onDesktop = property(c_, windowCookie);
    auto current = property(c_, currentCookie);
    std::uint32_t desktop = 0, shown = 0;
    if (!firstItem(onDesktop.get(), XCB_ATOM_CARDINAL, desktop) || desktop == kAllDesktops ||
        !firstItem(current.get(), XCB_ATOM_CARDINAL, shown) || desktop == shown)
        return;
    xcb_ewmh_request_change_current_desktop(&ewmh_, screenNumber_, desktop, serverTime());
    xcb_flush(c_);
    pollUntil(deadline, [&] {
        auto now = property(c_, xcb_get_property(c_, 0, root_, ewmh_._NET_CURRENT_DESKTOP,
                                                 XCB_ATOM_CARDINAL, 0, 1));
        std::uint32_t value = 0;
        return firstItem(now.get(), XCB_ATOM_CARDINAL, value) && value == desktop;
    });
}

bool XcbWindowSystem::Connection::setForeground(xcb_window_t window) {
    dropEvents();
    if (!isWindow(window)) return false;
    auto deadline = Clock::now() + kActivationTimeout;
    WindowManager wm = windowManager();
    if (wm.supports(ewmh_._NET_ACTIVE_WINDOW)) {
        switchToDesktopOf(window, wm, deadline);
        // Source 2 (a pager, acting for the user): window managers honour it
        // without focus-stealing prevention, and it also de-iconifies.
        xcb_ewmh_request_change_active_window(&ewmh_, screenNumber_, window,
                                              XCB_EWMH_CLIENT_SOURCE_TYPE_OTHER, serverTime(),
                                              XCB_NONE);
        xcb_flush(c_);
        // The window manager announces the activation before the client has
        // necessarily taken the focus; keys typed in between would go astray.
        return pollUntil(deadline, [&] { return activeWindow() == window && focusWithin(window); });
    }

    // Without a window manager to ask, do its part: show, raise, focus.
    xcb_map_window(c_, window);
    std::uint32_t above = XCB_STACK_MODE_ABOVE;
    xcb_configure_window(c_, window, XCB_CONFIG_WINDOW_STACK_MODE, &above);
    xcb_timestamp_t time = serverTime();
    return pollUntil(deadline, [&] {
        if (focusWithin(window)) return true;
        // Fails (BadMatch) while the window is not viewable yet, e.g. while a
        // window manager that does not speak EWMH is still mapping it.
        auto cookie = xcb_set_input_focus_checked(c_, XCB_INPUT_FOCUS_POINTER_ROOT, window, time);
        const Reply<xcb_generic_error_t> refused(xcb_request_check(c_, cookie));
        return focusWithin(window);
    });
}

void XcbWindowSystem::Connection::postClose(xcb_window_t window) {
    dropEvents();
    if (window == XCB_NONE) return;
    auto clientsCookie =
        xcb_get_property(c_, 0, root_, ewmh_._NET_CLIENT_LIST, XCB_ATOM_WINDOW, 0, UINT32_MAX / 4);
    WindowManager wm = windowManager();
    auto clients = property(c_, clientsCookie);
    xcb_timestamp_t time = serverTime();
    auto list = items(clients.get(), XCB_ATOM_WINDOW);
    bool managed = std::find(list.begin(), list.end(), window) != list.end();
    // The window manager closes a window as its close button does: politely
    // through WM_DELETE_WINDOW when the window takes part in it, else by
    // disconnecting its client, which is how X closes such a window.
    if (managed && wm.supports(ewmh_._NET_CLOSE_WINDOW)) {
        xcb_ewmh_request_close_window(&ewmh_, screenNumber_, window, time,
                                      XCB_EWMH_CLIENT_SOURCE_TYPE_OTHER);
    } else {
        // Without a window manager (or for a window it does not manage) only
        // the polite request is ours to make; a window that does not take
        // part in WM_DELETE_WINDOW may ignore it.
        xcb_client_message_event_t message{};
        message.response_type = XCB_CLIENT_MESSAGE;
        message.format = 32;
        message.window = window;
        message.type = ewmh_.WM_PROTOCOLS;
        message.data.data32[0] = wmDeleteWindow_;
        message.data.data32[1] = time;
        xcb_send_event(c_, 0, window, XCB_EVENT_MASK_NO_EVENT,
                       reinterpret_cast<const char*>(&message));
    }
    xcb_flush(c_);
}

std::vector<ProcessId> XcbWindowSystem::Connection::processesOf(
    const std::vector<xcb_window_t>& windows) {
    dropEvents();
    struct Cookies {
        xcb_get_window_attributes_cookie_t attributes;
        xcb_res_query_client_ids_cookie_t ids;
    };
    std::vector<Cookies> cookies;
    cookies.reserve(windows.size());
    for (xcb_window_t window : windows) {
        Cookies c{};
        c.attributes = xcb_get_window_attributes(c_, window);
        if (clientIds_) {
            xcb_res_client_id_spec_t spec{window, XCB_RES_CLIENT_ID_MASK_LOCAL_CLIENT_PID};
            c.ids = xcb_res_query_client_ids(c_, 1, &spec);
        }
        cookies.push_back(c);
    }
    std::vector<ProcessId> processes;
    processes.reserve(windows.size());
    for (std::size_t i = 0; i < cookies.size(); ++i) {
        const Cookies& c = cookies[i];
        const xcb_window_t window = windows[i];
        auto attributes = take(xcb_get_window_attributes_reply, c_, c.attributes);
        Reply<xcb_res_query_client_ids_reply_t> ids;
        if (clientIds_) ids = take(xcb_res_query_client_ids_reply, c_, c.ids);
        ProcessId found = 0;
        if (!attributes) {
            processes.push_back(0);
            continue;
        }
        // The server knows the PID of a local client from its socket, which
        // no client can fake. _NET_WM_PID and WM_CLIENT_MACHINE are only what
        // a client claims (any client may write them on any window), so a
        // window whose client the server cannot name (one connected over TCP,
        // or a server without X-Resource) has no known process: a KillProcess
        // must never be steered to an unrelated process by a property.
        if (ids) {
            for (auto it = xcb_res_query_client_ids_ids_iterator(ids.get()); it.rem && !found;
                 xcb_res_client_id_value_next(&it)) {
                if ((it.data->spec.mask & XCB_RES_CLIENT_ID_MASK_LOCAL_CLIENT_PID) &&
                    xcb_res_client_id_value_value_length(it.data) >= 1)
                    found = static_cast<ProcessId>(*xcb_res_client_id_value_value(it.data));
            }
        }
        // The server's own windows belong to no client that could be ended.
        if ((window & clientBits_) == 0 || found == serverProcess_) found = 0;
        processes.push_back(found > 0 ? found : 0);
    }
    // The server named each client when it connected; the process must still
    // hold the connection now, or the number may be another's by now.
    std::optional<DisplayClients> clients;
    bool looked = false;
    for (ProcessId& process : processes) {
        if (process == 0) continue;
        if (!looked) {
            clients = DisplayClients::snapshot(xcb_get_file_descriptor(c_));
            looked = true;
        }
        if (clients && !clients->heldBy(process)) process = 0;
    }
    return processes;
}

void XcbWindowSystem::Connection::activateProcess(ProcessId process) {
    if (process <= 0) throw runtimeFailure(kInvalidArgument);
    // Only the windows a user could switch to: shown or minimised ones.
    std::vector<xcb_window_t> candidates;
    for (const TopLevelWindow& window : topLevelWindows())
        if (window.visible) candidates.push_back(toX(window.id));
    auto owners = processesOf(candidates);
    for (std::size_t i = 0; i < candidates.size(); ++i) {
        if (owners[i] != process) continue;
        if (iconic(candidates[i])) restore(candidates[i]);
        // A window the window manager did not bring forward in time is no
        // success: the caller may try again until its own time-out.
        if (!setForeground(candidates[i])) throw runtimeFailure(kInvalidArgument);
        return;
    }
    throw runtimeFailure(kInvalidArgument);
}

std::unique_ptr<XcbWindowSystem> XcbWindowSystem::connect(Host& host, const char* display) {
    int screen = 0;
    xcb_connection_t* c = xcb_connect(display, &screen);
    if (!c) return nullptr;
    if (xcb_connection_has_error(c)) {
        xcb_disconnect(c);
        return nullptr;
    }
    auto connection = std::make_unique<Connection>(host, c, screen);
    if (!connection->initialise()) return nullptr;
    return std::unique_ptr<XcbWindowSystem>(new XcbWindowSystem(std::move(connection)));
}

XcbWindowSystem::XcbWindowSystem(std::unique_ptr<Connection> connection)
    : x_(std::move(connection)) {}

XcbWindowSystem::~XcbWindowSystem() = default;

std::vector<TopLevelWindow> XcbWindowSystem::topLevelWindows() {
    return x_->topLevelWindows();
}

std::vector<TopLevelWindow> XcbWindowSystem::describe(const std::vector<WindowId>& windows) {
    std::vector<xcb_window_t> ids;
    for (WindowId id : windows)
        if (toX(id) != XCB_NONE) ids.push_back(toX(id));
    return x_->describe(ids);
}

bool XcbWindowSystem::isWindow(WindowId window) {
    return x_->isWindow(toX(window));
}

bool XcbWindowSystem::isIconic(WindowId window) {
    x_->dropEvents();
    return x_->iconic(toX(window));
}

void XcbWindowSystem::restore(WindowId window) {
    x_->restore(toX(window));
}

bool XcbWindowSystem::setForeground(WindowId window) {
    return x_->setForeground(toX(window));
}

void XcbWindowSystem::postClose(WindowId window) {
    x_->postClose(toX(window));
}

ProcessId XcbWindowSystem::processOf(WindowId window) {
    if (toX(window) == XCB_NONE) return 0;
    return x_->processesOf({toX(window)}).front();
}

void XcbWindowSystem::activateProcess(ProcessId process) {
    x_->activateProcess(process);
}

ProcessId XcbWindowSystem::serverProcess() {
    return x_->serverProcess();
}

bool XcbWindowSystem::displayClosed() {
    return x_->displayClosed();
}

}  // namespace tarn::x11

// SPDX-License-Identifier: GPL-3.0-or-later
#include "MutterKeyboard.h"

#include <gio/gio.h>

#include <unistd.h>
#include <xkbcommon/xkbcommon-keysyms.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>

namespace tarn::gnome {

namespace {

constexpr const char* kRemoteDesktop = "org.gnome.Mutter.RemoteDesktop";
constexpr const char* kRemoteDesktopPath = "/org/gnome/Mutter/RemoteDesktop";
constexpr const char* kSessionInterface = "org.gnome.Mutter.RemoteDesktop.Session";

bool processRuns(pid_t pid) {
    return pid > 0 && (::kill(pid, 0) == 0 || errno == EPERM);
}

}  // namespace

MutterKeyboard::MutterKeyboard(std::unique_ptr<ShellConnection> bus)
    : bus_(std::move(bus)), engine_(*this) {}

std::unique_ptr<MutterKeyboard> MutterKeyboard::connect(std::string& problem) {
    auto bus = ShellConnection::connect();
    if (!bus) {
        problem = "cannot connect to the session bus";
        return nullptr;
    }
    std::unique_ptr<MutterKeyboard> keyboard(new MutterKeyboard(std::move(bus)));
    if (!keyboard->start(problem)) return nullptr;
    return keyboard;
}

bool MutterKeyboard::start(std::string& problem) {
    VariantPtr created = bus_->call(kRemoteDesktop, kRemoteDesktopPath, kRemoteDesktop,
                                    "CreateSession", nullptr, "(o)");
    if (!created) {
        problem =
            "GNOME refused Tarn a remote-desktop session to type with (" + bus_->error() + ")";
        return false;
    }
    const char* path = nullptr;
    g_variant_get(created.get(), "(&o)", &path);
    session_ = path;
    if (!bus_->call(kRemoteDesktop, session_.c_str(), kSessionInterface, "Start", nullptr,
                    nullptr)) {
        problem = "GNOME did not start Tarn's remote-desktop session (" + bus_->error() + ")";
        return false;
    }
    // The first keys of a new session were seen to be lost; a Shift that
    // types nothing goes first.
    notify(XKB_KEY_Shift_L, true);
    notify(XKB_KEY_Shift_L, false);
    sync();
    // What a run that was killed while it typed left.
    reclaim();
    lastTyped_ = std::chrono::steady_clock::now();
    return true;
}

MutterKeyboard::~MutterKeyboard() {
    restoreLayout();
    if (!session_.empty())
        bus_->call(kRemoteDesktop, session_.c_str(), kSessionInterface, "Stop", nullptr, nullptr);
}

void MutterKeyboard::type(const KeySequence& keys) {
    lastTyped_ = std::chrono::steady_clock::now();
    engine_.type(keys);
    lastTyped_ = std::chrono::steady_clock::now();
}

void MutterKeyboard::notify(xkb_keysym_t keysym, bool pressed) {
    bus_->send(kRemoteDesktop, session_.c_str(), kSessionInterface, "NotifyKeyboardKeysym",
               g_variant_new("(ub)", keysym, pressed ? TRUE : FALSE));
}

std::uint64_t MutterKeyboard::focusedWindow() {
    VariantPtr reply = bus_->callExtension("FocusedWindow", nullptr, "(t)");
    guint64 id = 0;
    if (reply) g_variant_get(reply.get(), "(t)", &id);
    return id;
}

std::string MutterKeyboard::recordPath() const {
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    return std::string(runtime && *runtime ? runtime : "/tmp") + "/tarn-gnome-layout";
}

void MutterKeyboard::restoreLayout() {
    if (!ownLayout_) return;
    sync();
    bus_->callExtension("RestoreLayout", nullptr, "(b)");
    ownLayout_ = false;
    slots_.clear();
    std::remove(recordPath().c_str());
}

void MutterKeyboard::restoreLayoutIfIdle(std::chrono::milliseconds idle) {
    if (ownLayout_ && std::chrono::steady_clock::now() - lastTyped_ >= idle) restoreLayout();
}

void MutterKeyboard::refresh() {
    VariantPtr reply = bus_->callExtension("Layout", nullptr, "(sssb)");
    if (!reply) return;
    const char *layout = nullptr, *variant = nullptr, *options = nullptr;
    gboolean own = FALSE;
    g_variant_get(reply.get(), "(&s&s&sb)", &layout, &variant, &options, &own);
    layout_.update({layout, variant, options});
    // The extension gave the user's layout back (another Tarn, a restart).
    if (!own && ownLayout_) {
        ownLayout_ = false;
        slots_.clear();
    }
}

std::optional<typing::KeyPlace> MutterKeyboard::find(char32_t character, xkb_keysym_t keysym) {
    const xkb_keysym_t found = layout_.find(character, keysym);
    if (found == XKB_KEY_NoSymbol) return std::nullopt;
    // mutter picks the key and the level modifiers itself.
    return typing::KeyPlace{found, 0};
}

std::uint32_t MutterKeyboard::modifierKey(typing::Modifier modifier) {
    xkb_keysym_t keysym = XKB_KEY_NoSymbol;
    switch (modifier) {
        case typing::kShift:
            keysym = XKB_KEY_Shift_L;
            break;
        case typing::kControl:
            keysym = XKB_KEY_Control_L;
            break;
        case typing::kAlt:
            keysym = XKB_KEY_Alt_L;
            break;
        case typing::kLevel3:
            keysym = XKB_KEY_ISO_Level3_Shift;
            break;
    }
    return layout_.has(keysym) ? keysym : 0;
}

std::size_t MutterKeyboard::bindingRoom() {
    return layout_.room();
}

bool MutterKeyboard::reclaim() {
    std::ifstream record(recordPath());
    pid_t owner = 0;
    if (!(record >> owner) || owner == ::getpid() || processRuns(owner)) return false;
    VariantPtr reply = bus_->callExtension("RestoreLayout", nullptr, "(b)");
    std::remove(recordPath().c_str());
    gboolean changed = FALSE;
    if (reply) g_variant_get(reply.get(), "(b)", &changed);
    return changed;
}

bool MutterKeyboard::bind(const std::vector<xkb_keysym_t>& keysyms) {
    const std::size_t room = layout_.room();
    if (keysyms.size() > room) return false;
    if (!ownLayout_ || slots_.size() != room) {
        slots_.assign(room, XKB_KEY_NoSymbol);
        used_.assign(room, 0);
    }
    std::vector<xkb_keysym_t> slots = slots_;
    std::vector<bool> wanted(room, false);
    std::vector<xkb_keysym_t> missing;
    for (xkb_keysym_t keysym : keysyms) {
        const auto at = std::find(slots.begin(), slots.end(), keysym);
        if (at == slots.end())
            missing.push_back(keysym);
        else
            wanted[at - slots.begin()] = true;
    }
    for (xkb_keysym_t keysym : missing) {
        // A free key, else the one least recently used that is not wanted.
        std::size_t best = room;
        for (std::size_t i = 0; i < room; ++i) {
            if (wanted[i]) continue;
            if (best == room || slots[i] == XKB_KEY_NoSymbol ||
                (slots[best] != XKB_KEY_NoSymbol && used_[i] < used_[best]))
                best = i;
            if (slots[best] == XKB_KEY_NoSymbol) break;
        }
        if (best == room) return false;
        slots[best] = keysym;
        used_[best] = 0;
        wanted[best] = true;
    }
    if (!ownLayout_ || slots != slots_) {
        sync();
        std::ofstream(recordPath()) << ::getpid() << '\n';
        if (!bus_->callExtension(
                "UseOwnLayout", g_variant_new("(s)", layout_.ownSymbols(slots).c_str()), nullptr)) {
            std::remove(recordPath().c_str());
            return false;
        }
        ownLayout_ = true;
    }
    slots_ = slots;
    return true;
}

std::optional<typing::KeyPlace> MutterKeyboard::bound(xkb_keysym_t keysym) {
    const auto at = std::find(slots_.begin(), slots_.end(), keysym);
    if (!ownLayout_ || keysym == XKB_KEY_NoSymbol || at == slots_.end()) return std::nullopt;
    used_[at - slots_.begin()] = ++uses_;
    return typing::KeyPlace{keysym, 0};
}

void MutterKeyboard::enter(bool resuming) {
    if (!resuming) target_ = focusedWindow();
}

void MutterKeyboard::leave(bool /*capsLockToggled*/) {}

bool MutterKeyboard::openBatch() {
    // The round trip also paces: the Shell answers once it has handled the
    // keys sent before.
    const std::uint64_t focused = focusedWindow();
    return !bus_->lost() && focused == target_;
}

void MutterKeyboard::closeBatch() {
    // mutter hands keys to the focused window when it gets to them, not when
    // it is sent them: the extension answers once it has.
    bus_->callExtension("Drain", nullptr, nullptr);
}

void MutterKeyboard::sync() {
    focusedWindow();
}

bool MutterKeyboard::connectionLost() {
    return bus_->lost();
}

std::string MutterKeyboard::connectionLostDescription() const {
    return "GNOME Shell or Tarn's extension is gone";
}

}  // namespace tarn::gnome

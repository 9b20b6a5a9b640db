// SPDX-License-Identifier: GPL-3.0-or-later
#include "ShellWindowSystem.h"

#include <gio/gio.h>

#include "Failure.h"

namespace tarn::gnome {

namespace {
constexpr const char* kWindowList = "(a(tsisbb))";
}

ShellWindowSystem::ShellWindowSystem(Host& host, std::unique_ptr<ShellConnection> bus)
    : host_(host), bus_(std::move(bus)) {}

ShellWindowSystem::~ShellWindowSystem() = default;

std::unique_ptr<ShellWindowSystem> ShellWindowSystem::connect(Host& host) {
    auto bus = ShellConnection::connect();
    if (!bus || !bus->callExtension("ListWindows", nullptr, kWindowList)) return nullptr;
    return std::unique_ptr<ShellWindowSystem>(new ShellWindowSystem(host, std::move(bus)));
}

std::vector<ShellWindowSystem::Window> ShellWindowSystem::list() {
    std::vector<Window> windows;
    VariantPtr reply = bus_->callExtension("ListWindows", nullptr, kWindowList);
    if (!reply) return windows;
    GVariantIter* iter = nullptr;
    g_variant_get(reply.get(), kWindowList, &iter);
    guint64 shellId = 0;
    const char* title = nullptr;
    const char* wmClass = nullptr;
    gint32 pid = 0;
    gboolean minimized = FALSE, focused = FALSE;
    std::map<std::uint64_t, WindowId> listed;
    while (g_variant_iter_next(iter, "(t&si&sbb)", &shellId, &title, &pid, &wmClass, &minimized,
                               &focused)) {
        WindowId& id = ids_[shellId];
        if (!id) id = ++lastId_;
        listed[shellId] = id;
        windows.push_back(
            {id, shellId, title, pid > 0 ? pid : 0, minimized != FALSE, focused != FALSE});
    }
    g_variant_iter_free(iter);
    // A closed window's ID is never given again; its entry can go.
    ids_.swap(listed);
    return windows;
}

bool ShellWindowSystem::find(WindowId id, Window& found) {
    if (id <= 0) return false;
    for (const Window& w : list()) {
        if (w.id == id) {
            found = w;
            return true;
        }
    }
    return false;
}

std::uint64_t ShellWindowSystem::shellIdOf(WindowId id) const {
    for (const auto& [shellId, ours] : ids_)
        if (ours == id) return shellId;
    return 0;
}

std::vector<TopLevelWindow> ShellWindowSystem::topLevelWindows() {
    std::vector<TopLevelWindow> windows;
    for (const Window& w : list())
        windows.push_back(TopLevelWindow{w.id, w.title, true});
    return windows;
}

bool ShellWindowSystem::isWindow(WindowId window) {
    Window w;
    return find(window, w);
}

bool ShellWindowSystem::isIconic(WindowId window) {
    Window w;
    return find(window, w) && w.minimized;
}

void ShellWindowSystem::restore(WindowId window) {
    if (const std::uint64_t shellId = shellIdOf(window))
        bus_->callExtension("Restore", g_variant_new("(t)", shellId), "(b)");
}

bool ShellWindowSystem::activate(WindowId id) {
    const auto deadline = host_.now() + kActivationTimeout;
    auto asked = host_.now();
    // Asked even when the shell has the window focused already: a window the
    // shell focused as it appeared was seen not to know it.
    const std::uint64_t shellId = shellIdOf(id);
    if (!shellId || !bus_->callExtension("Activate", g_variant_new("(t)", shellId), "(b)"))
        return false;
    for (;;) {
        Window w;
        if (!find(id, w)) return false;
        if (w.focused && !w.minimized) return true;
        if (host_.now() >= deadline || bus_->lost()) return false;
        if (host_.now() - asked >= kActivationRetry) {
            asked = host_.now();
            bus_->callExtension("Activate", g_variant_new("(t)", w.shellId), "(b)");
        }
        host_.idle(std::chrono::milliseconds(20));
    }
}

bool ShellWindowSystem::setForeground(WindowId window) {
    return activate(window);
}

void ShellWindowSystem::postClose(WindowId window) {
    if (const std::uint64_t shellId = shellIdOf(window))
        bus_->callExtension("Close", g_variant_new("(t)", shellId), "(b)");
}

ProcessId ShellWindowSystem::processOf(WindowId window) {
    Window w;
    return find(window, w) ? w.process : 0;
}

void ShellWindowSystem::activateProcess(ProcessId process) {
    if (process > 0) {
        for (const Window& w : list()) {
            if (w.process == process) {
                if (activate(w.id)) return;
                break;
            }
        }
    }
    throw runtimeFailure(kInvalidArgument);
}

bool ShellWindowSystem::displayClosed() {
    return bus_->lost();
}

}  // namespace tarn::gnome

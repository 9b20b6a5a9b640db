// SPDX-License-Identifier: GPL-3.0-or-later
#include "ToplevelWindowSystem.h"

#include <wayland-client.h>

#include <algorithm>
#include <list>
#include <map>
#include <string>

#include "Failure.h"
#include "SwayIpc.h"
#include "WaylandConnection.h"
#include "wlr-foreign-toplevel-management-unstable-v1-client.h"

namespace tarn::wayland {

namespace {

using std::chrono::milliseconds;

// One window as the compositor last described it.
struct Toplevel {
    zwlr_foreign_toplevel_handle_v1* handle = nullptr;
    WindowId id = 0;
    std::string title, appId;
    bool minimized = false;
    bool activated = false;
    std::uint64_t lastActive = 0;  // when it was last seen becoming active
    class ToplevelWindowSystem::Toplevels* owner = nullptr;
};

}  // namespace

class ToplevelWindowSystem::Toplevels {
  public:
    Toplevels(Host& host, std::unique_ptr<WaylandConnection> connection, const char* swaySocket)
        : host_(host), c_(std::move(connection)), sway(swaySocket) {}

    ~Toplevels() {
        for (auto& [id, toplevel] : toplevels_)
            zwlr_foreign_toplevel_handle_v1_destroy(toplevel.handle);
        if (manager_) zwlr_foreign_toplevel_manager_v1_stop(manager_);
    }

    bool start() {
        manager_ = c_->toplevelManager();
        if (!manager_ || !c_->seat()) return false;
        static const zwlr_foreign_toplevel_manager_v1_listener listener = {
            [](void* data, zwlr_foreign_toplevel_manager_v1*,
               zwlr_foreign_toplevel_handle_v1* handle) {
                static_cast<Toplevels*>(data)->added(handle);
            },
            [](void* data, zwlr_foreign_toplevel_manager_v1*) {
                static_cast<Toplevels*>(data)->manager_ = nullptr;
            },
        };
        zwlr_foreign_toplevel_manager_v1_add_listener(manager_, &listener, this);
        // The existing windows are announced in reply to the binding, newest
        // first (wlroots keeps its list so). They are numbered oldest first,
        // as the windows announced later are as they come, so that an ID
        // tells a window's age whether or not it was there before Tarn.
        if (!c_->roundtrip()) return false;
        std::vector<decltype(toplevels_)::node_type> existing;
        while (!toplevels_.empty())
            existing.push_back(toplevels_.extract(toplevels_.begin()));
        for (auto& node : existing) {
            // The node keeps its element where it is, which the listeners hold.
            node.key() = node.mapped().id = lastId_ + 1 - node.key();
            toplevels_.insert(std::move(node));
        }
        return true;
    }

    // Reads what the compositor has said since.
    void refresh() { c_->roundtrip(); }
    // A compositor that has gone is found by asking it.
    bool gone() {
        if (!c_->broken()) c_->roundtrip();
        return c_->broken();
    }

    Toplevel* find(WindowId id) {
        auto found = toplevels_.find(id);
        return found == toplevels_.end() ? nullptr : &found->second;
    }

    std::vector<const Toplevel*> ordered() {
        std::vector<const Toplevel*> list;
        for (const auto& [id, toplevel] : toplevels_)
            list.push_back(&toplevel);
        std::sort(list.begin(), list.end(), [](const Toplevel* a, const Toplevel* b) {
            if (a->activated != b->activated) return a->activated;
            if (a->lastActive != b->lastActive) return a->lastActive > b->lastActive;
            return a->id > b->id;
        });
        return list;
    }

    // The process of every window, 0 where it is unknown. sway numbers a
    // window's container in the same step that announces the window to this
    // protocol, so the windows of its tree, oldest first, pair with the
    // toplevels, oldest first: twins of the same program and title are told
    // apart. A pairing whose app ids or titles disagree saw a window come or
    // go between the two looks, and is taken again; should it never agree,
    // a window is known by its app id and title, where no twin shares them.
    std::map<WindowId, ProcessId> processes() {
        std::map<WindowId, ProcessId> pids;
        if (!sway.available()) return pids;
        std::vector<SwayWindow> tree;
        for (int attempt = 0; attempt < 3; ++attempt) {
            refresh();
            tree = sway.windows();
            if (tree.size() != toplevels_.size()) continue;
            auto w = tree.begin();
            for (const auto& [id, toplevel] : toplevels_) {
                if (w->appId != toplevel.appId || w->title != toplevel.title) break;
                pids[id] = w++->pid;
            }
            if (pids.size() == toplevels_.size()) return pids;
            pids.clear();
        }
        for (const auto& [id, toplevel] : toplevels_) {
            ProcessId found = 0;
            for (const SwayWindow& w : tree) {
                if (w.appId != toplevel.appId || w.title != toplevel.title || w.pid <= 0) continue;
                found = found && found != w.pid ? -1 : w.pid;
            }
            pids[id] = found > 0 ? found : 0;
        }
        return pids;
    }

    bool activate(Toplevel& toplevel) {
        const WindowId id = toplevel.id;
        if (toplevel.minimized) zwlr_foreign_toplevel_handle_v1_unset_minimized(toplevel.handle);
        zwlr_foreign_toplevel_handle_v1_activate(toplevel.handle, c_->seat());
        const auto deadline = host_.now() + kActivationTimeout;
        for (;;) {
            const bool active = c_->dispatchUntil(
                [&] {
                    const Toplevel* t = find(id);
                    return !t || (t->activated && !t->minimized);
                },
                milliseconds(50));
            if (active) return find(id) != nullptr;
            if (c_->broken() || host_.now() >= deadline) return false;
            host_.yield();
        }
    }

    void close(Toplevel& toplevel) {
        zwlr_foreign_toplevel_handle_v1_close(toplevel.handle);
        c_->roundtrip();
    }

    void unminimize(Toplevel& toplevel) {
        zwlr_foreign_toplevel_handle_v1_unset_minimized(toplevel.handle);
        c_->roundtrip();
    }

  private:
    void added(zwlr_foreign_toplevel_handle_v1* handle) {
        const WindowId id = ++lastId_;
        Toplevel& toplevel = toplevels_[id];
        toplevel.handle = handle;
        toplevel.id = id;
        toplevel.owner = this;
        static const zwlr_foreign_toplevel_handle_v1_listener listener = {
            [](void* data, zwlr_foreign_toplevel_handle_v1*, const char* title) {
                static_cast<Toplevel*>(data)->title = title;
            },
            [](void* data, zwlr_foreign_toplevel_handle_v1*, const char* appId) {
                static_cast<Toplevel*>(data)->appId = appId;
            },
            [](void*, zwlr_foreign_toplevel_handle_v1*, wl_output*) {},
            [](void*, zwlr_foreign_toplevel_handle_v1*, wl_output*) {},
            [](void* data, zwlr_foreign_toplevel_handle_v1*, wl_array* states) {
                auto* t = static_cast<Toplevel*>(data);
                const bool wasActive = t->activated;
                t->minimized = t->activated = false;
                const auto* state = static_cast<const std::uint32_t*>(states->data);
                for (std::size_t i = 0; i < states->size / sizeof *state; ++i) {
                    if (state[i] == ZWLR_FOREIGN_TOPLEVEL_HANDLE_V1_STATE_MINIMIZED) {
                        t->minimized = true;
                    }
                    if (state[i] == ZWLR_FOREIGN_TOPLEVEL_HANDLE_V1_STATE_ACTIVATED) {
                        t->activated = true;
                    }
                }
                if (t->activated && !wasActive) t->lastActive = ++t->owner->activations_;
            },
            [](void*, zwlr_foreign_toplevel_handle_v1*) {},
            [](void* data, zwlr_foreign_toplevel_handle_v1*) {
                auto* t = static_cast<Toplevel*>(data);
                t->owner->removed(t->id);
            },
        };
        zwlr_foreign_toplevel_handle_v1_add_listener(handle, &listener, &toplevel);
    }

    void removed(WindowId id) {
        auto found = toplevels_.find(id);
        if (found == toplevels_.end()) return;
        zwlr_foreign_toplevel_handle_v1_destroy(found->second.handle);
        toplevels_.erase(found);
    }

    Host& host_;
    std::unique_ptr<WaylandConnection> c_;
    zwlr_foreign_toplevel_manager_v1* manager_ = nullptr;
    // std::map keeps each element where it is, so the listeners can hold it.
    std::map<WindowId, Toplevel> toplevels_;
    WindowId lastId_ = 0;
    std::uint64_t activations_ = 0;

  public:
    SwayIpc sway;
};

ToplevelWindowSystem::ToplevelWindowSystem(std::unique_ptr<Toplevels> toplevels)
    : d_(std::move(toplevels)) {}

ToplevelWindowSystem::~ToplevelWindowSystem() = default;

std::unique_ptr<ToplevelWindowSystem> ToplevelWindowSystem::connect(Host& host, const char* display,
                                                                    const char* swaySocket) {
    auto connection = WaylandConnection::connect(display);
    if (!connection) return nullptr;
    auto toplevels = std::make_unique<Toplevels>(host, std::move(connection), swaySocket);
    if (!toplevels->start()) return nullptr;
    return std::unique_ptr<ToplevelWindowSystem>(new ToplevelWindowSystem(std::move(toplevels)));
}

std::vector<TopLevelWindow> ToplevelWindowSystem::topLevelWindows() {
    d_->refresh();
    std::vector<TopLevelWindow> windows;
    for (const Toplevel* t : d_->ordered())
        windows.push_back(TopLevelWindow{t->id, t->title, true});
    return windows;
}

bool ToplevelWindowSystem::isWindow(WindowId window) {
    d_->refresh();
    return d_->find(window) != nullptr;
}

bool ToplevelWindowSystem::isIconic(WindowId window) {
    d_->refresh();
    const Toplevel* t = d_->find(window);
    return t && t->minimized;
}

void ToplevelWindowSystem::restore(WindowId window) {
    if (Toplevel* t = d_->find(window)) d_->unminimize(*t);
}

bool ToplevelWindowSystem::setForeground(WindowId window) {
    d_->refresh();
    Toplevel* t = d_->find(window);
    return t && d_->activate(*t);
}

void ToplevelWindowSystem::postClose(WindowId window) {
    if (Toplevel* t = d_->find(window)) d_->close(*t);
}

bool ToplevelWindowSystem::displayClosed() {
    return d_->gone();
}

ProcessId ToplevelWindowSystem::processOf(WindowId window) {
    const std::map<WindowId, ProcessId> pids = d_->processes();
    const auto found = pids.find(window);
    return found == pids.end() ? 0 : found->second;
}

void ToplevelWindowSystem::activateProcess(ProcessId process) {
    if (process <= 0 || !d_->sway.available()) throw runtimeFailure(kInvalidArgument);
    const std::map<WindowId, ProcessId> pids = d_->processes();
    for (const Toplevel* t : d_->ordered()) {
        const auto found = pids.find(t->id);
        if (found != pids.end() && found->second == process) {
            d_->activate(*d_->find(t->id));
            return;
        }
    }
    throw runtimeFailure(kInvalidArgument);
}

}  // namespace tarn::wayland

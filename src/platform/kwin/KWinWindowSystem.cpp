// SPDX-License-Identifier: GPL-3.0-or-later
#include "KWinWindowSystem.h"

#include <algorithm>
#include <map>
#include <sstream>
#include <utility>

#include "Failure.h"
#include "KWinScripts.h"

namespace tarn::kwin {

namespace {

using std::chrono::milliseconds;

// Each window on a line: internal ID, process, minimised, stacking position,
// caption (percent-encoded, so that the line stays one line).
constexpr const char* kListing = R"(
var windows = workspace.clientList(), lines = [];
for (var i = 0; i < windows.length; ++i) {
    var w = windows[i];
    if (!w.normalWindow && !w.dialog) continue;
    lines.push([w.internalId.toString(), w.pid, w.minimized ? 1 : 0, w.stackingOrder,
                encodeURIComponent(w.caption)].join(" "));
}
answer(lines.join("\n"));
)";

struct Listed {
    std::string internalId;
    ProcessId pid = 0;
    bool minimized = false;
    int stacking = 0;
    std::string caption;
};

// A script that finds the window `internalId` as w and runs `action` on it,
// or answers "gone".
std::string forWindow(const std::string& internalId, const std::string& action) {
    return "var windows = workspace.clientList(), found = null;\n"
           "for (var i = 0; i < windows.length; ++i)\n"
           "    if (windows[i].internalId.toString() == " +
           KWinScripts::quoted(internalId) +
           ") found = windows[i];\n"
           "if (!found) { answer(\"gone\"); } else { var w = found; " +
           action + " }\n";
}

}  // namespace

struct KWinWindowSystem::State {
    Host& host;
    std::unique_ptr<KWinScripts> scripts;
    std::map<std::string, WindowId> ids;  // by KWin's internal ID
    WindowId lastId = 0;

    State(Host& h, std::unique_ptr<KWinScripts> s) : host(h), scripts(std::move(s)) {}

    std::vector<Listed> list() {
        std::vector<Listed> windows;
        const std::optional<std::string> answer = scripts->run(kListing);
        if (!answer) return windows;
        std::istringstream lines(*answer);
        for (std::string line; std::getline(lines, line);) {
            std::istringstream fields(line);
            Listed w;
            int minimized = 0;
            std::string caption;
            if (!(fields >> w.internalId >> w.pid >> minimized >> w.stacking)) continue;
            fields >> caption;
            w.minimized = minimized != 0;
            w.caption = withoutTwinSuffix(percentDecoded(caption));
            windows.push_back(std::move(w));
        }
        // IDs in the order the windows are first seen, KWin's list being in
        // the order they came.
        for (const Listed& w : windows)
            if (!ids.count(w.internalId)) ids[w.internalId] = ++lastId;
        std::stable_sort(windows.begin(), windows.end(),
                         [](const Listed& a, const Listed& b) { return a.stacking > b.stacking; });
        return windows;
    }

    std::string internalIdOf(WindowId window) {
        for (const auto& [internal, id] : ids)
            if (id == window) return internal;
        return {};
    }

    std::optional<Listed> find(WindowId window) {
        if (window <= 0) return std::nullopt;
        for (Listed& w : list())
            if (ids[w.internalId] == window) return w;
        return std::nullopt;
    }

    std::optional<std::string> act(WindowId window, const std::string& action) {
        const std::string internal = internalIdOf(window);
        if (internal.empty()) return std::nullopt;
        return scripts->run(forWindow(internal, action));
    }

    // Asks KWin to activate the window and waits until KWin says it is the
    // active one, un-minimised.
    bool activate(WindowId window) {
        constexpr const char* kActivate =
            "if (w.minimized) w.minimized = false; workspace.activeClient = w; "
            "answer(workspace.activeClient === w && !w.minimized ? \"active\" : \"asked\");";
        constexpr const char* kIsActive =
            "answer(workspace.activeClient === w && !w.minimized ? \"active\" : \"not\");";
        std::optional<std::string> state = act(window, kActivate);
        const auto deadline = host.now() + kActivationTimeout;
        while (state && *state != "gone") {
            if (*state == "active") return true;
            if (host.now() >= deadline) return false;
            host.idle(milliseconds(20));
            state = act(window, kIsActive);
        }
        return false;
    }
};

std::string withoutTwinSuffix(std::string caption) {
    // KWin marks a window that does not answer its pings in time, which a
    // busy program may fail to do for a moment (English: Tarn's own locale
    // is what the desktop's tests and most sessions give KWin).
    static const std::string kNotResponding = " (Not Responding)";
    if (caption.size() > kNotResponding.size() &&
        caption.compare(caption.size() - kNotResponding.size(), std::string::npos,
                        kNotResponding) == 0) {
        caption.resize(caption.size() - kNotResponding.size());
    }
    const std::size_t open = caption.rfind(" <");
    if (open == std::string::npos || caption.back() != '>') return caption;
    const std::string number = caption.substr(open + 2, caption.size() - open - 3);
    if (number.empty() || number.size() > 4 ||
        !std::all_of(number.begin(), number.end(), [](char c) { return c >= '0' && c <= '9'; }) ||
        number[0] == '0' || number == "1") {
        return caption;
    }
    return caption.substr(0, open);
}

std::unique_ptr<KWinWindowSystem> KWinWindowSystem::connect(Host& host, const char* busAddress) {
    auto scripts = KWinScripts::connect(busAddress);
    // A KWin that runs no script (scripting disabled) is of no use.
    if (!scripts || !scripts->run("answer(\"ok\");")) return nullptr;
    return std::unique_ptr<KWinWindowSystem>(
        new KWinWindowSystem(std::make_unique<State>(host, std::move(scripts))));
}

KWinWindowSystem::KWinWindowSystem(std::unique_ptr<State> state) : d_(std::move(state)) {}
KWinWindowSystem::~KWinWindowSystem() = default;

std::vector<TopLevelWindow> KWinWindowSystem::topLevelWindows() {
    std::vector<TopLevelWindow> windows;
    for (const Listed& w : d_->list())
        windows.push_back({d_->ids[w.internalId], w.caption, true});
    return windows;
}

bool KWinWindowSystem::isWindow(WindowId window) {
    return d_->find(window).has_value();
}

bool KWinWindowSystem::isIconic(WindowId window) {
    const std::optional<Listed> w = d_->find(window);
    return w && w->minimized;
}

void KWinWindowSystem::restore(WindowId window) {
    d_->act(window, "w.minimized = false; answer(\"ok\");");
}

bool KWinWindowSystem::setForeground(WindowId window) {
    return window > 0 && !d_->internalIdOf(window).empty() && d_->activate(window);
}

void KWinWindowSystem::postClose(WindowId window) {
    d_->act(window, "w.closeWindow(); answer(\"ok\");");
}

ProcessId KWinWindowSystem::processOf(WindowId window) {
    const std::optional<Listed> w = d_->find(window);
    return w ? w->pid : 0;
}

void KWinWindowSystem::activateProcess(ProcessId process) {
    if (process > 0) {
        // The list is topmost first.
        for (const Listed& w : d_->list()) {
            if (w.pid != process) continue;
            if (d_->activate(d_->ids[w.internalId])) return;
            break;
        }
    }
    throw runtimeFailure(kInvalidArgument);
}

bool KWinWindowSystem::displayClosed() {
    return d_->scripts->lost();
}

}  // namespace tarn::kwin

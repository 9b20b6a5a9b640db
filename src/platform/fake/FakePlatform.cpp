// SPDX-License-Identifier: GPL-3.0-or-later
#include "FakePlatform.h"

#include <algorithm>
#include <cerrno>

namespace tarn::fake {

FakeWindow* FakeWindowSystem::find(WindowId id) {
    for (FakeWindow& w : windows) {
        if (w.id == id) return &w;
    }
    return nullptr;
}

std::vector<TopLevelWindow> FakeWindowSystem::topLevelWindows() {
    ++enumerations;
    std::vector<TopLevelWindow> out;
    out.reserve(windows.size());
    for (const FakeWindow& w : windows)
        out.push_back({w.id, w.title, w.visible});
    return out;
}

bool FakeWindowSystem::isWindow(WindowId window) {
    return find(window) != nullptr;
}

bool FakeWindowSystem::isIconic(WindowId window) {
    const FakeWindow* w = find(window);
    return w && w->iconic;
}

void FakeWindowSystem::restore(WindowId window) {
    log_.push_back("restore " + std::to_string(window));
    if (FakeWindow* w = find(window)) w->iconic = false;
}

bool FakeWindowSystem::setForeground(WindowId window) {
    log_.push_back("setForeground " + std::to_string(window));
    FakeWindow* w = find(window);
    if (!w) return false;
    active = window;
    // Raise it to the top of the stacking order, as a window manager would.
    FakeWindow copy = *w;
    windows.erase(windows.begin() + (w - windows.data()));
    windows.insert(windows.begin(), copy);
    return true;
}

void FakeWindowSystem::postClose(WindowId window) {
    log_.push_back("postClose " + std::to_string(window));
    auto it = std::find_if(windows.begin(), windows.end(),
                           [&](const FakeWindow& w) { return w.id == window; });
    if (it != windows.end() && it->closesWhenAsked) windows.erase(it);
}

ProcessId FakeWindowSystem::processOf(WindowId window) {
    const FakeWindow* w = find(window);
    return w ? w->process : 0;
}

void FakeWindowSystem::activateProcess(ProcessId process) {
    log_.push_back("activateProcess " + std::to_string(process));
    if (activateFailure) throw *activateFailure;
    for (const FakeWindow& w : windows) {
        if (w.process == process && w.visible) {
            const WindowId id = w.id;
            if (w.iconic) restore(id);
            setForeground(id);
            return;
        }
    }
    throw runtimeFailure(kInvalidArgument);
}

void FakeKeyboard::type(const KeySequence& keys) {
    // As every real keyboard: what no keyboard can type fails the whole
    // sequence, so a check that lets it pass disagrees with a run.
    for (const KeyEvent& event : keys) {
        if (event.key == Key::Character && !isTypeableCharacter(event.character))
            throw runtimeFailure(kInvalidArgument);
    }
    log_.push_back("type " + describe(keys));
    typed.push_back(keys);
}

bool FakeStopKey::arm() {
    ++arms;
    pressed_ = false;
    armed = armable;
    return armed;
}

void FakeStopKey::press() {
    if (!armed || pressed_) return;
    pressed_ = true;
    if (Pressed) Pressed();
}

ProcessId FakeProcesses::start(const std::string& commandLine) {
    log_.push_back("start " + commandLine);
    if (startFailure) {
        Failure failure = *startFailure;
        startFailure.reset();
        throw failure;
    }
    running.insert(nextProcess);
    return nextProcess++;
}

int FakeProcesses::open(ProcessId process) {
    log_.push_back("open " + std::to_string(process));
    if (protectedProcesses.count(process)) return EPERM;
    return running.count(process) ? 0 : ESRCH;
}

int FakeProcesses::terminate(ProcessId process) {
    log_.push_back("terminate " + std::to_string(process));
    if (terminateError) return terminateError;
    running.erase(process);
    return 0;
}

int FakeDocuments::execute(WindowId owner, const std::string& operation, const std::string& file,
                           const std::string& parameters, const std::string& startDirectory,
                           int showCommand) {
    log_.push_back("execute " + std::to_string(owner) + "|" + operation + "|" + file + "|" +
                   parameters + "|" + startDirectory + "|" + std::to_string(showCommand));
    return result;
}

int FakeSession::requestEnd(SessionEnd how, bool force) {
    log_.push_back("requestEnd " + std::to_string(static_cast<int>(how)) + (force ? " force" : ""));
    return result;
}

void FakeHost::yield() {
    ++yields;
    time += yieldStep;
    if (onYield) onYield();
}

void FakeHost::idle(std::chrono::milliseconds atMost) {
    ++idles;
    time += atMost;
    if (onYield) onYield();
}

}  // namespace tarn::fake

// SPDX-License-Identifier: GPL-3.0-or-later
#include "TypingEngine.h"

#include <xkbcommon/xkbcommon-keysyms.h>

#include <algorithm>
#include <utility>

#include "Failure.h"
#include "KeySymOfKey.h"
#include "StopKey.h"

namespace tarn::typing {
namespace {

[[noreturn]] void cannotType() {
    throw runtimeFailure(kInvalidArgument);
}

// One event of the sequence, resolved against the layout.
struct Step {
    bool press = true;
    Modifier modifier{};                    // a modifier of the notation; else a key
    KeyPlace place;                         // a key on the layout (key != 0)
    xkb_keysym_t spare = XKB_KEY_NoSymbol;  // a key through a binding
    bool capsLock = false;
    bool stopKey = false;
    bool isModifier() const { return modifier != Modifier{}; }
};

Modifier modifierOf(Key key) {
    switch (key) {
        case Key::Shift:
            return kShift;
        case Key::Control:
            return kControl;
        case Key::Alt:
            return kAlt;
        default:
            return Modifier{};
    }
}

// Resolves every event from `from` on; throws 5 for the first one the layout
// cannot give and no binding could.
std::vector<Step> resolve(TypingPort& port, const KeySequence& keys, std::size_t from,
                          bool& needsBinding) {
    std::vector<Step> steps;
    steps.reserve(keys.size() - from);
    needsBinding = false;
    for (auto at = keys.begin() + static_cast<std::ptrdiff_t>(from); at != keys.end(); ++at) {
        const KeyEvent& event = *at;
        Step step;
        step.press = event.type == KeyEvent::Type::Press;
        step.modifier = modifierOf(event.key);
        if (step.isModifier()) {
            if (!port.modifierKey(step.modifier)) cannotType();
            steps.push_back(step);
            continue;
        }
        char32_t character = 0;
        xkb_keysym_t keysym = XKB_KEY_NoSymbol;
        if (event.key == Key::Character) {
            const char32_t c = event.character;
            if (!isTypeableCharacter(c)) cannotType();
            // A line break in the text is the Enter key, as in an editor.
            if (c == U'\n' || c == U'\r') {
                keysym = XKB_KEY_Return;
            } else {
                character = c;
                keysym = xkb_utf32_to_keysym(c);
            }
        } else {
            keysym = keysymOf(event.key);
            step.capsLock = event.key == Key::CapsLock;
            step.stopKey = event.key == StopKey::kKey;
        }
        if (const std::optional<KeyPlace> place = port.find(character, keysym)) {
            step.place = *place;
        } else {
            if (keysym == XKB_KEY_NoSymbol) cannotType();
            step.spare = keysym;
            needsBinding = true;
        }
        steps.push_back(step);
    }
    return steps;
}

}  // namespace

void TypingEngine::type(const KeySequence& keys) {
    if (keys.empty()) return;
    TypingPort& port = port_;
    auto lost = [&] {
        throw Failure(kDisplayClosed, port.connectionLostDescription(), kRuntimeSource);
    };
    if (port.connectionLost()) lost();
    port.refresh();
    if (port.connectionLost()) lost();

    bool needsBinding = false;
    std::vector<Step> steps = resolve(port, keys, 0, needsBinding);
    if (needsBinding && port.bindingRoom() == 0) {
        // Runs killed mid-sequence may hold every key there is to bind;
        // once they are back, the layout is another.
        if (!port.reclaim()) cannotType();
        port.refresh();
        steps = resolve(port, keys, 0, needsBinding);
        if (needsBinding && port.bindingRoom() == 0) cannotType();
    }
    std::size_t room = port.bindingRoom();

    std::vector<std::uint32_t> down;  // keys this sequence holds, in press order
    std::uint32_t held = 0;           // the modifiers down
    std::uint32_t sequenceMask = 0;   // the modifiers the notation holds
    int capsToggles = 0;
    bool stopSuspended = false;
    bool targetLost = false;
    bool batchOpen = false;
    std::size_t inBatch = 0;
    std::size_t i = 0;  // the next step to type
    // A modifier key went down and nothing since: letting it go now would be
    // a tap of its own, which opens a menu in some programs (Alt).
    bool bareModifier = false;
    // The program was stopped and continued (job control): the rest is
    // resolved anew and its segments found again.
    bool resumed = false;
    // Between enter() and leave(); not while the program is stopped.
    bool entered = false;

    auto isModifierKey = [&](std::uint32_t key) {
        return std::any_of(std::begin(kModifiers), std::end(kModifiers),
                           [&](Modifier m) { return port.modifierKey(m) == key; });
    };

    auto isDown = [&](std::uint32_t key) {
        return std::find(down.begin(), down.end(), key) != down.end();
    };
    auto press = [&](std::uint32_t key) {
        port.press(key);
        down.push_back(key);
        ++inBatch;
        bareModifier = isModifierKey(key);
    };
    auto release = [&](std::uint32_t key) {
        auto at = std::find(down.begin(), down.end(), key);
        if (at == down.end()) return;
        down.erase(at);
        port.release(key);
        ++inBatch;
    };
    auto hold = [&](std::uint32_t mask) {
        for (Modifier modifier : kModifiers) {
            const std::uint32_t key = port.modifierKey(modifier);
            if (!key) continue;
            const bool want = (mask & modifier) != 0;
            if (want && !isDown(key)) press(key);
            if (!want && isDown(key)) release(key);
        }
        if (mask != held) {
            held = mask;
            port.modifiersHeld(mask);
        }
    };
    auto closeBatch = [&] {
        if (!batchOpen) return;
        batchOpen = false;
        port.closeBatch();
    };
    // A stop of the program (Ctrl+Z) is let in where nothing but modifiers
    // is down: a key let go early and not pressed again is typed once, and
    // the modifiers are pressed again by the next key that needs them.
    auto mayStop = [&] {
        return stop_ && !bareModifier && std::all_of(down.begin(), down.end(), isModifierKey);
    };
    // Lets go of every key and puts back what enter() cleared while the
    // program is stopped; once it is continued, clears it again and
    // resolves the rest against the layout as it is then (the user may have
    // changed it). The target stays the one typing began with: the next
    // batch confirms it still has the focus.
    auto stopProgram = [&] {
        closeBatch();
        while (!down.empty())
            release(down.back());
        if (held) {
            held = 0;
            port.modifiersHeld(0);
        }
        port.leave(capsToggles % 2 != 0);
        entered = false;
        capsToggles = 0;
        port.sync();
        stop_->stopProgram();
        if (port.connectionLost()) lost();
        port.refresh();
        if (port.connectionLost()) lost();
        bool again = false;
        std::vector<Step> rest = resolve(port, keys, i, again);
        std::copy(rest.begin(), rest.end(), steps.begin() + static_cast<std::ptrdiff_t>(i));
        room = port.bindingRoom();
        if (again && room == 0) cannotType();
        port.enter(true);
        entered = true;
        resumed = true;
    };
    // True when typing may go on: the stop key was not pressed and the
    // target is still the one typing began with. `betweenSteps`: no step is
    // half typed, so the program may be stopped here.
    auto nextBatch = [&](bool betweenSteps) {
        closeBatch();
        inBatch = 0;
        if (port.connectionLost()) lost();
        if (stop_ && !stopSuspended && stop_->pressed()) return false;
        if (betweenSteps && stop_ && stop_->programStopAsked() && mayStop()) stopProgram();
        if (!port.openBatch()) {
            targetLost = true;
            return false;
        }
        batchOpen = true;
        return true;
    };
    auto resumeStop = [&] {
        if (!stopSuspended) return;
        // The key must have reached the target before the watch is back.
        port.sync();
        stopSuspended = false;
        stop_->resume();
    };
    auto finish = [&] {
        while (!down.empty())
            release(down.back());
        if (held) {
            held = 0;
            port.modifiersHeld(0);
        }
        closeBatch();
        if (entered) port.leave(capsToggles % 2 != 0);
        resumeStop();
        port.sync();
    };
    // From here until every key is up, a stop of the program waits for
    // stopProgram(), or for the end of the sequence.
    struct Holding {
        StopKey* stop;
        explicit Holding(StopKey* s) : stop(s) {
            if (stop) stop->holdingKeys(true);
        }
        ~Holding() {
            if (stop) stop->holdingKeys(false);
        }
        Holding(const Holding&) = delete;
        Holding& operator=(const Holding&) = delete;
    } holding(stop_);

    port.enter(false);
    entered = true;
    try {
        bool go = nextBatch(true);
        while (i < steps.size() && go) {
            // A segment: as many steps as their distinct characters to bind
            // fit in the room; usually the whole sequence.
            std::vector<xkb_keysym_t> needed;
            const std::size_t end = segmentEnd(steps, i, room, needed);
            if (!needed.empty()) {
                // A key must not be down while its meaning changes.
                closeBatch();
                for (std::uint32_t key : std::vector<std::uint32_t>(down)) {
                    if (!isModifierKey(key)) release(key);
                }
                if (!port.bind(needed)) cannotType();
                if (!(go = nextBatch(true))) break;
                if (std::exchange(resumed, false)) continue;
            }
            for (; i < end; ++i) {
                const bool full = inBatch >= port.batchSize();
                if ((full || (stop_ && stop_->programStopAsked() && mayStop())) &&
                    !(go = nextBatch(true)))
                    break;
                if (std::exchange(resumed, false)) break;
                const Step& step = steps[i];
                if (step.isModifier()) {
                    if (step.press)
                        sequenceMask |= step.modifier;
                    else
                        sequenceMask &= ~static_cast<std::uint32_t>(step.modifier);
                    hold(sequenceMask);
                    continue;
                }
                KeyPlace place = step.place;
                if (step.spare != XKB_KEY_NoSymbol) {
                    const std::optional<KeyPlace> bound = port.bound(step.spare);
                    if (!bound) cannotType();
                    place = *bound;
                }
                if (step.press) {
                    hold(sequenceMask | place.modifiers);
                    if (isDown(place.key)) release(place.key);
                    // The stop key typed here goes to the target, not to the
                    // watch for it.
                    if (step.stopKey && stop_ && !stopSuspended) {
                        closeBatch();
                        port.sync();
                        stop_->suspend();
                        stopSuspended = true;
                        if (!(go = nextBatch(false))) break;
                    }
                    press(place.key);
                } else {
                    release(place.key);
                    if (step.stopKey && stopSuspended) {
                        closeBatch();
                        resumeStop();
                        if (!(go = nextBatch(false))) break;
                    }
                    if (step.capsLock) {
                        // The key toggled Caps Lock; typing goes on without
                        // it and the toggle is applied at the end.
                        ++capsToggles;
                        port.capsLockTyped();
                    }
                }
            }
        }
    } catch (...) {
        finish();
        throw;
    }
    finish();
    if (port.connectionLost()) lost();
    if (targetLost) {
        throw Failure(kTargetWindowClosed,
                      "The window the keys were typed into closed or lost the focus before they "
                      "were all typed",
                      kRuntimeSource);
    }
}

}  // namespace tarn::typing

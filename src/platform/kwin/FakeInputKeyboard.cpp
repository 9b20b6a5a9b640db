// SPDX-License-Identifier: GPL-3.0-or-later
#include "FakeInputKeyboard.h"

#include <algorithm>
#include <cstdlib>
#include <map>
#include <optional>
#include <thread>
#include <utility>

#include "Failure.h"
#include "FakeInputConnection.h"
#include "KWinScripts.h"
#include "KeymapIndex.h"
#include "ScratchLayout.h"
#include "TypingEngine.h"
#include "TypingPort.h"

namespace tarn::kwin {

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// Reports the active window, "ID", "ID x11" for an X11 program's (through
// XWayland), with " minimized" when it is, or "none", now and at every change.
constexpr const char* kActivationWatch = R"(
function tell() {
    var w = workspace.activeClient;
    report(w ? w.internalId.toString() + (w.windowId ? " x11" : "") +
                   (w.minimized ? " minimized" : "")
             : "none");
}
workspace.clientActivated.connect(tell);
workspace.clientMinimized.connect(tell);
workspace.clientRemoved.connect(function (w) { tell(); });
tell();
)";

// Characters bound at once: a symbols file KWin compiles in a moment.
constexpr std::size_t kMostBindings = 64;
// An X11 program (through XWayland) reads a new keymap as soon as it arrives,
// and then also reads the keys still queued for it with the new one. Nothing
// tells when it has caught up, so a key typed into one through a binding is
// not given another meaning sooner than this after it reached KWin. Wayland
// programs read the keymap in order with the keys.
constexpr milliseconds kXReadDelay{250};

std::string configFolder(const char* configHome) {
    if (configHome && *configHome) return configHome;
    if (const char* set = std::getenv("XDG_CONFIG_HOME"); set && *set) return set;
    const char* home = std::getenv("HOME");
    return std::string(home ? home : "") + "/.config";
}

}  // namespace

class FakeInputKeyboard::Port : public typing::TypingPort {
  public:
    Port(std::unique_ptr<FakeInputConnection> connection, std::unique_ptr<KWinScripts> scripts,
         const std::string& configHome)
        : engine(*this),
          c_(std::move(connection)),
          scripts_(std::move(scripts)),
          scratch_(*scripts_, configHome) {}

    ~Port() override {
        if (watch_ >= 0) scripts_->unwatch(watch_);
    }

    void refresh() override {
        // A keymap KWin sent since (the user changed layouts) is read first.
        c_->roundtrip();
        // While the scratch group is active (between the segments of one
        // sequence) the user's group is the one recorded when it was
        // switched to.
        if (!scratchActive_) group_ = scratch_.active().value_or(0);
        if (indexKeymap_ != c_->keymapNumber() && !scratch_.installed()) {
            // The user's layouts changed: keys and layouts are found anew.
            spareKnown_ = false;
            layouts_.reset();
        }
        if (!index_ || indexKeymap_ != c_->keymapNumber() || indexGroup_ != group_) {
            index_.emplace(c_->keymap(), group_);
            indexKeymap_ = c_->keymapNumber();
            indexGroup_ = group_;
        }
    }

    std::optional<typing::KeyPlace> find(char32_t character, xkb_keysym_t keysym) override {
        return index_->find(character, keysym);
    }
    std::uint32_t modifierKey(typing::Modifier modifier) override {
        return index_->modifierKey(modifier);
    }

    std::size_t bindingRoom() override {
        if (!baseLayout() || !scratch_.usable()) return 0;
        return std::min(spareKeys().size(), kMostBindings);
    }

    bool reclaim() override {
        if (!scratch_.reclaim()) return false;
        bindings_.clear();
        awaitKeymapWithout();
        return true;
    }

    bool bind(const std::vector<xkb_keysym_t>& keysyms) override {
        const std::optional<Layout> base = baseLayout();
        const std::vector<SpareKey>& spare = spareKeys();
        const std::size_t room = std::min(spare.size(), kMostBindings);
        if (!base || keysyms.size() > room) return false;
        std::map<xkb_keysym_t, Binding> next;
        for (xkb_keysym_t keysym : keysyms) {
            if (auto at = bindings_.find(keysym); at != bindings_.end()) next[keysym] = at->second;
        }
        const bool unchanged = next.size() == keysyms.size() && scratch_.installed();
        if (!unchanged) {
            // New characters take keys no binding holds, else those of the
            // bindings used least recently that this segment does not need.
            std::vector<bool> taken(room, false);
            for (const auto& entry : bindings_)
                taken[entry.second.spare] = true;
            std::vector<std::pair<xkb_keysym_t, Binding>> evictable;
            for (const auto& entry : bindings_)
                if (!next.count(entry.first)) evictable.push_back(entry);
            std::sort(evictable.begin(), evictable.end(),
                      [](const auto& a, const auto& b) { return a.second.used < b.second.used; });
            next = bindings_;
            std::size_t evicted = 0;
            for (xkb_keysym_t keysym : keysyms) {
                if (next.count(keysym)) continue;
                const auto free = std::find(taken.begin(), taken.end(), false);
                if (free != taken.end()) {
                    *free = true;
                    next[keysym] = Binding{static_cast<std::size_t>(free - taken.begin()), 0};
                    continue;
                }
                if (evicted == evictable.size()) return false;
                const auto& [old, binding] = evictable[evicted++];
                next.erase(old);
                next[keysym] = Binding{binding.spare, 0};
            }
            // A key about to mean another character may still be queued at
            // a target with its old meaning.
            if (evicted) letTargetsRead();
            std::vector<std::pair<std::string, xkb_keysym_t>> keys;
            for (const auto& [keysym, binding] : next)
                keys.push_back({spare[binding.spare].name, keysym});
            const std::optional<unsigned> group = scratch_.install(c_->keymap(), *base, keys);
            if (!group) return false;
            scratchGroup_ = *group;
            bindings_ = next;
            // KWin may go back to the first layout when it reloads them.
            scratchActive_ = false;
            if (!awaitKeymapWith()) {
                // KWin could not load it: the user's layouts come back now.
                restore();
                return false;
            }
        }
        if (!scratchActive_) {
            if (!switchTo(scratchGroup_)) return false;
            scratchActive_ = true;
        }
        return true;
    }

    std::optional<typing::KeyPlace> bound(xkb_keysym_t keysym) override {
        auto at = bindings_.find(keysym);
        if (at == bindings_.end() || !scratchActive_) return std::nullopt;
        at->second.used = ++uses_;
        // Only an X11 program reads keys queued before a new keymap with it.
        if (target_.find(" x11") != std::string::npos) lastBoundKey_ = Clock::now();
        return typing::KeyPlace{spareKeys()[at->second.spare].keycode, 0};
    }

    void enter(bool resuming) override {
        if (watch_ < 0) {
            watch_ = scripts_->watch(kActivationWatch,
                                     [this](const std::string& active) { active_ = active; });
        }
        if (watch_ < 0 || !scripts_->waitFor([this] { return active_.has_value(); })) {
            throw Failure(kInvalidArgument,
                          "KWin runs none of Tarn's scripts, so the window the keys would reach "
                          "cannot be known",
                          kRuntimeSource);
        }
        // KWin's reports come in order with its answers: once it has answered
        // this, every activation it made before is reported.
        scripts_->call("org.kde.KWin", "/KWin", "org.freedesktop.DBus.Peer", "Ping", nullptr);
        scripts_->pump();
        if (!resuming) target_ = *active_;
        // The lock would change every letter; it is put back at the end.
        capsLockWasOn_ = c_->capsLocked().value_or(false);
        if (capsLockWasOn_) tapCapsLock();
    }

    void leave(bool capsLockToggled) override {
        if (capsLockWasOn_ != capsLockToggled) tapCapsLock();
        if (scratchActive_) {
            c_->roundtrip();
            switchTo(group_);
            scratchActive_ = false;
        }
        lastTyped_ = Clock::now();
    }

    std::size_t batchSize() const override { return 64; }

    bool openBatch() override {
        scripts_->pump();
        // With no window active when typing began, keys go where KWin puts
        // them, as long as no window has become active since.
        return active_ == target_ && target_.find(" minimized") == std::string::npos;
    }

    void closeBatch() override {
        // The next batch waits until KWin has handed this one on.
        c_->roundtrip();
    }

    void press(std::uint32_t key) override { c_->key(key, true); }
    void release(std::uint32_t key) override { c_->key(key, false); }

    void capsLockTyped() override { tapCapsLock(); }

    void sync() override { c_->roundtrip(); }
    bool connectionLost() override { return c_->broken() || scripts_->lost(); }
    std::string connectionLostDescription() const override {
        return "the connection to KWin was lost";
    }

    void restore() {
        if (!scratch_.installed()) return;
        letTargetsRead();
        if (scratchActive_) {
            switchTo(group_);
            scratchActive_ = false;
        }
        scratch_.remove();
        bindings_.clear();
        awaitKeymapWithout();
    }

    bool reclaimAtStart() {
        if (!scratch_.reclaim()) return false;
        awaitKeymapWithout();
        return true;
    }

    bool idleFor(milliseconds idle) const {
        return scratch_.installed() && Clock::now() - lastTyped_ >= idle;
    }

    typing::TypingEngine engine;

  private:
    struct Binding {
        std::size_t spare = 0;  // index into spareKeys()
        std::uint64_t used = 0;
    };

    std::optional<Layout> baseLayout() {
        if (!layouts_) layouts_ = scratch_.layouts(c_->keymap());
        if (!layouts_ || group_ >= layouts_->size()) return std::nullopt;
        return (*layouts_)[group_];
    }

    // The keys without symbols in the user's keymap as it was before the
    // scratch group was added (which uses them).
    const std::vector<SpareKey>& spareKeys() {
        if (!spareKnown_) {
            spare_ = index_->spareKeys();
            spareKnown_ = true;
        }
        return spare_;
    }

    bool keymapHasBindings() {
        xkb_keymap* keymap = c_->keymap();
        if (xkb_keymap_num_layouts(keymap) <= scratchGroup_) return false;
        for (const auto& [keysym, binding] : bindings_) {
            if (KeymapIndex::keysymAt(keymap, spare_[binding.spare].keycode, scratchGroup_) !=
                keysym)
                return false;
        }
        return true;
    }

    // KWin recompiles the keymap once it has the new configuration.
    bool awaitKeymapWith() {
        return c_->dispatchUntil([this] { return keymapHasBindings(); },
                                 FakeInputConnection::kAnswerTimeout);
    }
    void awaitKeymapWithout() {
        layouts_.reset();
        c_->dispatchUntil(
            [this] {
                xkb_keymap* keymap = c_->keymap();
                for (xkb_layout_index_t g = 0; g < xkb_keymap_num_layouts(keymap); ++g) {
                    const char* name = xkb_keymap_layout_get_name(keymap, g);
                    if (name && std::string(name) == "Tarn typing") return false;
                }
                return true;
            },
            FakeInputConnection::kAnswerTimeout);
    }

    // Returns once the keys typed through bindings have reached KWin and,
    // as far as can be told, the targets.
    void letTargetsRead() {
        c_->roundtrip();
        const auto readBy = lastBoundKey_ + kXReadDelay;
        if (Clock::now() < readBy) std::this_thread::sleep_until(readBy);
    }

    bool switchTo(unsigned group) {
        const auto deadline = Clock::now() + FakeInputConnection::kAnswerTimeout;
        // KWin offers the switch once it has loaded the layouts.
        while (!scratch_.activate(group) || scratch_.active() != group) {
            if (Clock::now() >= deadline) return false;
            scripts_->pump(milliseconds(20));
        }
        return c_->roundtrip();
    }

    void tapCapsLock() {
        if (const std::uint32_t caps = index_->capsLockKey()) {
            c_->key(caps, true);
            c_->key(caps, false);
        }
    }

    std::unique_ptr<FakeInputConnection> c_;
    std::unique_ptr<KWinScripts> scripts_;
    ScratchLayout scratch_;
    std::optional<KeymapIndex> index_;
    std::uint64_t indexKeymap_ = 0;
    unsigned indexGroup_ = 0;
    unsigned group_ = 0;  // the user's active group
    unsigned scratchGroup_ = 0;
    bool scratchActive_ = false;
    std::optional<std::vector<Layout>> layouts_;
    std::vector<SpareKey> spare_;
    bool spareKnown_ = false;
    std::map<xkb_keysym_t, Binding> bindings_;
    std::uint64_t uses_ = 0;
    int watch_ = -1;
    std::optional<std::string> active_;
    std::string target_;
    bool capsLockWasOn_ = false;
    Clock::time_point lastTyped_ = Clock::now();
    Clock::time_point lastBoundKey_{};
};

std::unique_ptr<FakeInputKeyboard> FakeInputKeyboard::connect(const char* display,
                                                              const char* busAddress,
                                                              const char* configHome,
                                                              Refusal& refusal) {
    auto connection = FakeInputConnection::connect(display);
    if (!connection) {
        refusal = Refusal::NoDisplay;
        return nullptr;
    }
    if (!connection->granted()) {
        refusal = Refusal::NotGranted;
        return nullptr;
    }
    auto scripts = KWinScripts::connect(busAddress);
    if (!scripts) {
        refusal = Refusal::NoScripting;
        return nullptr;
    }
    auto port =
        std::make_unique<Port>(std::move(connection), std::move(scripts), configFolder(configHome));
    port->reclaimAtStart();
    port->refresh();
    refusal = Refusal::None;
    return std::unique_ptr<FakeInputKeyboard>(new FakeInputKeyboard(std::move(port)));
}

FakeInputKeyboard::FakeInputKeyboard(std::unique_ptr<Port> port) : port_(std::move(port)) {}

FakeInputKeyboard::~FakeInputKeyboard() {
    port_->restore();
}

void FakeInputKeyboard::type(const KeySequence& keys) {
    port_->engine.type(keys);
}

void FakeInputKeyboard::setStopKey(StopKey* stop) {
    port_->engine.setStopKey(stop);
}

void FakeInputKeyboard::restoreLayout() {
    port_->restore();
}

void FakeInputKeyboard::restoreLayoutIfIdle(std::chrono::milliseconds idle) {
    if (port_->idleFor(idle)) port_->restore();
}

}  // namespace tarn::kwin

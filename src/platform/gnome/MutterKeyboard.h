// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Keystrokes on GNOME Shell (Wayland): keysyms through mutter's
// remote-desktop interface (org.gnome.Mutter.RemoteDesktop), one session for
// the whole run. mutter types a keysym with the key and level the active
// layout has for it; one the layout lacks it drops, so characters beyond the
// user's layout are typed through a layout of Tarn's own (the user's plus
// those characters on free keys), which Tarn's Shell extension switches to
// and back. The plan of typing is the shared engine's (TypingEngine.h).
//
// - Target: the window the Shell reports focused when a sequence starts; a
//   sequence whose target loses the focus ends with failure 1012. Each batch
//   of keys is handed to the target before the focus is asked again, so that
//   none goes to a window that takes the focus from a target that is gone.
// - The own layout stays while Send follows Send, and the user's comes back
//   with restoreLayout(). The extension also puts it back when Tarn leaves
//   the bus, killed or not; a record in the runtime folder lets the next
//   start put it back should the extension have missed it.
// - Locks: Caps Lock and held keys are the user's; mutter applies its own
//   level modifiers on top of them.

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "Keyboard.h"
#include "LayoutView.h"
#include "ShellConnection.h"
#include "TypingEngine.h"
#include "TypingPort.h"

namespace tarn::gnome {

class MutterKeyboard : public Keyboard, private typing::TypingPort {
  public:
    // Null, with the reason in `problem`, when the extension or mutter's
    // remote-desktop interface does not answer or refuses the session.
    static std::unique_ptr<MutterKeyboard> connect(std::string& problem);
    ~MutterKeyboard() override;

    void type(const KeySequence& keys) override;
    void setStopKey(StopKey* stop) override { engine_.setStopKey(stop); }
    void restoreLayout() override;
    void restoreLayoutIfIdle(std::chrono::milliseconds idle) override;

    static constexpr std::size_t kBatchSize = 64;

  private:
    explicit MutterKeyboard(std::unique_ptr<ShellConnection> bus);
    bool start(std::string& problem);
    void notify(xkb_keysym_t keysym, bool pressed);
    std::uint64_t focusedWindow();
    std::string recordPath() const;

    // TypingPort
    void refresh() override;
    std::optional<typing::KeyPlace> find(char32_t character, xkb_keysym_t keysym) override;
    std::uint32_t modifierKey(typing::Modifier modifier) override;
    std::size_t bindingRoom() override;
    bool reclaim() override;
    bool bind(const std::vector<xkb_keysym_t>& keysyms) override;
    std::optional<typing::KeyPlace> bound(xkb_keysym_t keysym) override;
    void enter(bool resuming) override;
    void leave(bool capsLockToggled) override;
    std::size_t batchSize() const override { return kBatchSize; }
    bool openBatch() override;
    void closeBatch() override;
    void press(std::uint32_t key) override { notify(key, true); }
    void release(std::uint32_t key) override { notify(key, false); }
    void sync() override;
    bool connectionLost() override;
    std::string connectionLostDescription() const override;

    std::unique_ptr<ShellConnection> bus_;
    typing::TypingEngine engine_;
    std::string session_;  // the remote-desktop session's object path
    LayoutView layout_;
    bool ownLayout_ = false;
    // The own layout's keysyms by free key, and when each was last used: a
    // keysym keeps its key while it stays bound, so that keys the target has
    // yet to read mean the same after a change of layout.
    std::vector<xkb_keysym_t> slots_;
    std::vector<std::uint64_t> used_;
    std::uint64_t uses_ = 0;
    std::uint64_t target_ = 0;
    std::chrono::steady_clock::time_point lastTyped_;
};

}  // namespace tarn::gnome

// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Dead keys and the Compose key, composed as the toolkit's own input method
// composes them: by the compose table of the user's locale ($XCOMPOSEFILE,
// ~/.XCompose or the system's table for the locale), one key symbol after the
// other in the order the keys went down.

#include <cstdint>
#include <memory>
#include <string>

namespace tarn {

class KeyComposer {
  public:
    enum class Step {
        Passed,     // no sequence under way: the key is itself
        Composing,  // the key is part of a sequence that goes on
        Composed,   // the key ended a sequence: the composed text stands for it
        Cancelled,  // the key broke off a sequence: it is itself, the sequence is lost
    };

    // The table of the locale the environment names (LC_ALL, LC_CTYPE, LANG,
    // else "C"), read at the first key; without one every key passes.
    KeyComposer();
    explicit KeyComposer(std::string locale);
    ~KeyComposer();
    KeyComposer(const KeyComposer&) = delete;
    KeyComposer& operator=(const KeyComposer&) = delete;

    // A key pressed, by its key symbol; `text` is the composed text (UTF-8)
    // on Composed and empty otherwise.
    Step press(std::uint32_t keysym, std::string& text);
    // Forgets a sequence under way.
    void reset();

  private:
    struct Table;
    std::string locale_;
    std::unique_ptr<Table> table_;
};

}  // namespace tarn

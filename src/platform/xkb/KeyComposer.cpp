// SPDX-License-Identifier: GPL-3.0-or-later
#include "KeyComposer.h"

#include <xkbcommon/xkbcommon-compose.h>
#include <xkbcommon/xkbcommon.h>

#include <cstdlib>
#include <utility>

namespace tarn {

namespace {

std::string environmentLocale() {
    for (const char* name : {"LC_ALL", "LC_CTYPE", "LANG"}) {
        const char* value = std::getenv(name);
        if (value && *value) return value;
    }
    return "C";
}

}  // namespace

struct KeyComposer::Table {
    xkb_context* context = nullptr;
    xkb_compose_table* table = nullptr;
    xkb_compose_state* state = nullptr;

    explicit Table(const std::string& locale) {
        context = xkb_context_new(XKB_CONTEXT_NO_FLAGS);
        if (!context) return;
        table = xkb_compose_table_new_from_locale(context, locale.c_str(),
                                                  XKB_COMPOSE_COMPILE_NO_FLAGS);
        if (table) state = xkb_compose_state_new(table, XKB_COMPOSE_STATE_NO_FLAGS);
    }
    ~Table() {
        xkb_compose_state_unref(state);
        xkb_compose_table_unref(table);
        xkb_context_unref(context);
    }
    Table(const Table&) = delete;
    Table& operator=(const Table&) = delete;
};

KeyComposer::KeyComposer() : KeyComposer(environmentLocale()) {}

KeyComposer::KeyComposer(std::string locale) : locale_(std::move(locale)) {}

KeyComposer::~KeyComposer() = default;

KeyComposer::Step KeyComposer::press(std::uint32_t keysym, std::string& text) {
    text.clear();
    if (!table_) table_ = std::make_unique<Table>(locale_);
    xkb_compose_state* state = table_->state;
    if (!state || keysym == XKB_KEY_NoSymbol) return Step::Passed;
    // A modifier leaves the sequence as it is; the caller takes it as a modifier.
    if (xkb_compose_state_feed(state, keysym) == XKB_COMPOSE_FEED_IGNORED) return Step::Passed;
    switch (xkb_compose_state_get_status(state)) {
        case XKB_COMPOSE_COMPOSING:
            return Step::Composing;
        case XKB_COMPOSE_COMPOSED: {
            const int size = xkb_compose_state_get_utf8(state, nullptr, 0);
            text.resize(std::size_t(size) + 1);
            xkb_compose_state_get_utf8(state, text.data(), text.size());
            text.resize(std::size_t(size));
            xkb_compose_state_reset(state);
            return Step::Composed;
        }
        case XKB_COMPOSE_CANCELLED:
            xkb_compose_state_reset(state);
            return Step::Cancelled;
        case XKB_COMPOSE_NOTHING:
        default:
            return Step::Passed;
    }
}

void KeyComposer::reset() {
    if (table_ && table_->state) xkb_compose_state_reset(table_->state);
}

}  // namespace tarn

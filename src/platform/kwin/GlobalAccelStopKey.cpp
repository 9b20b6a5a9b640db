// SPDX-License-Identifier: GPL-3.0-or-later
#include "GlobalAccelStopKey.h"

#include <gio/gio.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <atomic>
#include <cstdint>
#include <cstring>

#include "KWinScripts.h"

namespace tarn::kwin {

namespace {

constexpr const char* kGlobalAccel = "org.kde.kglobalaccel";
constexpr const char* kGlobalAccelPath = "/kglobalaccel";
constexpr const char* kGlobalAccelInterface = "org.kde.KGlobalAccel";
constexpr const char* kComponentPath = "/component/tarn";
constexpr const char* kComponentInterface = "org.kde.kglobalaccel.Component";
constexpr const char* kComponent = "tarn";
constexpr const char* kAction = "stop";
// Qt's number of the key, which KGlobalAccel speaks.
constexpr gint32 kQtKeyPause = 0x01000008;
// KGlobalAccel's flags: the action is present now, and the key given is the
// one to take, not one from a saved configuration.
constexpr guint32 kSetPresent = 2, kNoAutoloading = 4;

GVariant* actionId() {
    const gchar* parts[] = {kComponent, kAction, "Tarn", "Stop the macro that runs"};
    return g_variant_new_strv(parts, 4);
}

}  // namespace

struct GlobalAccelStopKey::State {
    std::unique_ptr<KWinScripts> bus;
    int event = -1;  // eventfd: readable once the key was pressed
    std::atomic<bool> listening{false};
    guint filter = 0;
    guint subscription = 0;
    bool armed = false;
    bool suspended = false;
    bool registered = false;
    bool pressed = false;

    ~State() {
        if (bus && filter) g_dbus_connection_remove_filter(bus->connection(), filter);
        if (bus && subscription)
            g_dbus_connection_signal_unsubscribe(bus->connection(), subscription);
        if (event >= 0) ::close(event);
    }

    // On the connection's own thread, for every message that arrives.
    static GDBusMessage* onMessage(GDBusConnection*, GDBusMessage* message, gboolean incoming,
                                   gpointer data) {
        auto* self = static_cast<State*>(data);
        if (incoming && self->listening &&
            g_dbus_message_get_message_type(message) == G_DBUS_MESSAGE_TYPE_SIGNAL &&
            g_strcmp0(g_dbus_message_get_path(message), kComponentPath) == 0 &&
            g_strcmp0(g_dbus_message_get_member(message), "globalShortcutPressed") == 0) {
            const std::uint64_t one = 1;
            (void)!::write(self->event, &one, sizeof one);
        }
        return message;
    }

    bool take() {
        VariantPtr registered = bus->call(kGlobalAccel, kGlobalAccelPath, kGlobalAccelInterface,
                                          "doRegister", g_variant_new("(@as)", actionId()));
        if (!registered) return false;
        GVariantBuilder keys;
        g_variant_builder_init(&keys, G_VARIANT_TYPE("ai"));
        g_variant_builder_add(&keys, "i", kQtKeyPause);
        VariantPtr given =
            bus->call(kGlobalAccel, kGlobalAccelPath, kGlobalAccelInterface, "setShortcut",
                      g_variant_new("(@asaiu)", actionId(), &keys, kSetPresent | kNoAutoloading));
        this->registered = true;
        // Another program's shortcut keeps the key: KGlobalAccel gives none.
        bool got = false;
        if (given) {
            GVariantIter* iter = nullptr;
            g_variant_get(given.get(), "(ai)", &iter);
            gint32 key = 0;
            while (g_variant_iter_next(iter, "i", &key))
                got = got || key == kQtKeyPause;
            g_variant_iter_free(iter);
        }
        return got;
    }

    void giveBack() {
        if (!registered) return;
        registered = false;
        bus->call(kGlobalAccel, kGlobalAccelPath, kGlobalAccelInterface, "unregister",
                  g_variant_new("(ss)", kComponent, kAction));
    }

    void drain() {
        std::uint64_t count = 0;
        while (::read(event, &count, sizeof count) > 0) {
        }
    }
};

std::unique_ptr<GlobalAccelStopKey> GlobalAccelStopKey::connect(const char* busAddress) {
    auto state = std::make_unique<State>();
    state->bus = KWinScripts::connect(busAddress);
    state->event = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (!state->bus || state->event < 0) return nullptr;
    GDBusConnection* connection = state->bus->connection();
    state->filter =
        g_dbus_connection_add_filter(connection, &State::onMessage, state.get(), nullptr);
    // The subscription has the bus route the signal here; the filter reads it.
    state->subscription = g_dbus_connection_signal_subscribe(
        connection, nullptr, kComponentInterface, "globalShortcutPressed", kComponentPath, nullptr,
        G_DBUS_SIGNAL_FLAGS_NONE,
        [](GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar*, GVariant*,
           gpointer) {},
        nullptr, nullptr);
    return std::unique_ptr<GlobalAccelStopKey>(new GlobalAccelStopKey(std::move(state)));
}

GlobalAccelStopKey::GlobalAccelStopKey(std::unique_ptr<State> state) : d_(std::move(state)) {}

GlobalAccelStopKey::~GlobalAccelStopKey() {
    disarm();
}

bool GlobalAccelStopKey::arm() {
    d_->drain();
    d_->pressed = false;
    d_->suspended = false;
    d_->listening = true;
    d_->armed = d_->take();
    if (!d_->armed) {
        d_->listening = false;
        d_->giveBack();
    }
    return d_->armed;
}

void GlobalAccelStopKey::disarm() {
    d_->listening = false;
    d_->armed = false;
    d_->giveBack();
    d_->drain();
}

bool GlobalAccelStopKey::pressed() {
    if (!d_->armed) return false;
    std::uint64_t count = 0;
    if (::read(d_->event, &count, sizeof count) > 0 && !d_->suspended && !d_->pressed) {
        d_->pressed = true;
        if (Pressed) Pressed();
    }
    return d_->pressed;
}

int GlobalAccelStopKey::descriptor() const {
    return d_->event;
}

void GlobalAccelStopKey::suspend() {
    if (!d_->armed || d_->suspended) return;
    d_->suspended = true;
    d_->listening = false;
    d_->giveBack();
}

void GlobalAccelStopKey::resume() {
    if (!d_->armed || !d_->suspended) return;
    d_->drain();
    d_->suspended = false;
    d_->listening = true;
    d_->take();
}

}  // namespace tarn::kwin

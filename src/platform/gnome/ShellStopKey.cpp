// SPDX-License-Identifier: GPL-3.0-or-later
#include "ShellStopKey.h"

#include <fcntl.h>
#include <gio/gio.h>
#include <unistd.h>

#include <cstring>
#include <string>

namespace tarn::gnome {

namespace {

constexpr const char* kSignal = "StopKeyPressed";

// On the bus's own thread: only the watch is touched.
GDBusMessage* filter(GDBusConnection*, GDBusMessage* message, gboolean incoming, gpointer data) {
    auto* watch = static_cast<ShellStopKey::Watch*>(data);
    if (incoming && watch->armed &&
        g_dbus_message_get_message_type(message) == G_DBUS_MESSAGE_TYPE_SIGNAL &&
        g_strcmp0(g_dbus_message_get_interface(message), kExtensionInterface) == 0 &&
        g_strcmp0(g_dbus_message_get_member(message), kSignal) == 0) {
        const char byte = 1;
        (void)!::write(watch->pipe[1], &byte, 1);
    }
    return message;
}

}  // namespace

ShellStopKey::ShellStopKey(std::unique_ptr<ShellConnection> bus) : bus_(std::move(bus)) {}

std::unique_ptr<ShellStopKey> ShellStopKey::connect() {
    auto bus = ShellConnection::connect();
    if (!bus || !bus->hasOwner(kExtensionName)) return nullptr;
    std::unique_ptr<ShellStopKey> key(new ShellStopKey(std::move(bus)));
    if (::pipe2(key->watch_.pipe, O_CLOEXEC | O_NONBLOCK) != 0) return nullptr;
    const std::string rule = std::string("type='signal',sender='") + kExtensionName +
                             "',interface='" + kExtensionInterface + "',member='" + kSignal + "'";
    if (!key->bus_->call("org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
                         "AddMatch", g_variant_new("(s)", rule.c_str()), nullptr))
        return nullptr;
    key->filter_ = g_dbus_connection_add_filter(key->bus_->raw(), &filter, &key->watch_, nullptr);
    return key;
}

ShellStopKey::~ShellStopKey() {
    disarm();
    if (filter_) g_dbus_connection_remove_filter(bus_->raw(), filter_);
    for (int fd : watch_.pipe)
        if (fd >= 0) ::close(fd);
}

bool ShellStopKey::grab() {
    VariantPtr reply = bus_->callExtension("GrabStopKey", g_variant_new("(s)", kKeyName), "(b)");
    gboolean grabbed = FALSE;
    if (reply) g_variant_get(reply.get(), "(b)", &grabbed);
    return grabbed;
}

void ShellStopKey::drain() {
    char bytes[64];
    while (::read(watch_.pipe[0], bytes, sizeof bytes) > 0) {
    }
}

bool ShellStopKey::arm() {
    drain();
    pressed_ = false;
    suspended_ = false;
    watch_.armed = grab();
    return watch_.armed;
}

void ShellStopKey::disarm() {
    if (!watch_.armed) return;
    watch_.armed = false;
    bus_->callExtension("ReleaseStopKey", nullptr, nullptr);
    drain();
}

bool ShellStopKey::pressed() {
    const bool before = pressed_;
    char bytes[64];
    while (::read(watch_.pipe[0], bytes, sizeof bytes) > 0)
        if (watch_.armed && !suspended_) pressed_ = true;
    if (pressed_ && !before && Pressed) Pressed();
    return pressed_;
}

void ShellStopKey::suspend() {
    if (!watch_.armed || suspended_) return;
    pressed();
    suspended_ = true;
    bus_->callExtension("ReleaseStopKey", nullptr, nullptr);
}

void ShellStopKey::resume() {
    if (!watch_.armed || !suspended_) return;
    grab();
    // A press that came while the key was the target's is not a stop.
    drain();
    suspended_ = false;
}

}  // namespace tarn::gnome

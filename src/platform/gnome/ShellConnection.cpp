// SPDX-License-Identifier: GPL-3.0-or-later
#include "ShellConnection.h"

#include <gio/gio.h>

#include "GlibPointers.h"

namespace tarn::gnome {

void VariantUnref::operator()(GVariant* value) const {
    if (value) g_variant_unref(value);
}

std::unique_ptr<ShellConnection> ShellConnection::connect() {
    gio::GCharPtr address(g_dbus_address_get_for_bus_sync(G_BUS_TYPE_SESSION, nullptr, nullptr));
    if (!address) return nullptr;
    GDBusConnection* bus = g_dbus_connection_new_for_address_sync(
        address.get(),
        static_cast<GDBusConnectionFlags>(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT |
                                          G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
        nullptr, nullptr, nullptr);
    if (!bus) return nullptr;
    // A bus that goes away must not end Tarn.
    g_dbus_connection_set_exit_on_close(bus, FALSE);
    return std::unique_ptr<ShellConnection>(new ShellConnection(bus));
}

bool ShellConnection::gnomeShellRuns() {
    auto bus = connect();
    return bus && bus->hasOwner("org.gnome.Shell");
}

ShellConnection::~ShellConnection() {
    g_dbus_connection_close_sync(bus_, nullptr, nullptr);
    g_object_unref(bus_);
}

bool ShellConnection::hasOwner(const char* name) {
    VariantPtr reply = call("org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
                            "NameHasOwner", g_variant_new("(s)", name), "(b)");
    gboolean owned = FALSE;
    if (reply) g_variant_get(reply.get(), "(b)", &owned);
    return owned;
}

VariantPtr ShellConnection::call(const char* destination, const char* path, const char* interface,
                                 const char* method, GVariant* parameters, const char* replyType) {
    GError* raw = nullptr;
    VariantPtr reply(g_dbus_connection_call_sync(
        bus_, destination, path, interface, method, parameters,
        replyType ? G_VARIANT_TYPE(replyType) : nullptr, G_DBUS_CALL_FLAGS_NO_AUTO_START,
        kCallTimeoutMilliseconds, nullptr, &raw));
    gio::GErrorPtr failure(raw);
    error_.clear();
    if (failure) {
        gio::GCharPtr name(g_dbus_error_get_remote_error(failure.get()));
        error_ = name ? name.get() : failure->message;
    }
    return reply;
}

void ShellConnection::send(const char* destination, const char* path, const char* interface,
                           const char* method, GVariant* parameters) {
    gio::GObjectPtr<GDBusMessage> message(
        g_dbus_message_new_method_call(destination, path, interface, method));
    g_dbus_message_set_body(message.get(), parameters);
    g_dbus_message_set_flags(message.get(),
                             static_cast<GDBusMessageFlags>(G_DBUS_MESSAGE_FLAGS_NO_REPLY_EXPECTED |
                                                            G_DBUS_MESSAGE_FLAGS_NO_AUTO_START));
    g_dbus_connection_send_message(bus_, message.get(), G_DBUS_SEND_MESSAGE_FLAGS_NONE, nullptr,
                                   nullptr);
}

bool ShellConnection::lost() {
    return g_dbus_connection_is_closed(bus_) ||
           error_ == "org.freedesktop.DBus.Error.ServiceUnknown" ||
           error_ == "org.freedesktop.DBus.Error.NameHasNoOwner" ||
           error_ == "org.freedesktop.DBus.Error.Disconnected";
}

}  // namespace tarn::gnome

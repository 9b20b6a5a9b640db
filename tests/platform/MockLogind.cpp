// SPDX-License-Identifier: GPL-3.0-or-later
#include "MockLogind.h"

#include <gio/gio.h>

#include <cstdlib>
#include <stdexcept>

namespace tarn::platformtest {

namespace {

constexpr const char* kLogind = "org.freedesktop.login1";
constexpr const char* kMock = "org.freedesktop.DBus.Mock";

// A bus with no service activation and a policy that lets the mock own
// logind's name.
std::string busConfig(const std::string& socket) {
    return "<busconfig><type>system</type><listen>unix:path=" + socket +
           "</listen><auth>EXTERNAL</auth>\n"
           "<policy context=\"default\"><allow user=\"*\"/><allow own=\"*\"/>\n"
           "<allow send_type=\"method_call\"/><allow receive_sender=\"*\"/>\n"
           "<allow send_destination=\"*\" eavesdrop=\"true\"/></policy></busconfig>\n";
}

}  // namespace

MockLogind::MockLogind(Service service) {
    const std::string socket = temp_ / "system_bus_socket";
    address_ = "unix:path=" + socket;
    writeFile(temp_ / "bus.conf", busConfig(socket));
    bus_.reset(new Helper({"dbus-daemon", "--config-file=" + (temp_ / "bus.conf"), "--nofork",
                           "--nopidfile", "--nosyslog"},
                          {}, temp_ / "bus.log"));

    // The socket file appears a moment before the bus listens on it.
    std::string failure;
    waitUntil(
        [&] {
            GError* error = nullptr;
            control_ = g_dbus_connection_new_for_address_sync(
                address_.c_str(),
                static_cast<GDBusConnectionFlags>(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT |
                                                  G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
                nullptr, nullptr, &error);
            if (error) {
                failure = error->message;
                g_error_free(error);
            }
            return control_ != nullptr;
        },
        10s, 20ms);
    if (!control_)
        throw std::runtime_error("private bus: " + failure + "\n" + readFile(temp_ / "bus.log"));

    // Only the code under test reads this; the mock gets it explicitly.
    setenv("DBUS_SYSTEM_BUS_ADDRESS", address_.c_str(), 1);
    if (service == Service::Absent) return;

    mock_.reset(
        new Helper({"/usr/bin/python3", "-m", "dbusmock", "--system", "--template", "logind"},
                   {"DBUS_SYSTEM_BUS_ADDRESS=" + address_, "DBUS_SESSION_BUS_ADDRESS=" + address_},
                   temp_ / "mock.log"));
    const auto answers = [&] {
        try {
            guard();
            return true;
        } catch (const std::runtime_error&) {
            return false;
        }
    };
    if (!waitUntil(answers, 20s, 20ms))
        throw std::runtime_error("mock logind: " + readFile(temp_ / "mock.log"));
    addMethod(kManagerPath, kManager, "Halt", "b", "", "");
    addMethod(kManagerPath, kManager, "GetSessionByPID", "u", "o",
              "ret = '" + sessionPath("c1") + "'");
    addSession("c1");
    clearCalls(kManagerPath);
}

MockLogind::~MockLogind() {
    if (control_) g_object_unref(control_);
    mock_.reset();
    bus_.reset();
    unsetenv("DBUS_SYSTEM_BUS_ADDRESS");
}

std::string MockLogind::sessionPath(const std::string& id) {
    return "/org/freedesktop/login1/session/" + id;
}

GVariant* MockLogind::call(const std::string& path, const char* interface, const char* method,
                           GVariant* parameters) {
    GError* error = nullptr;
    GVariant* reply = g_dbus_connection_call_sync(
        control_, kLogind, path.c_str(), interface, method, parameters, nullptr,
        G_DBUS_CALL_FLAGS_NO_AUTO_START, 10000, nullptr, &error);
    if (!reply) {
        const std::string message = error ? error->message : "no reply";
        if (error) g_error_free(error);
        throw std::runtime_error(std::string(method) + ": " + message);
    }
    return reply;
}

void MockLogind::addMethodsWithFlags() {
    for (const char* method : {"RebootWithFlags", "HaltWithFlags", "PowerOffWithFlags"})
        addMethod(kManagerPath, kManager, method, "t", "", "");
}

void MockLogind::addMethod(const std::string& path, const char* interface, const char* name,
                           const char* in, const char* out, const std::string& code) {
    g_variant_unref(call(path, kMock, "AddMethod",
                         g_variant_new("(sssss)", interface, name, in, out, code.c_str())));
}

void MockLogind::refuse(const std::string& path, const char* interface, const char* name,
                        const char* in, const char* out, const std::string& errorName) {
    addMethod(
        path, interface, name, in, out,
        "raise dbus.exceptions.DBusException('refused by the test', name='" + errorName + "')");
}

void MockLogind::addSession(const std::string& id) {
    g_variant_unref(call(kManagerPath, kMock, "AddSession",
                         g_variant_new("(ssusb)", id.c_str(), "seat0", 1000u, "tester", TRUE)));
}

std::vector<std::string> MockLogind::calls(const std::string& path) {
    std::vector<std::string> result;
    GVariant* reply = call(path, kMock, "GetCalls", nullptr);
    GVariantIter* iterator = nullptr;
    g_variant_get(reply, "(a(tsav))", &iterator);
    guint64 when = 0;
    const gchar* method = nullptr;
    GVariantIter* arguments = nullptr;
    while (g_variant_iter_loop(iterator, "(t&sav)", &when, &method, &arguments)) {
        std::string text = std::string(method) + "(";
        GVariant* argument = nullptr;
        bool first = true;
        while (g_variant_iter_loop(arguments, "v", &argument)) {
            gchar* printed = g_variant_print(argument, FALSE);
            text += (first ? "" : ", ") + std::string(printed);
            g_free(printed);
            first = false;
        }
        result.push_back(text + ")");
    }
    g_variant_iter_free(iterator);
    g_variant_unref(reply);
    return result;
}

void MockLogind::clearCalls(const std::string& path) {
    g_variant_unref(call(path, kMock, "ClearCalls", nullptr));
}

void MockLogind::guard() {
    const char* address = std::getenv("DBUS_SYSTEM_BUS_ADDRESS");
    if (!address || address != address_ || address_.rfind("unix:path=" + temp_.path(), 0) != 0)
        throw std::logic_error("refusing: the system bus is not the test's own");
    if (mock_) g_variant_unref(call(kManagerPath, kMock, "GetCalls", nullptr));
}

}  // namespace tarn::platformtest

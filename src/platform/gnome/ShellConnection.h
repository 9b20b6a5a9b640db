// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A private connection to the session bus, for the GNOME backends: calls to
// GNOME Shell, to Tarn's Shell extension and to mutter, each bounded, and
// word of whether the other side is still there. Private, so that what is
// tied to a connection (mutter's remote-desktop session, the extension's
// grab and layout) ends with the backend that made it.

#include <memory>
#include <string>

// GLib's types, declared here so that the header stays free of GLib's
// macros, which clash with Qt's.
typedef struct _GVariant GVariant;
typedef struct _GDBusConnection GDBusConnection;

namespace tarn::gnome {

// The extension's D-Bus names.
inline constexpr const char* kExtensionUuid = TARN_SHELL_EXTENSION_UUID;
inline constexpr const char* kExtensionName = "org.tarn.Shell1";
inline constexpr const char* kExtensionPath = "/org/tarn/Shell1";
inline constexpr const char* kExtensionInterface = "org.tarn.Shell1";

struct VariantUnref {
    void operator()(GVariant* value) const;
};
using VariantPtr = std::unique_ptr<GVariant, VariantUnref>;

class ShellConnection {
  public:
    // Null when the session bus cannot be reached.
    static std::unique_ptr<ShellConnection> connect();
    ~ShellConnection();
    ShellConnection(const ShellConnection&) = delete;
    ShellConnection& operator=(const ShellConnection&) = delete;

    // Whether the session bus has GNOME Shell, on a connection made for the
    // question.
    static bool gnomeShellRuns();

    // Whether a name has an owner on the bus now.
    bool hasOwner(const char* name);

    // A method call, waiting at most kCallTimeoutMilliseconds for the reply;
    // null on any failure, whose D-Bus error name error() then gives.
    // `parameters` (floating) is consumed.
    VariantPtr call(const char* destination, const char* path, const char* interface,
                    const char* method, GVariant* parameters, const char* replyType);
    // The same to the extension.
    VariantPtr callExtension(const char* method, GVariant* parameters, const char* replyType) {
        return call(kExtensionName, kExtensionPath, kExtensionInterface, method, parameters,
                    replyType);
    }
    // A method call whose reply is not awaited: the bus keeps the order of
    // the calls from one connection, so a later call's reply says it was
    // handled.
    void send(const char* destination, const char* path, const char* interface, const char* method,
              GVariant* parameters);

    const std::string& error() const { return error_; }
    // The last call failed because the callee or the bus is gone.
    bool lost();
    GDBusConnection* raw() { return bus_; }

    static constexpr int kCallTimeoutMilliseconds = 20000;

  private:
    explicit ShellConnection(GDBusConnection* bus) : bus_(bus) {}
    GDBusConnection* bus_;
    std::string error_;
};

}  // namespace tarn::gnome

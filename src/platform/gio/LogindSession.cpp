// SPDX-License-Identifier: GPL-3.0-or-later
#include "LogindSession.h"

#include <gio/gio.h>
#include <string.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <memory>
#include <utility>

#include "GlibPointers.h"

namespace tarn::gio {

namespace {

constexpr const char* kLogind = "org.freedesktop.login1";
constexpr const char* kManagerPath = "/org/freedesktop/login1";
constexpr const char* kManager = "org.freedesktop.login1.Manager";
constexpr const char* kSession = "org.freedesktop.login1.Session";

// logind's flags of the *WithFlags methods (sd-login's SD_LOGIND_*).
constexpr guint64 kRootCheckInhibitors = guint64{1} << 0;
constexpr guint64 kSkipInhibitors = guint64{1} << 4;

constexpr const char* kUnknownMethod = "org.freedesktop.DBus.Error.UnknownMethod";
constexpr const char* kInvalidArgs = "org.freedesktop.DBus.Error.InvalidArgs";
constexpr const char* kNoSessionForPid = "org.freedesktop.login1.NoSessionForPID";

struct VariantUnref {
    void operator()(GVariant* value) const { g_variant_unref(value); }
};
using VariantPtr = std::unique_ptr<GVariant, VariantUnref>;

struct ConnectionRelease {
    void operator()(GDBusConnection* connection) const {
        g_dbus_connection_close(connection, nullptr, nullptr, nullptr);
        g_object_unref(connection);
    }
};
using ConnectionPtr = std::unique_ptr<GDBusConnection, ConnectionRelease>;

class Deadline {
  public:
    explicit Deadline(int milliseconds)
        : end_(std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds)) {}
    // What is left, at least 1 ms so that a call still gets its answer if one
    // is already waiting.
    int remaining() const {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            end_ - std::chrono::steady_clock::now());
        return static_cast<int>(std::max<std::chrono::milliseconds::rep>(left.count(), 1));
    }

  private:
    std::chrono::steady_clock::time_point end_;
};

// The D-Bus name of an error, when it has one.
std::string errorName(const GError* error) {
    if (!error) return {};
    GCharPtr remote(g_dbus_error_get_remote_error(error));
    if (remote) return remote.get();
    if (error->domain == G_DBUS_ERROR) {
        GCharPtr name(g_dbus_error_encode_gerror(error));
        if (name) return name.get();
    }
    return {};
}

int errorCode(const GError* error) {
    if (!error) return EIO;
    const std::string name = errorName(error);
    if (!name.empty()) return dbusErrorCode(name);
    if (error->domain == G_IO_ERROR) {
        switch (error->code) {
            case G_IO_ERROR_TIMED_OUT:
            case G_IO_ERROR_CANCELLED:  // only ever cancelled at the deadline
                return ETIMEDOUT;
            case G_IO_ERROR_CONNECTION_REFUSED:
                return ECONNREFUSED;
            case G_IO_ERROR_NOT_FOUND:
                return ENOENT;
            case G_IO_ERROR_PERMISSION_DENIED:
                return EACCES;
            case G_IO_ERROR_CLOSED:
            case G_IO_ERROR_BROKEN_PIPE:  // also CONNECTION_CLOSED
                return ECONNRESET;
            case G_IO_ERROR_INVALID_ARGUMENT:
                return EINVAL;
            default:
                return EIO;
        }
    }
    return EIO;
}

struct PendingConnection {
    GDBusConnection* connection = nullptr;
    GError* error = nullptr;
    bool done = false;
};

void connected(GObject*, GAsyncResult* result, gpointer data) {
    auto* pending = static_cast<PendingConnection*>(data);
    pending->connection = g_dbus_connection_new_for_address_finish(result, &pending->error);
    pending->done = true;
}

gboolean cancelAtDeadline(gpointer cancellable) {
    g_cancellable_cancel(G_CANCELLABLE(cancellable));
    return G_SOURCE_REMOVE;
}

// A private connection to the system bus rather than GLib's shared one: the
// shared one would be kept for the life of the program, and making it cannot
// be bounded in time. Connecting runs on a private main context, so it neither
// depends on nor disturbs the host's event loop.
ConnectionPtr connectSystemBus(const Deadline& deadline, int& code) {
    GError* failure = nullptr;
    GCharPtr address(g_dbus_address_get_for_bus_sync(G_BUS_TYPE_SYSTEM, nullptr, &failure));
    if (!address) {
        GErrorPtr error(failure);
        code = errorCode(error.get());
        return nullptr;
    }

    GMainContext* context = g_main_context_new();
    g_main_context_push_thread_default(context);
    GCancellable* cancellable = g_cancellable_new();
    auto* pending = new PendingConnection;
    g_dbus_connection_new_for_address(
        address.get(),
        static_cast<GDBusConnectionFlags>(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT |
                                          G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
        nullptr, cancellable, connected, pending);
    GSource* timer = g_timeout_source_new(static_cast<guint>(deadline.remaining()));
    g_source_set_callback(timer, cancelAtDeadline, cancellable, nullptr);
    g_source_attach(timer, context);
    // Cancelling stops the socket and the authentication at once; a bus that
    // authenticates and then never answers Hello is only given up on, so wait
    // a little past the deadline before leaving.
    GSource* giveUp = g_timeout_source_new(static_cast<guint>(deadline.remaining()) + 500);
    bool gaveUp = false;
    g_source_set_callback(
        giveUp,
        [](gpointer flag) -> gboolean {
            *static_cast<bool*>(flag) = true;
            return G_SOURCE_REMOVE;
        },
        &gaveUp, nullptr);
    g_source_attach(giveUp, context);
    while (!pending->done && !gaveUp)
        g_main_context_iteration(context, TRUE);
    g_source_destroy(timer);
    g_source_unref(timer);
    g_source_destroy(giveUp);
    g_source_unref(giveUp);
    g_main_context_pop_thread_default(context);

    if (!pending->done) {
        // The connection attempt still owns the pending state and will finish
        // on a context nobody runs: leave both to it rather than free what it
        // will write to.
        g_object_unref(cancellable);
        code = ETIMEDOUT;
        return nullptr;
    }
    ConnectionPtr connection(pending->connection);
    GErrorPtr error(pending->error);
    delete pending;
    g_object_unref(cancellable);
    g_main_context_unref(context);
    if (!connection) code = errorCode(error.get());
    return connection;
}

class Logind {
  public:
    Logind(GDBusConnection* connection, const Deadline& deadline)
        : connection_(connection), deadline_(deadline) {}

    // Calls a method; the reply, or null with the error kept in lastError().
    VariantPtr call(const char* path, const char* interface, const char* method,
                    GVariant* parameters, const GVariantType* replyType = nullptr) {
        GError* failure = nullptr;
        // Auto-start stays allowed: where logind is started on demand by bus
        // activation, the first request is what starts it.
        GVariant* reply = g_dbus_connection_call_sync(connection_, kLogind, path, interface, method,
                                                      parameters, replyType, G_DBUS_CALL_FLAGS_NONE,
                                                      deadline_.remaining(), nullptr, &failure);
        error_.reset(failure);
        return VariantPtr(reply);
    }

    const GError* lastError() const { return error_.get(); }

  private:
    GDBusConnection* connection_;
    const Deadline& deadline_;
    GErrorPtr error_;
};

std::string objectPath(const VariantPtr& reply) {
    const gchar* path = nullptr;
    g_variant_get(reply.get(), "(&o)", &path);
    return path ? path : "";
}

int logOff(Logind& logind) {
    VariantPtr reply =
        logind.call(kManagerPath, kManager, "GetSessionByPID",
                    g_variant_new("(u)", static_cast<guint32>(getpid())), G_VARIANT_TYPE("(o)"));
    if (!reply) {
        // Programs started by a desktop's service manager live outside any
        // session; the session they were started for is the one to end.
        if (errorName(logind.lastError()) != kNoSessionForPid) return errorCode(logind.lastError());
        const char* id = std::getenv("XDG_SESSION_ID");
        reply = logind.call(kManagerPath, kManager, "GetSession",
                            g_variant_new("(s)", id && *id ? id : "auto"), G_VARIANT_TYPE("(o)"));
        if (!reply) return errorCode(logind.lastError());
    }
    const std::string session = objectPath(reply);
    if (!logind.call(session.c_str(), kSession, "Terminate", nullptr))
        return errorCode(logind.lastError());
    return 0;
}

int shutDown(Logind& logind, const std::string& method, bool force) {
    const std::string withFlags = method + "WithFlags";
    const guint64 flags = force ? kSkipInhibitors : kRootCheckInhibitors;
    if (logind.call(kManagerPath, kManager, withFlags.c_str(), g_variant_new("(t)", flags)))
        return 0;
    const std::string name = errorName(logind.lastError());
    // logind before 248 has no *WithFlags methods; before 256 it refuses the
    // flag that skips inhibitors. The plain methods of those versions let an
    // administrator pass inhibitors, which is the nearest they come to either.
    const bool older = name == kUnknownMethod || (force && name == kInvalidArgs);
    if (!older) return errorCode(logind.lastError());
    if (logind.call(kManagerPath, kManager, method.c_str(), g_variant_new("(b)", FALSE))) return 0;
    return errorCode(logind.lastError());
}

}  // namespace

int LogindSession::requestEnd(SessionEnd how, bool force) {
    const Deadline deadline(kTimeoutMilliseconds);
    int code = EIO;
    ConnectionPtr connection = connectSystemBus(deadline, code);
    if (!connection) return code != 0 ? code : EIO;
    Logind logind(connection.get(), deadline);
    int result = EINVAL;
    switch (how) {
        case SessionEnd::LogOff:
            result = logOff(logind);
            break;
        case SessionEnd::Reboot:
            result = shutDown(logind, "Reboot", force);
            break;
        case SessionEnd::Halt:
            result = shutDown(logind, "Halt", force);
            break;
        case SessionEnd::PowerOff:
            result = shutDown(logind, "PowerOff", force);
            break;
    }
    return result;
}

int dbusErrorCode(const std::string& errorName) {
    static const std::pair<const char*, int> kKnown[] = {
        {"org.freedesktop.DBus.Error.AccessDenied", EACCES},
        {"org.freedesktop.DBus.Error.InteractiveAuthorizationRequired", EACCES},
        {"org.freedesktop.DBus.Error.AuthFailed", EACCES},
        {"org.freedesktop.DBus.Error.NoReply", ETIMEDOUT},
        {"org.freedesktop.DBus.Error.Timeout", ETIMEDOUT},
        {"org.freedesktop.DBus.Error.TimedOut", ETIMEDOUT},
        {"org.freedesktop.DBus.Error.ServiceUnknown", EHOSTUNREACH},
        {"org.freedesktop.DBus.Error.NameHasNoOwner", EHOSTUNREACH},
        {"org.freedesktop.DBus.Error.UnknownMethod", EBADR},
        {"org.freedesktop.DBus.Error.UnknownObject", EBADR},
        {"org.freedesktop.DBus.Error.UnknownInterface", EBADR},
        {"org.freedesktop.DBus.Error.UnknownProperty", EBADR},
        {"org.freedesktop.DBus.Error.InvalidArgs", EINVAL},
        {"org.freedesktop.DBus.Error.InvalidSignature", EINVAL},
        {"org.freedesktop.DBus.Error.NoMemory", ENOMEM},
        {"org.freedesktop.DBus.Error.LimitsExceeded", ENOBUFS},
        {"org.freedesktop.DBus.Error.Disconnected", ECONNRESET},
        {"org.freedesktop.DBus.Error.NoServer", ECONNREFUSED},
        {"org.freedesktop.DBus.Error.NotSupported", EOPNOTSUPP},
        {"org.freedesktop.DBus.Error.FileNotFound", ENOENT},
        {"org.freedesktop.login1.NoSuchSession", ENXIO},
        {"org.freedesktop.login1.NoSessionForPID", ENXIO},
        {"org.freedesktop.login1.NoSuchUser", ENXIO},
        {"org.freedesktop.login1.NoUserForPID", ENXIO},
        {"org.freedesktop.login1.NoSuchSeat", ENXIO},
        {"org.freedesktop.login1.OperationInProgress", EINPROGRESS},
        {"org.freedesktop.login1.NotInControl", EBUSY},
    };
    for (const auto& [name, code] : kKnown)
        if (errorName == name) return code;

    // sd-bus sends a plain errno as "System.Error." and its symbolic name.
    static const std::string kSystemError = "System.Error.";
    if (errorName.compare(0, kSystemError.size(), kSystemError) == 0) {
        const std::string symbol = errorName.substr(kSystemError.size());
#if defined(__GLIBC__) && (__GLIBC__ > 2 || (__GLIBC__ == 2 && __GLIBC_MINOR__ >= 32))
        for (int number = 1; number < 256; ++number) {
            const char* known = strerrorname_np(number);
            if (known && symbol == known) return number;
        }
#endif
    }
    return EIO;
}

}  // namespace tarn::gio

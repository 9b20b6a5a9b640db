// LogindSession against python-dbusmock's logind template on a private bus
// that the test starts. The machine's own system bus is never used: the
// fixture points DBUS_SYSTEM_BUS_ADDRESS at its own socket and checks, before
// any request, that the logind answering there is the mock.

#include <gio/gio.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <memory>

#include "LogindSession.h"
#include "PlatformTestSupport.h"

namespace tarn::gio {
namespace {

using namespace tarn::platformtest;
using Calls = std::vector<std::string>;

constexpr const char* kLogind = "org.freedesktop.login1";
constexpr const char* kManagerPath = "/org/freedesktop/login1";
constexpr const char* kManager = "org.freedesktop.login1.Manager";
constexpr const char* kMock = "org.freedesktop.DBus.Mock";

// A bus with no service activation and a policy that lets the mock own
// logind's name.
std::string busConfig(const std::string& socket) {
    return "<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\"\n"
           " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
           "<busconfig>\n"
           "  <type>system</type>\n"
           "  <listen>unix:path=" +
           socket +
           "</listen>\n"
           "  <auth>EXTERNAL</auth>\n"
           "  <policy context=\"default\">\n"
           "    <allow user=\"*\"/>\n"
           "    <allow own=\"*\"/>\n"
           "    <allow send_type=\"method_call\"/>\n"
           "    <allow send_destination=\"*\" eavesdrop=\"true\"/>\n"
           "    <allow receive_sender=\"*\"/>\n"
           "  </policy>\n"
           "</busconfig>\n";
}

struct VariantUnref {
    void operator()(GVariant* value) const { g_variant_unref(value); }
};
using VariantPtr = std::unique_ptr<GVariant, VariantUnref>;

enum class Logind { Mocked, Absent };

class LogindSessionTest : public ::testing::Test {
  protected:
    void SetUp() override { startBus(Logind::Mocked); }

    void startBus(Logind logind) {
        socket_ = temp_ / "system_bus_socket";
        address_ = "unix:path=" + socket_;
        writeFile(temp_ / "bus.conf", busConfig(socket_));
        bus_ = std::make_unique<Helper>(
            std::vector<std::string>{"dbus-daemon", "--config-file=" + (temp_ / "bus.conf"),
                                     "--nofork", "--nopidfile", "--nosyslog"},
            std::vector<std::string>{}, temp_ / "bus.log");
        // The socket file appears a moment before the bus listens on it.
        std::string failure;
        waitUntil(
            [&] {
                GError* error = nullptr;
                control_ = g_dbus_connection_new_for_address_sync(
                    address_.c_str(),
                    static_cast<GDBusConnectionFlags>(
                        G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT |
                        G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
                    nullptr, nullptr, &error);
                if (error) {
                    failure = error->message;
                    g_error_free(error);
                }
                return control_ != nullptr;
            },
            10s, 20ms);
        ASSERT_NE(control_, nullptr) << failure << "\n" << readFile(temp_ / "bus.log");

        // Only the code under test reads this; the mock gets it explicitly.
        setenv("DBUS_SYSTEM_BUS_ADDRESS", address_.c_str(), 1);
        if (logind == Logind::Absent) return;

        mock_ = std::make_unique<Helper>(
            std::vector<std::string>{"/usr/bin/python3", "-m", "dbusmock", "--system", "--template",
                                     "logind"},
            std::vector<std::string>{"DBUS_SYSTEM_BUS_ADDRESS=" + address_,
                                     "DBUS_SESSION_BUS_ADDRESS=" + address_},
            temp_ / "mock.log");
        ASSERT_TRUE(waitUntil([&] { return logindOnBus(); }, 20s)) << readFile(temp_ / "mock.log");
        addMethod(kManagerPath, kManager, "Halt", "b", "", "");
        addMethod(kManagerPath, kManager, "GetSessionByPID", "u", "o",
                  "ret = '/org/freedesktop/login1/session/c1'");
        addSession("c1");
        clearCalls(kManagerPath);
    }

    void TearDown() override {
        if (control_) g_object_unref(control_);
        mock_.reset();
        bus_.reset();
        unsetenv("DBUS_SYSTEM_BUS_ADDRESS");
    }

    // Flag-taking methods, as logind 248 and later have them.
    void addMethodsWithFlags() {
        for (const char* method : {"RebootWithFlags", "HaltWithFlags", "PowerOffWithFlags"})
            addMethod(kManagerPath, kManager, method, "t", "", "");
    }

    VariantPtr call(const char* destination, const std::string& path, const char* interface,
                    const char* method, GVariant* parameters) {
        GError* error = nullptr;
        GVariant* reply = g_dbus_connection_call_sync(
            control_, destination, path.c_str(), interface, method, parameters, nullptr,
            G_DBUS_CALL_FLAGS_NO_AUTO_START, 10000, nullptr, &error);
        if (!reply) {
            ADD_FAILURE() << method << ": " << (error ? error->message : "");
            if (error) g_error_free(error);
        }
        return VariantPtr(reply);
    }

    bool logindOnBus() {
        GVariant* reply = g_dbus_connection_call_sync(
            control_, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
            "NameHasOwner", g_variant_new("(s)", kLogind), G_VARIANT_TYPE("(b)"),
            G_DBUS_CALL_FLAGS_NONE, 2000, nullptr, nullptr);
        if (!reply) return false;
        gboolean owned = FALSE;
        g_variant_get(reply, "(b)", &owned);
        g_variant_unref(reply);
        return owned;
    }

    void addMethod(const std::string& path, const char* interface, const char* name, const char* in,
                   const char* out, const std::string& code) {
        call(kLogind, path, kMock, "AddMethod",
             g_variant_new("(sssss)", interface, name, in, out, code.c_str()));
    }

    // Makes the mock answer the method with a D-Bus error of that name.
    void refuse(const std::string& path, const char* interface, const char* name, const char* in,
                const char* out, const std::string& errorName) {
        addMethod(
            path, interface, name, in, out,
            "raise dbus.exceptions.DBusException('refused by the test', name='" + errorName + "')");
    }

    void addSession(const std::string& id) {
        call(kLogind, kManagerPath, kMock, "AddSession",
             g_variant_new("(ssusb)", id.c_str(), "seat0", 1000u, "tester", TRUE));
    }

    static std::string sessionPath(const std::string& id) {
        return "/org/freedesktop/login1/session/" + id;
    }

    // The calls the mock recorded on an object, as "Method(arg, ...)".
    Calls calls(const std::string& path) {
        Calls result;
        VariantPtr reply = call(kLogind, path, kMock, "GetCalls", nullptr);
        if (!reply) return result;
        GVariantIter* iterator = nullptr;
        g_variant_get(reply.get(), "(a(tsav))", &iterator);
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
        return result;
    }

    void clearCalls(const std::string& path) { call(kLogind, path, kMock, "ClearCalls", nullptr); }

    // The request under test, made only once the bus is known to be ours and
    // the logind on it the mock (whose Mock interface a real logind lacks).
    int requestEnd(SessionEnd how, bool force) {
        const char* address = std::getenv("DBUS_SYSTEM_BUS_ADDRESS");
        if (!address || address != address_ || address_.rfind("unix:path=" + temp_.path(), 0))
            throw std::logic_error("refusing: the system bus is not the test's own");
        if (mock_ && !call(kLogind, kManagerPath, kMock, "GetCalls", nullptr))
            throw std::logic_error("refusing: the logind on the bus is not the mock");
        return LogindSession().requestEnd(how, force);
    }

    TempDir temp_{"tarn-logind"};
    std::string socket_, address_;
    std::unique_ptr<Helper> bus_, mock_;
    GDBusConnection* control_ = nullptr;
};

struct ShutdownCase {
    SessionEnd how;
    bool force;
    Calls expected;
};

TEST_F(LogindSessionTest, ShutdownOptionsCallTheFlagMethods) {
    addMethodsWithFlags();
    const ShutdownCase cases[] = {
        {SessionEnd::Reboot, false, {"RebootWithFlags(1)"}},
        {SessionEnd::Reboot, true, {"RebootWithFlags(16)"}},
        {SessionEnd::Halt, false, {"HaltWithFlags(1)"}},
        {SessionEnd::Halt, true, {"HaltWithFlags(16)"}},
        {SessionEnd::PowerOff, false, {"PowerOffWithFlags(1)"}},
        {SessionEnd::PowerOff, true, {"PowerOffWithFlags(16)"}},
    };
    for (const ShutdownCase& row : cases) {
        clearCalls(kManagerPath);
        EXPECT_EQ(requestEnd(row.how, row.force), 0);
        EXPECT_EQ(calls(kManagerPath), row.expected);
    }
    EXPECT_TRUE(calls(sessionPath("c1")).empty());
}

TEST_F(LogindSessionTest, OlderLogindGetsThePlainMethods) {
    // No *WithFlags methods: logind before 248.
    const ShutdownCase cases[] = {
        {SessionEnd::Reboot, false, {"Reboot(false)"}},
        {SessionEnd::Halt, true, {"Halt(false)"}},
        {SessionEnd::PowerOff, true, {"PowerOff(false)"}},
    };
    for (const ShutdownCase& row : cases) {
        clearCalls(kManagerPath);
        EXPECT_EQ(requestEnd(row.how, row.force), 0);
        EXPECT_EQ(calls(kManagerPath), row.expected);
    }
}

TEST_F(LogindSessionTest, LogindWithoutTheSkipFlagFallsBackWhenForced) {
    // logind 248 to 255 refuse flags they do not know.
    addMethod(kManagerPath, kManager, "PowerOffWithFlags", "t", "",
              "if args[0] & ~1:\n"
              "    raise dbus.exceptions.DBusException('Invalid flags parameter', "
              "name='org.freedesktop.DBus.Error.InvalidArgs')");
    EXPECT_EQ(requestEnd(SessionEnd::PowerOff, true), 0);
    EXPECT_EQ(calls(kManagerPath), (Calls{"PowerOffWithFlags(16)", "PowerOff(false)"}));
    clearCalls(kManagerPath);
    EXPECT_EQ(requestEnd(SessionEnd::PowerOff, false), 0);
    EXPECT_EQ(calls(kManagerPath), (Calls{"PowerOffWithFlags(1)"}));
}

TEST_F(LogindSessionTest, LogOffTerminatesTheCallersSession) {
    addMethodsWithFlags();
    for (bool force : {false, true}) {
        clearCalls(kManagerPath);
        clearCalls(sessionPath("c1"));
        EXPECT_EQ(requestEnd(SessionEnd::LogOff, force), 0);
        EXPECT_EQ(calls(kManagerPath),
                  (Calls{"GetSessionByPID(" + std::to_string(getpid()) + ")"}));
        EXPECT_EQ(calls(sessionPath("c1")), (Calls{"Terminate()"}));
    }
}

TEST_F(LogindSessionTest, LogOffOutsideASessionUsesXdgSessionIdThenAuto) {
    refuse(kManagerPath, kManager, "GetSessionByPID", "u", "o",
           "org.freedesktop.login1.NoSessionForPID");
    addSession("c2");
    addSession("auto");
    clearCalls(kManagerPath);

    setenv("XDG_SESSION_ID", "c2", 1);
    EXPECT_EQ(requestEnd(SessionEnd::LogOff, false), 0);
    EXPECT_EQ(calls(kManagerPath),
              (Calls{"GetSessionByPID(" + std::to_string(getpid()) + ")", "GetSession('c2')"}));
    EXPECT_EQ(calls(sessionPath("c2")), (Calls{"Terminate()"}));

    clearCalls(kManagerPath);
    unsetenv("XDG_SESSION_ID");
    EXPECT_EQ(requestEnd(SessionEnd::LogOff, false), 0);
    EXPECT_EQ(calls(kManagerPath),
              (Calls{"GetSessionByPID(" + std::to_string(getpid()) + ")", "GetSession('auto')"}));
    EXPECT_EQ(calls(sessionPath("auto")), (Calls{"Terminate()"}));
    EXPECT_TRUE(calls(sessionPath("c1")).empty());
}

struct RefusalCase {
    const char* errorName;
    int code;
};

TEST_F(LogindSessionTest, RefusalsGiveNonzeroCodes) {
    const RefusalCase cases[] = {
        {"org.freedesktop.DBus.Error.AccessDenied", EACCES},
        {"org.freedesktop.DBus.Error.InteractiveAuthorizationRequired", EACCES},
        {"org.freedesktop.login1.OperationInProgress", EINPROGRESS},
        {"System.Error.EBUSY", EBUSY},
        {"org.example.Tarn.Unheard", EIO},
    };
    for (const RefusalCase& row : cases) {
        refuse(kManagerPath, kManager, "RebootWithFlags", "t", "", row.errorName);
        EXPECT_EQ(requestEnd(SessionEnd::Reboot, false), row.code) << row.errorName;
        refuse(sessionPath("c1"), "org.freedesktop.login1.Session", "Terminate", "", "",
               row.errorName);
        EXPECT_EQ(requestEnd(SessionEnd::LogOff, true), row.code) << row.errorName;
    }
}

TEST_F(LogindSessionTest, NoSessionAnywhere) {
    refuse(kManagerPath, kManager, "GetSessionByPID", "u", "o",
           "org.freedesktop.login1.NoSessionForPID");
    refuse(kManagerPath, kManager, "GetSession", "s", "o", "org.freedesktop.login1.NoSuchSession");
    unsetenv("XDG_SESSION_ID");
    EXPECT_EQ(requestEnd(SessionEnd::LogOff, false), ENXIO);
}

TEST_F(LogindSessionTest, AHungLogindIsGivenUpOn) {
    // The mock answers nothing for longer than the request may take.
    addMethod(kManagerPath, kManager, "PowerOffWithFlags", "t", "",
              "import time\ntime.sleep(" +
                  std::to_string(LogindSession::kTimeoutMilliseconds / 1000 + 20) + ")");
    EXPECT_EQ(requestEnd(SessionEnd::PowerOff, true), ETIMEDOUT);
}

class LogindAbsentTest : public LogindSessionTest {
  protected:
    void SetUp() override { startBus(Logind::Absent); }
};

TEST_F(LogindAbsentTest, NoLogindOnTheBus) {
    EXPECT_EQ(requestEnd(SessionEnd::Reboot, false), EHOSTUNREACH);
    EXPECT_EQ(requestEnd(SessionEnd::LogOff, false), EHOSTUNREACH);
}

TEST_F(LogindAbsentTest, NoBusAtAll) {
    const std::string missing = "unix:path=" + (temp_ / "no-such-socket");
    address_ = missing;
    setenv("DBUS_SYSTEM_BUS_ADDRESS", missing.c_str(), 1);
    EXPECT_NE(requestEnd(SessionEnd::PowerOff, false), 0);
}

TEST(LogindErrorNames, MapToErrnoValues) {
    const RefusalCase cases[] = {
        {"org.freedesktop.DBus.Error.AccessDenied", EACCES},
        {"org.freedesktop.DBus.Error.NoReply", ETIMEDOUT},
        {"org.freedesktop.DBus.Error.ServiceUnknown", EHOSTUNREACH},
        {"org.freedesktop.DBus.Error.UnknownMethod", EBADR},
        {"org.freedesktop.DBus.Error.InvalidArgs", EINVAL},
        {"org.freedesktop.login1.NoSuchSession", ENXIO},
        {"System.Error.EPERM", EPERM},
        {"System.Error.ENOSPC", ENOSPC},
        {"System.Error.ENOTANERRNO", EIO},
        {"System.Error.", EIO},
        {"", EIO},
        {"org.example.Anything", EIO},
    };
    for (const RefusalCase& row : cases)
        EXPECT_EQ(dbusErrorCode(row.errorName), row.code) << row.errorName;
}

}  // namespace
}  // namespace tarn::gio

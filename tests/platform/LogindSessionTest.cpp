// SPDX-License-Identifier: GPL-3.0-or-later
// LogindSession against python-dbusmock's logind template on a private bus
// that the test starts (MockLogind); never the machine's own system bus.

#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <memory>

#include "LogindSession.h"
#include "MockLogind.h"
#include "PlatformTestSupport.h"

namespace tarn::gio {
namespace {

using namespace tarn::platformtest;
using Calls = std::vector<std::string>;

constexpr const char* kManagerPath = MockLogind::kManagerPath;
constexpr const char* kManager = MockLogind::kManager;

class LogindSessionTest : public ::testing::Test {
  protected:
    void SetUp() override { start(MockLogind::Service::Mocked); }

    void start(MockLogind::Service service) {
        try {
            logind_ = std::make_unique<MockLogind>(service);
        } catch (const std::exception& error) {
            FAIL() << error.what();
        }
    }

    // The request under test, made only once the guard has seen the bus and
    // the logind on it to be the test's own.
    int requestEnd(SessionEnd how, bool force) {
        logind_->guard();
        return LogindSession().requestEnd(how, force);
    }

    static std::string sessionPath(const std::string& id) { return MockLogind::sessionPath(id); }

    std::unique_ptr<MockLogind> logind_;
};

struct ShutdownCase {
    SessionEnd how;
    bool force;
    Calls expected;
};

TEST_F(LogindSessionTest, ShutdownOptionsCallTheFlagMethods) {
    logind_->addMethodsWithFlags();
    const ShutdownCase cases[] = {
        {SessionEnd::Reboot, false, {"RebootWithFlags(1)"}},
        {SessionEnd::Reboot, true, {"RebootWithFlags(16)"}},
        {SessionEnd::Halt, false, {"HaltWithFlags(1)"}},
        {SessionEnd::Halt, true, {"HaltWithFlags(16)"}},
        {SessionEnd::PowerOff, false, {"PowerOffWithFlags(1)"}},
        {SessionEnd::PowerOff, true, {"PowerOffWithFlags(16)"}},
    };
    for (const ShutdownCase& row : cases) {
        logind_->clearCalls(kManagerPath);
        EXPECT_EQ(requestEnd(row.how, row.force), 0);
        EXPECT_EQ(logind_->calls(kManagerPath), row.expected);
    }
    EXPECT_TRUE(logind_->calls(sessionPath("c1")).empty());
}

TEST_F(LogindSessionTest, OlderLogindGetsThePlainMethods) {
    // No *WithFlags methods: logind before 248.
    const ShutdownCase cases[] = {
        {SessionEnd::Reboot, false, {"Reboot(false)"}},
        {SessionEnd::Halt, true, {"Halt(false)"}},
        {SessionEnd::PowerOff, true, {"PowerOff(false)"}},
    };
    for (const ShutdownCase& row : cases) {
        logind_->clearCalls(kManagerPath);
        EXPECT_EQ(requestEnd(row.how, row.force), 0);
        EXPECT_EQ(logind_->calls(kManagerPath), row.expected);
    }
}

TEST_F(LogindSessionTest, LogindWithoutTheSkipFlagFallsBackWhenForced) {
    // logind 248 to 255 refuse flags they do not know.
    logind_->addMethod(kManagerPath, kManager, "PowerOffWithFlags", "t", "",
                       "if args[0] & ~1:\n"
                       "    raise dbus.exceptions.DBusException('Invalid flags parameter', "
                       "name='org.freedesktop.DBus.Error.InvalidArgs')");
    EXPECT_EQ(requestEnd(SessionEnd::PowerOff, true), 0);
    EXPECT_EQ(logind_->calls(kManagerPath), (Calls{"PowerOffWithFlags(16)", "PowerOff(false)"}));
    logind_->clearCalls(kManagerPath);
    EXPECT_EQ(requestEnd(SessionEnd::PowerOff, false), 0);
    EXPECT_EQ(logind_->calls(kManagerPath), (Calls{"PowerOffWithFlags(1)"}));
}

TEST_F(LogindSessionTest, LogOffTerminatesTheCallersSession) {
    logind_->addMethodsWithFlags();
    for (bool force : {false, true}) {
        logind_->clearCalls(kManagerPath);
        logind_->clearCalls(sessionPath("c1"));
        EXPECT_EQ(requestEnd(SessionEnd::LogOff, force), 0);
        EXPECT_EQ(logind_->calls(kManagerPath),
                  (Calls{"GetSessionByPID(" + std::to_string(getpid()) + ")"}));
        EXPECT_EQ(logind_->calls(sessionPath("c1")), (Calls{"Terminate()"}));
    }
}

TEST_F(LogindSessionTest, LogOffOutsideASessionUsesXdgSessionIdThenAuto) {
    logind_->refuse(kManagerPath, kManager, "GetSessionByPID", "u", "o",
                    "org.freedesktop.login1.NoSessionForPID");
    logind_->addSession("c2");
    logind_->addSession("auto");
    logind_->clearCalls(kManagerPath);

    setenv("XDG_SESSION_ID", "c2", 1);
    EXPECT_EQ(requestEnd(SessionEnd::LogOff, false), 0);
    EXPECT_EQ(logind_->calls(kManagerPath),
              (Calls{"GetSessionByPID(" + std::to_string(getpid()) + ")", "GetSession('c2')"}));
    EXPECT_EQ(logind_->calls(sessionPath("c2")), (Calls{"Terminate()"}));

    logind_->clearCalls(kManagerPath);
    unsetenv("XDG_SESSION_ID");
    EXPECT_EQ(requestEnd(SessionEnd::LogOff, false), 0);
    EXPECT_EQ(logind_->calls(kManagerPath),
              (Calls{"GetSessionByPID(" + std::to_string(getpid()) + ")", "GetSession('auto')"}));
    EXPECT_EQ(logind_->calls(sessionPath("auto")), (Calls{"Terminate()"}));
    EXPECT_TRUE(logind_->calls(sessionPath("c1")).empty());
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
        logind_->refuse(kManagerPath, kManager, "RebootWithFlags", "t", "", row.errorName);
        EXPECT_EQ(requestEnd(SessionEnd::Reboot, false), row.code) << row.errorName;
        logind_->refuse(sessionPath("c1"), "org.freedesktop.login1.Session", "Terminate", "", "",
                        row.errorName);
        EXPECT_EQ(requestEnd(SessionEnd::LogOff, true), row.code) << row.errorName;
    }
}

TEST_F(LogindSessionTest, NoSessionAnywhere) {
    logind_->refuse(kManagerPath, kManager, "GetSessionByPID", "u", "o",
                    "org.freedesktop.login1.NoSessionForPID");
    logind_->refuse(kManagerPath, kManager, "GetSession", "s", "o",
                    "org.freedesktop.login1.NoSuchSession");
    unsetenv("XDG_SESSION_ID");
    EXPECT_EQ(requestEnd(SessionEnd::LogOff, false), ENXIO);
}

TEST_F(LogindSessionTest, AHungLogindIsGivenUpOn) {
    // The mock answers nothing for longer than the request may take.
    logind_->addMethod(kManagerPath, kManager, "PowerOffWithFlags", "t", "",
                       "import time\ntime.sleep(" +
                           std::to_string(LogindSession::kTimeoutMilliseconds / 1000 + 20) + ")");
    EXPECT_EQ(requestEnd(SessionEnd::PowerOff, true), ETIMEDOUT);
}

class LogindAbsentTest : public LogindSessionTest {
  protected:
    void SetUp() override { start(MockLogind::Service::Absent); }
};

TEST_F(LogindAbsentTest, NoLogindOnTheBus) {
    EXPECT_EQ(requestEnd(SessionEnd::Reboot, false), EHOSTUNREACH);
    EXPECT_EQ(requestEnd(SessionEnd::LogOff, false), EHOSTUNREACH);
}

TEST_F(LogindAbsentTest, NoBusAtAll) {
    // A socket in the test's own folder that nothing listens on.
    const std::string missing = "unix:path=" + logind_->folder() + "/no-such-socket";
    setenv("DBUS_SYSTEM_BUS_ADDRESS", missing.c_str(), 1);
    EXPECT_NE(LogindSession().requestEnd(SessionEnd::PowerOff, false), 0);
}

TEST_F(LogindAbsentTest, ABusThatNeverAnswersIsGivenUpOn) {
    // A socket that accepts the connection and then says nothing, not even
    // the greeting of the authentication. It gets its name only once it
    // listens.
    const std::string path = logind_->folder() + "/silent-socket";
    Helper silent({"/usr/bin/python3", "-c",
                   "import os, socket, sys, time\n"
                   "s = socket.socket(socket.AF_UNIX)\n"
                   "s.bind(sys.argv[1] + '.part'); s.listen(1)\n"
                   "os.rename(sys.argv[1] + '.part', sys.argv[1])\n"
                   "c = s.accept()\n"
                   "time.sleep(120)\n",
                   path});
    ASSERT_TRUE(waitUntil([&] { return exists(path); }, 10s));
    setenv("DBUS_SYSTEM_BUS_ADDRESS", ("unix:path=" + path).c_str(), 1);
    EXPECT_EQ(LogindSession().requestEnd(SessionEnd::Reboot, true), ETIMEDOUT);
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

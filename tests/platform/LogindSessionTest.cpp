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
const auto sessionPath = MockLogind::sessionPath;

class LogindSessionTest : public ::testing::Test {
  protected:
    // A mock that does not come up throws, and the test fails saying why.
    void SetUp() override { logind_ = std::make_unique<MockLogind>(); }

    // The request under test, made only once the guard has seen the bus and
    // the logind on it to be the test's own.
    int requestEnd(SessionEnd how, bool force) {
        logind_->guard();
        return LogindSession().requestEnd(how, force);
    }

    std::unique_ptr<MockLogind> logind_;
};

// Each logind gets the methods it has: the flag-taking ones from 248 on, the
// plain ones before; from 248 to 255 a forced request falls back to the plain
// one, since those refuse the flag that skips inhibitors.
TEST_F(LogindSessionTest, ShutdownOptionsCallTheMethodsTheLogindHas) {
    const struct {
        int logind;  // 0 keeps the one before
        SessionEnd how;
        bool force;
        Calls expected;
    } cases[] = {
        {247, SessionEnd::Reboot, false, {"Reboot(false)"}},
        {0, SessionEnd::Halt, true, {"Halt(false)"}},
        {0, SessionEnd::PowerOff, true, {"PowerOff(false)"}},
        {255, SessionEnd::PowerOff, true, {"PowerOffWithFlags(16)", "PowerOff(false)"}},
        {0, SessionEnd::PowerOff, false, {"PowerOffWithFlags(1)"}},
        {256, SessionEnd::Reboot, false, {"RebootWithFlags(1)"}},
        {0, SessionEnd::Reboot, true, {"RebootWithFlags(16)"}},
        {0, SessionEnd::Halt, false, {"HaltWithFlags(1)"}},
        {0, SessionEnd::Halt, true, {"HaltWithFlags(16)"}},
        {0, SessionEnd::PowerOff, true, {"PowerOffWithFlags(16)"}},
    };
    for (const auto& row : cases) {
        if (row.logind == 255)
            logind_->addMethod(kManagerPath, kManager, "PowerOffWithFlags", "t", "",
                               "if args[0] & ~1:\n"
                               "    raise dbus.exceptions.DBusException('Invalid flags', "
                               "name='org.freedesktop.DBus.Error.InvalidArgs')");
        if (row.logind == 256) logind_->addMethodsWithFlags();
        logind_->clearCalls(kManagerPath);
        EXPECT_EQ(requestEnd(row.how, row.force), 0) << row.expected[0];
        EXPECT_EQ(logind_->calls(kManagerPath), row.expected);
    }
    EXPECT_TRUE(logind_->calls(sessionPath("c1")).empty());
}

// The session ended is the caller's; a program outside any session (started
// by a desktop's service manager) ends the one it was started for, else
// logind's "auto".
TEST_F(LogindSessionTest, LogOffTerminatesTheCallersSession) {
    const std::string byPid = "GetSessionByPID(" + std::to_string(getpid()) + ")";
    const struct {
        const char* sessionId;  // XDG_SESSION_ID; null: unset
        bool force;
        Calls manager;
        const char* ended;  // the session terminated; null: none, ENXIO
    } cases[] = {
        {"c2", false, {byPid}, "c1"},
        {"c2", true, {byPid}, "c1"},
        {"c2", false, {byPid, "GetSession('c2')"}, "c2"},
        {nullptr, false, {byPid, "GetSession('auto')"}, "auto"},
        {nullptr, false, {byPid, "GetSession('auto')"}, nullptr},
    };
    logind_->addSession("c2");
    logind_->addSession("auto");
    for (const auto& row : cases) {
        if (&row == &cases[2])
            logind_->refuse(kManagerPath, kManager, "GetSessionByPID", "u", "o",
                            "org.freedesktop.login1.NoSessionForPID");
        if (!row.ended)
            logind_->refuse(kManagerPath, kManager, "GetSession", "s", "o",
                            "org.freedesktop.login1.NoSuchSession");
        for (const char* id : {"c1", "c2", "auto"})
            logind_->clearCalls(sessionPath(id));
        logind_->clearCalls(kManagerPath);
        if (row.sessionId)
            setenv("XDG_SESSION_ID", row.sessionId, 1);
        else
            unsetenv("XDG_SESSION_ID");
        EXPECT_EQ(requestEnd(SessionEnd::LogOff, row.force), row.ended ? 0 : ENXIO);
        EXPECT_EQ(logind_->calls(kManagerPath), row.manager);
        for (const char* id : {"c1", "c2", "auto"})
            EXPECT_EQ(logind_->calls(sessionPath(id)),
                      row.ended && std::string(id) == row.ended ? Calls{"Terminate()"} : Calls{})
                << id;
    }
}

// logind's refusals reach the caller as errno values; those a bus can carry
// are refused for real, by the request to reboot and by the session's
// Terminate alike. A hung logind is given up on.
TEST_F(LogindSessionTest, RefusalsAndAHungLogindGiveErrnoValues) {
    const struct {
        const char* errorName;
        int code;
        bool refused;
    } cases[] = {
        {"org.freedesktop.DBus.Error.AccessDenied", EACCES, true},
        {"org.freedesktop.DBus.Error.InteractiveAuthorizationRequired", EACCES, true},
        {"org.freedesktop.login1.OperationInProgress", EINPROGRESS, true},
        {"System.Error.EBUSY", EBUSY, true},
        {"org.example.Tarn.Unheard", EIO, true},
        {"org.freedesktop.DBus.Error.NoReply", ETIMEDOUT, false},
        {"org.freedesktop.DBus.Error.ServiceUnknown", EHOSTUNREACH, false},
        {"org.freedesktop.DBus.Error.UnknownMethod", EBADR, false},
        {"org.freedesktop.DBus.Error.InvalidArgs", EINVAL, false},
        {"org.freedesktop.login1.NoSuchSession", ENXIO, false},
        {"System.Error.EPERM", EPERM, false},
        {"System.Error.ENOSPC", ENOSPC, false},
        {"System.Error.ENOTANERRNO", EIO, false},
        {"System.Error.", EIO, false},
        {"", EIO, false},
    };
    for (const auto& row : cases) {
        EXPECT_EQ(dbusErrorCode(row.errorName), row.code) << row.errorName;
        if (!row.refused) continue;
        logind_->refuse(kManagerPath, kManager, "RebootWithFlags", "t", "", row.errorName);
        EXPECT_EQ(requestEnd(SessionEnd::Reboot, false), row.code) << row.errorName;
        logind_->refuse(sessionPath("c1"), "org.freedesktop.login1.Session", "Terminate", "", "",
                        row.errorName);
        EXPECT_EQ(requestEnd(SessionEnd::LogOff, true), row.code) << row.errorName;
    }
    // The mock answers nothing for longer than the request may take.
    logind_->addMethod(kManagerPath, kManager, "PowerOffWithFlags", "t", "",
                       "import time\ntime.sleep(" +
                           std::to_string(LogindSession::kTimeoutMilliseconds / 1000 + 20) + ")");
    EXPECT_EQ(requestEnd(SessionEnd::PowerOff, true), ETIMEDOUT);
}

class LogindAbsentTest : public LogindSessionTest {
  protected:
    void SetUp() override { logind_ = std::make_unique<MockLogind>(MockLogind::Service::Absent); }
};

// Without logind or a bus at all the request fails; a bus that never answers
// is given up on at the deadline and the attempt cancelled, not merely left
// behind: the connection is closed, so no bus that wakes up later gets a
// request.
TEST_F(LogindAbsentTest, NoLogindNoBusOrABusThatNeverAnswers) {
    EXPECT_EQ(requestEnd(SessionEnd::Reboot, false), EHOSTUNREACH);
    EXPECT_EQ(requestEnd(SessionEnd::LogOff, false), EHOSTUNREACH);
    // A socket in the test's own folder that nothing listens on.
    const std::string missing = "unix:path=" + logind_->folder() + "/no-such-socket";
    setenv("DBUS_SYSTEM_BUS_ADDRESS", missing.c_str(), 1);
    EXPECT_NE(LogindSession().requestEnd(SessionEnd::PowerOff, false), 0);

    // A socket that accepts the connection and then says nothing, not even
    // the greeting of the authentication, and notes when the client closes
    // it. It gets its name only once it listens.
    const std::string path = logind_->folder() + "/silent-socket";
    Helper silent({"/usr/bin/python3", "-c",
                   "import os, socket, sys, time\n"
                   "s = socket.socket(socket.AF_UNIX)\n"
                   "s.bind(sys.argv[1] + '.part'); s.listen(1)\n"
                   "os.rename(sys.argv[1] + '.part', sys.argv[1])\n"
                   "c, _ = s.accept()\n"
                   "while c.recv(4096): pass\n"
                   "open(sys.argv[1] + '.closed', 'w').close()\n"
                   "time.sleep(120)\n",
                   path});
    ASSERT_TRUE(waitUntil([&] { return exists(path); }, 10s));
    setenv("DBUS_SYSTEM_BUS_ADDRESS", ("unix:path=" + path).c_str(), 1);
    EXPECT_EQ(LogindSession().requestEnd(SessionEnd::Reboot, true), ETIMEDOUT);
    EXPECT_TRUE(waitUntil([&] { return exists(path + ".closed"); }, 5s));
}

}  // namespace
}  // namespace tarn::gio

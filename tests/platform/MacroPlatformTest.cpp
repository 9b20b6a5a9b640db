// SPDX-License-Identifier: GPL-3.0-or-later
// Macros that start programs and documents, end processes and end the
// session, run by the interpreter against the real process, document and
// session backends (windows and keys are the recording fakes: nothing here
// needs a display). The failures a macro sees are checked as a user reads
// them: number and description.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/ptrace.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <memory>
#include <optional>

#include "GioDocuments.h"
#include "Harness.h"
#include "LogindSession.h"
#include "MockLogind.h"
#include "PlatformTestSupport.h"
#include "PosixProcesses.h"

namespace tarn {
namespace {

using namespace tarn::platformtest;
using Lines = std::vector<std::string>;

// An XDG tree with no applications at all, set before GIO reads anything.
class EmptyXdgTree : public ::testing::Environment {
  public:
    std::unique_ptr<TempDir> root;
    void SetUp() override {
        root = std::make_unique<TempDir>("tarn-macro");
        isolateGio(root->path());
    }
    void TearDown() override { root.reset(); }
};

class MacroPlatformTest : public ::testing::Test {
  protected:
    // Runs the lines as a macro file; the failure that ended the run, if any.
    std::optional<Failure> run(const Lines& lines) {
        std::string text;
        for (const std::string& line : lines)
            text += line + "\r\n";
        const std::string file = temp_ / ("macro" + std::to_string(++runs_) + ".mcr");
        writeFile(file, text);
        return test::Harness::failureOf([&] { macro_.RunMacro(file); });
    }

    TempDir temp_{"tarn-macro-run"};
    fake::CallLog log_;
    fake::FakeWindowSystem windows_{log_};
    fake::FakeKeyboard keyboard_{log_};
    posix::PosixProcesses processes_;
    gio::GioDocuments documents_;
    gio::LogindSession session_;
    PlainHost host_;
    clsMacro macro_{Platform{windows_, keyboard_, processes_, documents_, session_, host_}};
    int runs_ = 0;
};

// The shell's result codes that real files give, as the macro reads them; the
// failures of Run and KillProcess are the process tests' and the unit tests'.
TEST_F(MacroPlatformTest, RunExecuteOfRealFilesFailsWithTheShellsCodes) {
    const std::string dir = temp_.path();
    writeFile(dir + "/broken", "\177ELF\2\1garbage", 0755);
    writeFile(dir + "/lonely.tarnorphan", "no program opens this\n");
    const std::string refused = "Invalid procedure call or argument - RunExecute error number ";
    const struct {
        std::string line;
        const char* error;  // what follows `refused`
    } cases[] = {
        {"RunExecute open," + dir + "/absent.txt", "2 - File not found"},
        {"RunExecute ," + dir + "/no-folder/x.txt", "3 - Path not found"},
        {"RunExecute open," + dir + "/lonely.tarnorphan", "31 - No association found for fileName"},
        {"RunExecute open," + dir + "/broken", "11 - Invalid executable format"},
    };
    for (const auto& row : cases) {
        const std::optional<Failure> failure = run({row.line});
        ASSERT_TRUE(failure.has_value()) << row.line;
        EXPECT_EQ(failure->number(), 5) << row.line;
        EXPECT_EQ(failure->description(), refused + row.error) << row.line;
        EXPECT_NE(failure->source().find(".RunExecute"), std::string::npos) << failure->source();
    }
}

// A zombie whose parent is another program has ended: there is nothing left to
// end, and it is not Tarn's to collect.
TEST_F(MacroPlatformTest, KillProcessOnAnotherProgramsZombieIsNoSuchProcess) {
    // The child ends after its parent has become a program that never collects
    // it.
    Helper parent({"sh", "-c", "sleep 1 & echo $!; exec sleep 30"}, {}, {}, true);
    std::string line;
    ASSERT_TRUE(parent.readLine(line, 10s));
    const pid_t zombie = std::atoi(line.c_str());
    ASSERT_TRUE(waitUntil([&] { return stateOf(zombie) == 'Z'; }, 10s));
    const std::optional<Failure> failure = run({"KillProcess " + line});
    ASSERT_TRUE(failure.has_value());
    EXPECT_EQ(failure->number(), 1008);
    EXPECT_EQ(failure->description(), "OpenProcess Error 3");
    EXPECT_EQ(stateOf(zombie), 'Z');
}

// A program Run started ends and Tarn collects it, which frees its number.
// A process that gets the number later is not the one the macro started:
// KillProcess answers as for an ended process and leaves it alone.
TEST_F(MacroPlatformTest, KillProcessOfAnEndedRunProgramSparesWhoeverHasItsNumberNow) {
    if (::access("/proc/sys/kernel/ns_last_pid", W_OK) != 0)
        GTEST_SKIP() << "giving a program a chosen PID needs root";
    // Another process may take the freed number first: then again.
    for (int attempt = 0; attempt < 20; ++attempt) {
        ASSERT_FALSE(test::Harness::failureOf([&] { macro_.Process("p = Run true"); }));
        const pid_t ended = std::stoi(*macro_.Variables().find("p"));
        ASSERT_TRUE(waitUntil(
            [&] {
                posix::PosixProcesses::reapExited();
                return stateOf(ended) == 0;
            },
            10s));
        const pid_t unrelated = launchAt(ended, {"sleep", "100000"});
        if (unrelated < 0) continue;
        const std::optional<Failure> failure =
            test::Harness::failureOf([&] { macro_.Process("KillProcess p"); });
        const char state = stateOf(unrelated);
        kill(unrelated, SIGKILL);
        reapWithin(unrelated, 10s);
        ASSERT_TRUE(failure.has_value());
        EXPECT_EQ(failure->number(), 1008);
        EXPECT_EQ(failure->description(), "OpenProcess Error 3");
        EXPECT_TRUE(state != 0 && state != 'Z') << state;
        return;
    }
    FAIL() << "other processes took every freed number";
}

// A debugger that stops a process at its exit (PTRACE_O_TRACEEXIT) keeps it
// alive after the kernel accepted SIGKILL: KillProcess must not call that an
// end.
TEST_F(MacroPlatformTest, KillProcessOfAProcessThatSurvivesIs1009) {
    const pid_t traced = fork();
    ASSERT_GE(traced, 0);
    if (traced == 0) {
        ptrace(PTRACE_TRACEME, 0, nullptr, nullptr);
        raise(SIGSTOP);
        for (;;)
            pause();
    }
    int status = 0;
    ASSERT_EQ(waitpid(traced, &status, 0), traced);
    ASSERT_TRUE(WIFSTOPPED(status));
    ASSERT_EQ(ptrace(PTRACE_SETOPTIONS, traced, nullptr, PTRACE_O_TRACEEXIT), 0);
    ASSERT_EQ(ptrace(PTRACE_CONT, traced, nullptr, nullptr), 0);

    const std::optional<Failure> failure = run({"KillProcess " + std::to_string(traced)});
    ASSERT_TRUE(failure.has_value());
    EXPECT_EQ(failure->number(), 1009);
    EXPECT_EQ(failure->description(), "TerminateProcess Error 1009");
    EXPECT_NE(stateOf(traced), 0);

    // Let it finish dying: past its exit stop it ends by the SIGKILL.
    ASSERT_TRUE(waitUntil([&] { return waitpid(traced, &status, WNOHANG) == traced; }, 10s));
    EXPECT_EQ(status >> 8, SIGTRAP | (PTRACE_EVENT_EXIT << 8));
    ptrace(PTRACE_CONT, traced, nullptr, nullptr);
    ASSERT_TRUE(waitUntil([&] { return waitpid(traced, &status, WNOHANG) == traced; }, 10s));
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL);
}

class MacroSessionTest : public MacroPlatformTest {
  protected:
    void SetUp() override {
        logind_ = std::make_unique<MockLogind>();
        logind_->addMethodsWithFlags();
        macro_.ShuttingDown = [this] { ++shuttingDown_; };
    }

    std::unique_ptr<MockLogind> logind_;
    int shuttingDown_ = 0;
};

// Only a request logind accepted announces the end to the macro's host.
TEST_F(MacroSessionTest, ShutDownWindowsAsksLogindAndAnnouncesOnlyAnAcceptedEnd) {
    logind_->refuse(MockLogind::kManagerPath, MockLogind::kManager, "RebootWithFlags", "t", "",
                    "org.freedesktop.DBus.Error.AccessDenied");
    const struct {
        const char* line;
        std::string path;
        Lines calls;  // empty: refused, 1005 with logind's code
    } cases[] = {
        {"ShutDownWindows 4,True", MockLogind::kManagerPath, {"PowerOffWithFlags(16)"}},
        {"ShutDownWindows", MockLogind::sessionPath("c1"), {"Terminate()"}},
        {"ShutDownWindows 2", MockLogind::kManagerPath, {}},
    };
    for (const auto& row : cases) {
        shuttingDown_ = 0;
        logind_->clearCalls(row.path);
        logind_->guard();
        const std::optional<Failure> failure = run({row.line});
        EXPECT_EQ(shuttingDown_, row.calls.empty() ? 0 : 1) << row.line;
        if (row.calls.empty()) {
            ASSERT_TRUE(failure.has_value()) << row.line;
            EXPECT_EQ(failure->number(), 1005);
            EXPECT_EQ(failure->description(), "ExitWindows Error 13");
        } else {
            EXPECT_EQ(failure, std::nullopt) << row.line;
            EXPECT_EQ(logind_->calls(row.path), row.calls) << row.line;
        }
    }
}

}  // namespace
}  // namespace tarn

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    ::testing::AddGlobalTestEnvironment(new tarn::EmptyXdgTree);
    return RUN_ALL_TESTS();
}

// SPDX-License-Identifier: GPL-3.0-or-later
// PosixProcesses and the command-line splitter against real programs.

#include <gtest/gtest.h>
#include <pwd.h>
#include <sched.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fstream>

#include "Failure.h"
#include "OwnEnvironment.h"
#include "PlatformTestSupport.h"
#include "PosixCommandLine.h"
#include "PosixProcesses.h"

namespace tarn::posix {
namespace {

using namespace tarn::platformtest;
using Words = std::vector<std::string>;

TEST(PosixCommandLine, SplitsWordsAndQuotes) {
    const struct {
        const char* commandLine;
        Words words;
    } cases[] = {
        {"", {}},
        {"   \t ", {}},
        {"notepad", {"notepad"}},
        {"  sleep   30\tb\nc  ", {"sleep", "30", "b", "c"}},
        {"prog \"\" \"\"\"\" \"\"", {"prog", "", "\"", ""}},
        {"prog a\"b c\"d \"open ended", {"prog", "ab cd", "open ended"}},
        {"prog C:\\dir\\file.txt \\\"x", {"prog", "C:\\dir\\file.txt", "\\x"}},
        {"prog ; ls | wc $(id) `id` > out &",
         {"prog", ";", "ls", "|", "wc", "$(id)", "`id`", ">", "out", "&"}},
        {"prog 'single quoted'", {"prog", "'single", "quoted'"}},
    };
    for (const auto& row : cases)
        EXPECT_EQ(splitCommandLine(row.commandLine), row.words) << "[" << row.commandLine << "]";
}

// A script that writes its arguments, one per line, to args.txt beside
// itself, then stays alive so that its /proc entry can be read.
constexpr const char* kRecorder =
    "#!/bin/sh\n"
    "out=\"$(dirname \"$0\")/args.txt\"\n"
    "for a in \"$@\"; do printf '%s\\n' \"$a\"; done > \"$out.part\"\n"
    "mv \"$out.part\" \"$out\"\n"
    "sleep 30\n";

class PosixProcessesTest : public ::testing::Test {
  protected:
    void TearDown() override {
        // A started program has a process group of its own (it leads a new
        // session): end it and what it started, by that ID.
        for (pid_t pid : started_) {
            kill(-pid, SIGKILL);
            kill(pid, SIGKILL);
        }
        waitUntil(
            [&] {
                PosixProcesses::reapExited();
                for (pid_t pid : started_)
                    if (stateOf(pid) != 0) return false;
                return true;
            },
            5s);
    }

    ProcessId start(const std::string& commandLine) {
        const ProcessId pid = processes_.start(commandLine);
        started_.push_back(pid);
        return pid;
    }

    PosixProcesses processes_;
    TempDir temp_{"tarn-posix"};
    std::vector<pid_t> started_;
};

// The program is found by a quoted path with spaces or on PATH, and every
// shell character arrives literally: no shell ever runs.
TEST_F(PosixProcessesTest, ArgumentsArriveLiterallyWithoutAShell) {
    const std::string folder = temp_ / "dir with space", bin = temp_ / "bin";
    const std::string trap = temp_ / "pwned";
    makeFolder(folder);
    makeFolder(bin);
    writeFile(folder + "/rec ord.sh", kRecorder, 0755);
    writeFile(bin + "/tarn-path-probe", kRecorder, 0755);
    const std::string oldPath = std::getenv("PATH");
    setenv("PATH", (bin + ":" + oldPath).c_str(), 1);
    const struct {
        std::string script, commandLine;
        Words expected;
    } cases[] = {
        {folder + "/rec ord.sh",
         "\"" + folder + "/rec ord.sh\" plain ; \"$(touch " + trap + ")\" \"| touch " + trap +
             "2\" `touch " + trap + "3` $HOME * \"say \"\"hi\"\"\" \"\" --t=\"a b\"",
         lines("plain\n;\n$(touch " + trap + ")\n| touch " + trap + "2\n`touch\n" + trap +
               "3`\n$HOME\n*\nsay \"hi\"\n\n--t=a b\n")},
        {bin + "/tarn-path-probe", "tarn-path-probe found", {"found"}},
    };
    for (const auto& row : cases) {
        const ProcessId pid = start(row.commandLine);
        const std::string record = row.script.substr(0, row.script.rfind('/')) + "/args.txt";
        ASSERT_TRUE(waitUntil([&] { return exists(record); }, 10s)) << row.commandLine;
        EXPECT_EQ(lines(readFile(record)), row.expected);
        Words command{"/bin/sh", row.script};
        command.insert(command.end(), row.expected.begin(), row.expected.end());
        EXPECT_EQ(commandLineOf(pid), command);
    }
    setenv("PATH", oldPath.c_str(), 1);
    for (const char* suffix : {"", "2", "3`", "3"})
        EXPECT_FALSE(exists(trap + suffix)) << suffix;
}

TEST_F(PosixProcessesTest, StartFailuresAreRuntimeFailures) {
    writeFile(temp_ / "not executable", "#!/bin/sh\nexit 0\n", 0644);
    writeFile(temp_ / "no-interpreter-line", "echo run by no shell\n", 0755);
    const struct {
        const char* name;
        std::string commandLine;
        std::int32_t number;
    } cases[] = {
        {"missing on PATH", "tarn-no-such-program-4711 x", kFileNotFound},
        {"missing path", temp_ / "nothing-here", kFileNotFound},
        {"empty program", "\"\" x", kFileNotFound},
        {"not executable", "\"" + (temp_ / "not executable") + "\"", kPermissionDenied},
        {"no interpreter line", temp_ / "no-interpreter-line", kInvalidArgument},
        {"empty", "", kInvalidArgument},
        {"NUL inside", std::string("sleep\0 30", 9), kInvalidArgument},
    };
    for (const auto& row : cases) {
        try {
            const ProcessId pid = start(row.commandLine);
            ADD_FAILURE() << row.name << ": started " << pid;
        } catch (const Failure& failure) {
            EXPECT_EQ(failure.number(), row.number) << row.name;
            EXPECT_EQ(failure.description(), runtimeDescription(row.number)) << row.name;
            EXPECT_EQ(failure.source(), kRuntimeSource) << row.name;
        }
    }
    EXPECT_TRUE(zombieChildren().empty());
}

// The number of entries NAME=... in the process's environment.
std::size_t entries(pid_t pid, const std::string& name) {
    const std::string all = '\0' + readFile("/proc/" + std::to_string(pid) + "/environ");
    std::size_t count = 0;
    for (auto at = all.find('\0' + name + '='); at != std::string::npos;
         at = all.find('\0' + name + '=', at + 1))
        ++count;
    return count;
}

// Tarn keeps the toolkit from starting a session bus when it was given none;
// the programs it starts see the environment it was given all the same.
TEST_F(PosixProcessesTest, StartedProgramsGetTheEnvironmentTarnWasGiven) {
    const std::string bus = "DBUS_SESSION_BUS_ADDRESS";
    setenv(bus.c_str(), "unix:path=/run/given", 1);
    preventSessionBusAutolaunch();  // a bus was given: nothing to prevent
    EXPECT_STREQ(std::getenv(bus.c_str()), "unix:path=/run/given");
    EXPECT_TRUE(ownVariables().empty());

    unsetenv(bus.c_str());
    preventSessionBusAutolaunch();
    EXPECT_STREQ(std::getenv(bus.c_str()), "disabled:");
    const ProcessId unset = start("sleep 30");
    ASSERT_TRUE(waitUntil([&] { return commandLineOf(unset) == Words{"sleep", "30"}; }, 10s));
    EXPECT_EQ(entries(unset, bus), 0u);

    setOwnVariable(bus, "disabled:");  // a second change keeps the first original
    setOwnVariable("TARN_OWN", "changed");
    const ProcessId kept = start("sleep 30");
    ASSERT_TRUE(waitUntil([&] { return commandLineOf(kept) == Words{"sleep", "30"}; }, 10s));
    EXPECT_EQ(entries(kept, bus), 0u);
    EXPECT_EQ(entries(kept, "TARN_OWN"), 0u);
    EXPECT_EQ(entries(kept, "PATH"), 1u);
}

// Without HOME Tarn takes the user's home from the password database for
// itself; the programs it starts still get no HOME, as Tarn was given none.
TEST_F(PosixProcessesTest, AMissingHomeIsFoundForTarnAlone) {
    const std::string home = std::getenv("HOME") ? std::getenv("HOME") : "";
    unsetenv("HOME");
    provideHomeFolder();
    const char* found = std::getenv("HOME");
    const passwd* user = getpwuid(getuid());
    ASSERT_NE(user, nullptr);
    EXPECT_STREQ(found, user->pw_dir);
    const ProcessId started = start("sleep 30");
    ASSERT_TRUE(waitUntil([&] { return commandLineOf(started) == Words{"sleep", "30"}; }, 10s));
    EXPECT_EQ(entries(started, "HOME"), 0u);
    setOwnVariable("HOME", home);
}

// An ended program of ours is collected, by the hook or when asked about as
// a zombie; left alone it would stay a zombie of this process.
TEST_F(PosixProcessesTest, AProgramThatEndsIsCollected) {
    const ProcessId reaped = start("true"), asked = start("true");
    EXPECT_TRUE(waitUntil([&] { return stateOf(asked) == 'Z'; }, 10s));
    EXPECT_EQ(processes_.open(asked), ESRCH);
    EXPECT_EQ(stateOf(asked), 0);
    EXPECT_TRUE(waitUntil(
        [&] {
            PosixProcesses::reapExited();
            return stateOf(reaped) == 0;
        },
        10s));
    errno = 0;
    EXPECT_EQ(waitpid(reaped, nullptr, WNOHANG), -1);
    EXPECT_EQ(errno, ECHILD);
    EXPECT_TRUE(zombieChildren().empty());
}

// Its own child is collected once killed, another's ends all the same; a
// PID nobody has is no such process, and Tarn's own is refused.
TEST_F(PosixProcessesTest, KillProcessEndsAStartedProgramAndOneItDidNotStart) {
    const ProcessId pid = start("sleep 30");
    Helper other({"sleep", "30"});
    for (ProcessId id : {pid, ProcessId(other.pid())}) {
        EXPECT_EQ(processes_.open(id), 0);
        EXPECT_EQ(processes_.terminate(id), 0);
    }
    EXPECT_TRUE(waitUntil([&] { return stateOf(pid) == 0; }, 5s));
    EXPECT_EQ(processes_.open(pid), ESRCH);
    EXPECT_EQ(other.waitExit(5s), 128 + SIGKILL);
    EXPECT_TRUE(zombieChildren().empty());

    int pidMax = 0;
    std::ifstream("/proc/sys/kernel/pid_max") >> pidMax;
    ASSERT_GT(pidMax, 0);
    const ProcessId unused = pidMax + 1;  // above every PID the kernel hands out
    EXPECT_EQ(processes_.open(unused), ESRCH);
    EXPECT_EQ(processes_.terminate(unused), ESRCH);
    EXPECT_EQ(processes_.currentProcess(), getpid());
    EXPECT_EQ(processes_.open(getpid()), EPERM);
    EXPECT_EQ(processes_.terminate(getpid()), EPERM);
}

// IDs of 0 and below name process groups (-1: every process that may be
// signalled). They are checked inside a PID namespace of their own, with a
// process group of their own, so that a fault could only hit a victim process
// made for the purpose, never the machine.
TEST(PosixProcessesGuard, GroupIdsNeverReachKill) {
    const pid_t sandbox = fork();
    ASSERT_GE(sandbox, 0);
    if (sandbox == 0) {
        if (unshare(CLONE_NEWPID) != 0 && unshare(CLONE_NEWUSER | CLONE_NEWPID) != 0) _exit(77);
        const pid_t init = fork();
        if (init < 0) _exit(70);
        if (init > 0) {
            int status = 0;
            waitpid(init, &status, 0);
            _exit(WIFEXITED(status) ? WEXITSTATUS(status) : 71);
        }
        // PID 1 of the new namespace, in a new process group.
        setpgid(0, 0);
        const pid_t victim = fork();
        if (victim == 0) {
            pause();
            _exit(0);
        }
        PosixProcesses processes;
        int failures = 0;
        for (ProcessId id : {0, -1, -2, INT_MIN}) {
            if (processes.open(id) != ESRCH) failures |= 1;
            if (processes.terminate(id) != ESRCH) failures |= 2;
        }
        // A fatal signal decides how a process ends as it is sent: one sent
        // above would win over this one, with no wait needed to see it.
        kill(victim, SIGUSR1);
        int status = 0;
        waitpid(victim, &status, 0);
        if (!WIFSIGNALED(status) || WTERMSIG(status) != SIGUSR1) failures |= 4;
        _exit(failures);
    }
    int status = 0;
    ASSERT_TRUE(waitUntil([&] { return waitpid(sandbox, &status, WNOHANG) == sandbox; }, 20s));
    ASSERT_TRUE(WIFEXITED(status));
    if (WEXITSTATUS(status) == 77) GTEST_SKIP() << "no PID namespace available";
    EXPECT_EQ(WEXITSTATUS(status), 0) << "1: open, 2: terminate answered, 4: victim signalled";
}

// The program started must outlive its starter: a helper process starts it
// and exits; the program is still running, in its own session, and holds none
// of its starter's descriptors, so that a reader of the starter's output (as
// in `out=$(tarn job.mcr)`) sees the end at once.
TEST(PosixProcessesLifetime, AStartedProgramOutlivesTarn) {
    // Orphans are handed to this process instead of init, so the test can
    // collect the program it ends at the close.
    ASSERT_EQ(prctl(PR_SET_CHILD_SUBREAPER, 1), 0);
    Helper starter({TARN_SPAWN_HELPER, "sleep 60"}, {}, {}, true);
    std::string line;
    ASSERT_TRUE(starter.readLine(line, 10s));
    const pid_t program = std::atoi(line.c_str());
    ASSERT_GT(program, 0) << line;
    EXPECT_EQ(starter.waitExit(10s), 0);

    EXPECT_EQ(kill(program, 0), 0);
    EXPECT_NE(stateOf(program), 'Z');
    EXPECT_NE(stateOf(program), 0);
    waitUntil([&] { return !commandLineOf(program).empty(); }, 5s);
    EXPECT_EQ(commandLineOf(program), (Words{"sleep", "60"}));
    EXPECT_EQ(getsid(program), program);
    EXPECT_TRUE(starter.readsToEnd(10s));
    // The program opens files of its own while it starts (locale data): a
    // descriptor handed down stays, those go.
    const Words nullOnly{"0=/dev/null", "1=/dev/null", "2=/dev/null"};
    EXPECT_TRUE(waitUntil([&] { return descriptorsOf(program) == nullOnly; }, 10s))
        << ::testing::PrintToString(descriptorsOf(program));

    kill(program, SIGKILL);
    EXPECT_TRUE(waitUntil([&] { return waitpid(program, nullptr, WNOHANG) == program; }, 5s));
    prctl(PR_SET_CHILD_SUBREAPER, 0);
}

}  // namespace
}  // namespace tarn::posix

// SPDX-License-Identifier: GPL-3.0-or-later
// The tarn program's command line: the conventions of a Linux program, the
// diagnostic form, the exit statuses, and a clear word when there is no X
// display to work on.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <memory>

#include "TarnProgram.h"

namespace tarn::e2e {
namespace {

// Every rule of the command line, one row each: the arguments (run in a
// folder that holds the macros below), what must come out, and the
// circumstances: the display, standard input and output, the environment.
enum class Display { Unset, Dead, Live };

struct Rule {
    const char* name;
    std::vector<std::string> args;
    int status;
    const char* out;  // standard output; "..." at its end: what it begins with
    const char* err;  // one line on standard error holding this; "": nothing
    Display display = Display::Unset;
    const char* input = nullptr;  // given through a pipe; nullptr: /dev/null
    const char* trace = nullptr;  // what t.txt holds afterwards
    std::vector<std::string> env = {};
    bool fullOutput = false;  // standard output is /dev/full
};

// Test names list the rule, not its bytes.
void PrintTo(const Rule& poRule, std::ostream* poOut) {
    *poOut << poRule.name;
}

constexpr Display kLive = Display::Live;
const std::vector<std::string> kNoRuntimeFolder{"XDG_RUNTIME_DIR="};

// clang-format off
const Rule kRules[] = {
    // The courtesies, and an output that cannot be written.
    {"Version", {"--version"}, 0, "Tarn 2.0.3\nCopyright (C) 2026 The Tarn developers\nLicense GPLv3+...", ""},
    {"ShortVersion", {"-V"}, 0, "Tarn 2.0.3\n...", ""},
    {"Help", {"--help"}, 0, "Usage: tarn [MACRO-FILE]\n...", ""},
    {"ShortHelp", {"-h"}, 0, "Usage: tarn [MACRO-FILE]\n...", ""},
    {"BundledShortOptions", {"-Vh"}, 0, "Usage: tarn [MACRO-FILE]\n...", ""},
    {"BundleWithAnUnknownLetter", {"-hx"}, 2, "", "unknown option -hx"},
    {"HelpWinsOverTheRest", {"--check", "--help"}, 0, "Usage: tarn...", ""},
    {"HelpIntoAFullDisk", {"--help"}, 2, "", "cannot write", Display::Unset, nullptr, nullptr, {}, true},
    // Usage errors: never a macro path, never a window.
    {"UnknownShortOption", {"-x"}, 2, "", "tarn: unknown option -x (try tarn --help)"},
    {"UnknownLongOption", {"--bogus", "good.mcr"}, 2, "", "unknown option --bogus"},
    {"DashWordIsNoPath", {"-odd.mcr"}, 2, "", "unknown option -odd.mcr"},
    {"ValueForASwitch", {"--batch=yes", "good.mcr"}, 2, "", "--batch takes no value"},
    {"EmptyTrace", {"--trace=", "good.mcr"}, 2, "", "--trace needs a value"},
    {"BatchWithoutMacro", {"--batch"}, 2, "", "need a macro file"},
    {"TwoActions", {"--check", "--edit", "good.mcr"}, 2, "", "cannot be used together"},
    {"EditStandardInput", {"--edit", "-"}, 2, "", "not standard input"},
    {"VerboseWithoutARun", {"--check", "-v", "good.mcr"}, 2, "", "for running a macro"},
    {"BatchWithCheck", {"--check", "--batch", "good.mcr"}, 2, "", "for running a macro"},
    {"StandardInputIsNoRun", {"-"}, 2, "", "only by --check"},
    {"SeveralMacros", {"good.mcr", "bad.mcr"}, 2, "", "one macro file at a time"},
    // --check: the diagnostic form, "--" and "-", pipes, several files.
    {"CheckFinds", {"--check", "bad.mcr"}, 1, "bad.mcr:2:6: error: Invalid procedure call or argument (Send cannot read these keys) [5]\n", ""},
    {"CheckEndOfOptions", {"--check", "--", "good.mcr", "-odd.mcr"}, 0, "", ""},
    {"OptionsAfterFiles", {"good.mcr", "--check"}, 0, "", ""},
    {"CheckStandardInput", {"--check", "-"}, 1, "<stdin>:1:1: error: Invalid macro command [1001]\n", "", Display::Unset, "Foo bar\r\n"},
    {"CheckAPipe", {"--check", "/dev/stdin"}, 0, "", "", Display::Unset, "Rem piped\r\nWait 1\r\n"},
    {"CheckUnreadable", {"--check", "missing.mcr", "good.mcr"}, 2, "", "missing.mcr: error: File not found [53]"},
    {"CheckWithoutFiles", {"--check"}, 2, "", "--check needs"},
    {"CheckIntoAFullDisk", {"--check", "bad.mcr"}, 2, "", "cannot write", Display::Unset, nullptr, nullptr, {}, true},
    // Runs: "could not start" has a status of its own, and a hint.
    {"NoDisplay", {"good.mcr"}, 3, "", "XAUTHORITY"},
    {"DeadDisplay", {"good.mcr"}, 3, "", "XAUTHORITY", Display::Dead},
    {"TraceWithEquals", {"--batch", "--trace=t.txt", "good.mcr"}, 0, "", "", kLive, nullptr, "Rem fine\r\n"},
    {"EndOfOptionsInARun", {"--batch", "--trace", "t.txt", "--", "-odd.mcr"}, 0, "", "", kLive, nullptr, "Rem odd\r\n"},
    {"BlanksJoinIntoAnExistingPath", {"--batch", "--trace=t.txt", "my", "macro.mcr"}, 0, "", "", kLive, nullptr, "Rem spaced\r\n"},
    {"APipeRuns", {"--batch", "--trace=t.txt", "/dev/stdin"}, 0, "", "", kLive, "Rem piped\r\n", "Rem piped\r\n"},
    {"BatchFromStandardInput", {"--batch", "--trace=t.txt", "-"}, 0, "", "", kLive, "Rem piped\r\n", "Rem piped\r\n"},
    {"TraceValueIsNoOption", {"--batch", "--trace", "-hV", "good.mcr"}, 0, "", "", kLive},
    {"BatchStandardInputFails", {"--batch", "-"}, 1, "", "<stdin>:2:1: error: Invalid macro command [1001]", kLive, "Rem one\r\nFoo bar\r\n"},
    {"VerboseEchoesTheTrace", {"-v", "--batch", "--trace=t.txt", "good.mcr"}, 0, "", "Rem fine", kLive, nullptr, "Rem fine\r\n"},
    // As under cron: no runtime folder, and not a word on standard error.
    {"NoRuntimeFolderStaysQuiet", {"--batch", "good.mcr"}, 0, "", "", kLive, nullptr, nullptr, kNoRuntimeFolder},
    // A batch run shows nothing and starts no windowing toolkit, whose
    // platform plugin would end the program here.
    {"BatchNeedsNoWindowToolkit", {"--batch", "good.mcr"}, 0, "", "", kLive, nullptr, nullptr, {"QT_QPA_PLATFORM=nowhere"}},
};
// clang-format on

class CommandLineRules : public ::testing::TestWithParam<Rule> {
  protected:
    static void SetUpTestSuite() { session_ = std::make_unique<testing::XSession>(); }
    static void TearDownTestSuite() { session_.reset(); }
    static std::unique_ptr<testing::XSession> session_;
};
std::unique_ptr<testing::XSession> CommandLineRules::session_;

TEST_P(CommandLineRules, Hold) {
    const Rule& rule = GetParam();
    const std::string display = rule.display == Display::Live   ? session_->display()
                                : rule.display == Display::Dead ? ":65000"
                                                                : "";
    std::vector<std::string> env = rule.env;
    env.push_back("DBUS_SESSION_BUS_ADDRESS=disabled:");
    TarnProgram tarn(display, env);
    tarn.writeMacro("good.mcr", "Rem fine\r\n");
    tarn.writeMacro("bad.mcr", "Rem one\r\nSend {BOGUS}\r\n");
    tarn.writeMacro("-odd.mcr", "Rem odd\r\n");
    tarn.writeMacro("my macro.mcr", "Rem spaced\r\n");
    if (rule.input) tarn.setInput(rule.input);
    if (rule.fullOutput) tarn.setOutput("/dev/full");
    tarn.start(rule.args);
    ASSERT_EQ(tarn.waitForExit(60s), rule.status) << tarn.err();
    std::string out = rule.out;
    const bool prefix = out.size() >= 3 && out.compare(out.size() - 3, 3, "...") == 0;
    if (prefix) out.resize(out.size() - 3);
    if (!rule.fullOutput) {
        EXPECT_EQ(prefix ? tarn.out().substr(0, out.size()) : tarn.out(), out);
    }
    const std::string err = tarn.err();
    if (*rule.err) {
        EXPECT_NE(err.find(rule.err), std::string::npos) << err;
        EXPECT_EQ(err.find('\n'), err.size() - 1) << err;  // one line
    } else {
        EXPECT_EQ(err, "");
    }
    if (rule.trace) {
        EXPECT_EQ(platformtest::readFile(tarn.folder() + "/t.txt"), rule.trace);
    }
}

INSTANTIATE_TEST_SUITE_P(Arguments, CommandLineRules, ::testing::ValuesIn(kRules),
                         [](const auto& info) { return std::string(info.param.name); });

// Memory running out is no crash: one clear line and a status of its own. The
// limit is the least a check of a small file needs, found by halving, so a
// line of a megabyte cannot be read within it.
TEST(CommandLine, OutOfMemoryIsOneLineAndStatus70) {
#if defined(TARN_SANITIZE)
    GTEST_SKIP() << "AddressSanitizer reserves terabytes of address space for its shadow "
                    "memory, so an address-space limit stops it before tarn starts";
#endif
    TarnProgram tarn("");
    const std::string small = tarn.writeMacro("small.mcr", "Rem a\n");
    const std::string big = tarn.writeMacro("big.mcr", "Rem " + std::string(1000000, 'x') + "\n");
    // tarn --check FILE with its address space limited to `limit` bytes.
    const auto check = [&](std::uint64_t limit, const std::string& file) {
        tarn.launch({"/usr/bin/prlimit", "--as=" + std::to_string(limit),
                     tarn.programFolder() + "/tarn", "--check", file});
        return tarn.waitForExit(60s);
    };
    std::uint64_t fails = 1 << 20, works = std::uint64_t(1) << 34;
    ASSERT_EQ(check(works, small), 0);
    while (works - fails > (64 << 10)) {
        const std::uint64_t middle = fails + (works - fails) / 2;
        (check(middle, small) == 0 ? works : fails) = middle;
    }
    EXPECT_EQ(check(works + (128 << 10), big), 70) << tarn.err();
    EXPECT_EQ(tarn.err(), "tarn: out of memory\n");
}

// The children of this process that are not the session's own servers, after
// collecting those that have ended.
std::vector<pid_t> strays(const testing::XSession& session) {
    std::vector<pid_t> found;
    for (const pid_t pid : testing::childrenOf(getpid())) {
        if (pid == session.serverPid() || pid == session.windowManagerPid() ||
            pid == session.busPid())
            continue;
        if (platformtest::stateOf(pid) == 'Z')
            waitpid(pid, nullptr, WNOHANG);
        else
            found.push_back(pid);
    }
    return found;
}

// Run unattended where no session bus exists (a kiosk display, a scheduler):
// nothing may stay behind, and the programs the macro starts see no bus
// either, as Tarn was given none.
TEST(Leftovers, ARunWithoutASessionBusLeavesNoProcessBehind) {
    // Orphans, such as a bus daemon started behind Tarn's back, come here.
    ASSERT_EQ(prctl(PR_SET_CHILD_SUBREAPER, 1), 0);
    testing::XSession session(testing::WindowManager::Openbox);
    TarnProgram tarn(session, {}, /*withBus=*/false);
    const std::string environment = tarn.folder() + "/environment";
    tarn.start({tarn.writeMacro("env.mcr", "Run sh -c \"env > " + environment + ".part; mv " +
                                               environment + ".part " + environment + "\"\r\n")});
    ASSERT_EQ(tarn.waitForExit(60s), 0) << tarn.err();
    ASSERT_TRUE(platformtest::waitUntil([&] { return platformtest::exists(environment); }, 10s));
    EXPECT_EQ(platformtest::readFile(environment).find("DBUS_SESSION_BUS_ADDRESS"),
              std::string::npos);
    std::vector<pid_t> left;
    EXPECT_TRUE(platformtest::waitUntil([&] { return (left = strays(session)).empty(); }, 10s))
        << ::testing::PrintToString(left);
    for (const pid_t stray : left)
        kill(stray, SIGKILL);
    platformtest::waitUntil([&] { return strays(session).empty(); }, 5s);
}

}  // namespace
}  // namespace tarn::e2e

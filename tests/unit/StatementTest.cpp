// SPDX-License-Identifier: GPL-3.0-or-later
// Single statements as Process gets them: which platform calls they make,
// which variables they leave, which failure they raise.
#include <gtest/gtest.h>

#include "Harness.h"

namespace tarn::test {
namespace {

std::string repeat(const std::string& text, int times) {
    std::string out;
    for (int i = 0; i < times; ++i)
        out += text;
    return out;
}

const std::string kInvalid = "1001 \"Invalid macro command\" at \".Process.Process\"";
const std::string kQuote = "5 \" - Missing quote in statement\" at \".ParseParameters.";
const std::string kBadArgument = "5 \"Invalid procedure call or argument\" at \"Tarn.";
const std::string kNoWindow = kBadArgument + "SetFocus.Process\"";
const std::string kStack = "28 \"Out of stack space\" at \"Tarn.";
const std::string kMismatch = "13 \"Type mismatch\" at \"Tarn.Process\"";
const std::string kExitWindows =
    "1002 \"An invalid parameter was passed to the macro intrepreter's ExitWindows command\" at "
    "\".ExitWindows.Process\"";

// Every statement runs after "p = 1002", against a few windows.
TEST(Statements, MakeTheirCallsOrFailWithTheirPath) {
    const struct {
        std::string statement;
        std::vector<std::string> calls;
        std::string failure;     // "" for none
        const char* setup = "";  // run before, its calls not checked
    } cases[] = {
        {"Run notepad.exe", {"start notepad.exe"}, ""},
        {"run \"C:/Program Files/app\" -x", {"start C:/Program Files/app\" -x"}, ""},
        {"RUN  \"xterm -T a\"  ", {"start xterm -T a"}, ""},
        {"Run \"xterm -T \"\"two words\"\"\"", {"start xterm -T \"\"two words\"\""}, ""},
        // A variable holding shell characters is passed on as text.
        {"Run arg", {"start ; rm -rf ~ $(id) | cat"}, "", "arg = \"; rm -rf ~ $(id) | cat\""},
        {"RunExecute ,readme.txt", {"execute 0|Open|readme.txt|||1"}, ""},
        {"RunExecute print,\"a,b.txt\",-x,/tmp,3", {"execute 0|print|a,b.txt|-x|/tmp|3"}, ""},
        {"RunExecute open,f,,,\"\"", {"execute 0|open|f|||1"}, ""},
        // An eleventh parameter is dropped, the call still made.
        {"RunExecute a,b,c,d,5,6,7,8,9,10,11", {"execute 0|a|b|c|d|5"}, ""},
        {"SetFocus Calc", {"setForeground 102"}, ""},
        // Case-sensitive only for an explicit true.
        {"SetFocus notepad,1,true", {}, ""},
        {"SetFocus notepad,1", {"setForeground 101"}, ""},
        {"SetFocus notepad,1,False", {"setForeground 101"}, ""},
        {"SetFocus Notepad,1,True", {"setForeground 101"}, ""},
        {"SetFocus 1001", {"activateProcess 1001", "setForeground 101"}, ""},
        {"SetFocus 1002,1,True,False", {"activateProcess 1002", "setForeground 102"}, ""},
        {"SetFocus p", {"activateProcess 1002", "setForeground 102"}, ""},
        // A hidden window is found only when the fourth parameter is false.
        {"SetFocus Helper,3", {}, ""},
        {"SetFocus Helper,3,false,false", {"setForeground 103"}, ""},
        // A minimised window is restored before it is brought forward.
        {"SetFocus Mail", {"restore 104", "setForeground 104"}, ""},
        {"CloseWindow 101", {"postClose 101"}, ""},
        {"ShutDownWindows", {"requestEnd 1"}, ""},
        {"shutdownwindows 4,TRUE", {"requestEnd 4 force"}, ""},
        {"ShutDownWindows \"2,false\"", {"requestEnd 2"}, ""},
        {"ShutDownWindows ,true", {"requestEnd 1 force"}, ""},
        {"Wait 0", {}, ""},
        {"", {}, ""},
        {"Rem Syntax: uservar = Run programName", {}, ""},
        // Only the whole word "Rem" makes a comment.
        {"Remark = Run calc", {"start calc"}, ""},
        {"Send", {}, ""},
        {"Send \"", {"type "}, ""},  // the quote comes off: an empty text
        {"Wait", {}, ""},
        {"Send\tabc", {}, ""},
        {"\t", {}, ""},
        {"Bogus", {}, ""},
        {"\t\tRun a", {"start a"}, ""},
        {"Run a\t", {"start a\t"}, ""},
        // An embedded Run inside a command's parameter starts the program.
        {"CloseWindow Run calc", {"start calc", "postClose 1000"}, ""},
        {"Bogus thing", {}, kInvalid},
        {"Send\tabc def", {}, kInvalid},
        {"GetWindowID Calc", {}, kInvalid},
        {"Remark this", {}, kInvalid},
        {"Wat = ", {}, kInvalid},
        {"= 5", {}, kInvalid},
        {"SetFocus \"Calc,1", {}, kQuote + "Process\""},
        {"RunExecute open,\"a,b", {}, kQuote + "Process\""},
        {"w = GetWindowID \"Calc,1", {}, kQuote + "GetVarValue.Process\""},
        {"Wait abc", {}, kMismatch},
        {"Wait 40000", {}, "6 \"Overflow\" at \"Tarn.Process\""},
        {"KillProcess abc", {}, kMismatch},
        {"CloseWindow x", {}, kMismatch},
        {"RunExecute ,f,,,x", {}, kMismatch},
        {"ShutDownWindows x", {}, kMismatch},
        {"Send \"\"\"", {}, kBadArgument + "GetVarValue.Process\""},
        {"x = \"", {}, kBadArgument + "GetVarValue.Process\""},
        {"ShutDownWindows 5", {}, kExitWindows},
        {"ShutDownWindows 0,true", {}, kExitWindows},
        // Nesting deep enough to exhaust the stack is refused before anything runs.
        {"Send " + repeat("+(", 50000) + "a" + repeat(")", 50000), {}, kStack + "Send.Process\""},
        {"x = " + repeat("Run ", 50000) + "calc", {}, kStack + "GetVarValue.Process\""},
        {"SetFocus 77", {"activateProcess 77"}, kNoWindow, "TimeOut 0"},
        // A title of digits only is taken as a process.
        {"SetFocus 2024", {"activateProcess 2024"}, kNoWindow, "TimeOut 0"},
        {"Send abc{NOSUCHKEY}", {}, kBadArgument + "Send.Process\""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.statement.substr(0, 60));
        Harness h;
        h.fakes.windows.windows = {{101, "Untitled - Notepad", true, false, 1001},
                                   {102, "Calculator", true, false, 1002},
                                   {103, "Hidden Helper", false, false, 1003},
                                   {104, "Mail - Inbox", true, true, 1004},
                                   {105, "2024", true, false, 99}};
        h.fakes.processes.running = {1001, 1002, 1003, 1004};
        ASSERT_FALSE(h.process("p = 1002"));
        ASSERT_FALSE(h.process(c.setup));
        h.fakes.log.clear();
        const auto failure = h.process(c.statement);
        EXPECT_EQ(failure ? describeFailure(failure) : "", c.failure);
        EXPECT_EQ(h.fakes.log, c.calls);
    }
}

TEST(Assignments, StoreTextAsTheRightHandSideGivesIt) {
    Harness h;
    h.fakes.windows.windows = {{555, "Target Window", true, false, 3003}};
    struct Assign {
        const char* statement;
        const char* name;
        const char* value;
    };
    const Assign cases[] = {
        Assign{"a = word", "a", " word"}, Assign{"b = \"word\"", "b", "word"},
        Assign{"c = 5", "c", "5"}, Assign{"d = 5.0", "d", " 5.0"}, Assign{"e = 05", "e", " 05"},
        Assign{"f = +5", "f", " +5"},
        Assign{"g = .5", "g", "0.5"},  // a number as text writes the zero before the point
        Assign{"g2 = -.5", "g2", "-0.5"}, Assign{"h = -3", "h", "-3"},
        Assign{"i = 1e3", "i", " 1e3"}, Assign{"j =\"\"", "j", ""},
        Assign{"k = a", "k", " word"},  // reads variable a
        Assign{"l = A", "l", " word"},  // names fold case
        Assign{"m = nothing", "m", " nothing"},
        Assign{"self = self", "self", ""},     // a new variable reads itself as empty
        Assign{"Send x = y", "Send x", " y"},  // "=" before any quote makes an assignment
        Assign{"n = a = b", "n", " a = b"}, Assign{"  spaced name  = 1", "spaced name", "1"},
        Assign{"Ωmega = 1", "ωMEGA", "1"},  // non-ASCII names fold case too
        Assign{"o=x", "o", "x"}, Assign{"q = \"  padded  \"", "q", "  padded  "},
        Assign{"a = changed", "a", " changed"},  // an existing variable changes value

        // Embedded commands give their results.
        Assign{"pid = Run  xterm -T x", "pid", "1000"}, Assign{"prog = \"gedit\"", "prog", "gedit"},
        Assign{"pid2 = run prog", "pid2", "1001"},  // the variable's value is the program
        Assign{"w = GetWindowID Target", "w", "555"},
        Assign{"owner = GetProcessID w", "owner", "3003"},
        Assign{"none = GetProcessID 999", "none", "0"},
        Assign{"w2 = GetWindowID \"target window\",2", "w2", "555"}};
    for (const auto& c : cases) {
        ASSERT_EQ(describeFailure(h.process(c.statement)), "no failure") << c.statement;
        EXPECT_EQ(h.var(c.name), c.value) << c.statement;
    }
    EXPECT_EQ(h.macro.Variables().Lookup("A"), 1);
    EXPECT_EQ(h.macro.Variables().name(1), "a");
    EXPECT_EQ((std::vector<std::string>{"start xterm -T x", "start gedit"}), h.fakes.log);
    EXPECT_EQ(describeFailure(h.process("bad = GetProcessID nonsense")),
              "13 \"Type mismatch\" at \"Tarn.GetVarValue.Process\"");
}

TEST(Assignments, TheHundredAndFirstVariableFails) {
    Harness h;
    for (int i = 1; i <= 100; ++i)
        ASSERT_FALSE(h.process("v" + std::to_string(i) + " = " + std::to_string(i)));
    EXPECT_EQ(h.var("v100"), "100");
    ASSERT_FALSE(h.process("v50 = changed"));  // an existing name still takes a value
    EXPECT_EQ(describeFailure(h.process("v101 = 1")),
              "9 \"Subscript out of range\" at \"Tarn.Process\"");
    EXPECT_EQ(h.var("v101"), "<unset>");
}

// Each statement runs in turn in one harness; "" when it types nothing.
TEST(Values, SendTypesWhatTheValueGives) {
    const struct {
        const char* statement;
        const char* typed;
    } cases[] = {
        {"Name = \"Ann\"", ""},
        {"Send NAME", "Ann"},
        {"Send \"name\"", "Ann"},       // quotes come off first: a variable again
        {"Send \"\"name\"\"", "name"},  // a quoted literal inside
        {"Send x=1", ""},               // an assignment to "Send x"
        {"Send \"a=b\"", "a=b"},
        {"Send =", "="},
        {"x = .5", ""},
        {"Send x", "0.5"},
        {"Send -.5", "-0.5"},
    };
    Harness h;
    for (const auto& c : cases) {
        h.fakes.keyboard.typed.clear();
        ASSERT_FALSE(h.process(c.statement)) << c.statement;
        std::string text;
        for (const KeySequence& keys : h.fakes.keyboard.typed)
            for (const KeyEvent& e : keys)
                if (e.key == Key::Character && e.type == KeyEvent::Type::Press)
                    text += static_cast<char>(e.character);
        EXPECT_EQ(text, c.typed) << c.statement;
    }
    EXPECT_EQ(h.var("Send x"), "1");
}

TEST(Values, TimeOutTakesTheLeadingNumberRoundedHalfToEven) {
    const struct {
        const char* statement;
        int timeout;
    } cases[] = {{"TimeOut 12.5", 12},       {"TimeOut 13.5", 14}, {"TimeOut abc", 0},
                 {"TimeOut 10 seconds", 10}, {"TimeOut -5", -5},   {"TimeOut \"7\"", 7},
                 {"TimeOut &H10", 16},       {"TimeOut secs", 12}};
    for (const auto& c : cases) {
        Harness h;
        ASSERT_FALSE(h.process("secs = 12.5"));  // the time-out may come from a variable
        ASSERT_FALSE(h.process(c.statement)) << c.statement;
        EXPECT_EQ(h.macro.TimeOut(), c.timeout) << c.statement;
    }
}

}  // namespace
}  // namespace tarn::test

// SPDX-License-Identifier: GPL-3.0-or-later
// Single statements as Process gets them: which platform calls they make,
// which variables they leave, which failure they raise.
#include <gtest/gtest.h>

#include "Harness.h"

namespace tarn::test {
namespace {

struct Case {
    std::vector<std::string> setup;  // statements run before, their calls not checked
    std::string statement;
    std::vector<std::string> calls;  // expected platform calls of the statement
    std::string failure;             // expected failure, "" for none
};

std::string repeat(const std::string& text, int times) {
    std::string out;
    for (int i = 0; i < times; ++i)
        out += text;
    return out;
}

void check(const Case& c) {
    Harness h;
    h.fakes.windows.windows = {{101, "Untitled - Notepad", true, false, 1001},
                               {102, "Calculator", true, false, 1002}};
    h.fakes.processes.running = {1001, 1002};
    for (const std::string& line : c.setup) {
        ASSERT_EQ(describeFailure(h.process(line)), "no failure") << line;
    }
    h.fakes.log.clear();
    const auto failure = h.process(c.statement);
    EXPECT_EQ(failure ? describeFailure(failure) : "", c.failure) << c.statement;
    EXPECT_EQ(h.fakes.log, c.calls) << c.statement;
}

TEST(Statements, CommandsReachTheirMembers) {
    const Case cases[] = {
        {{}, "Run notepad.exe", {"start notepad.exe"}, ""},
        {{}, "run \"C:/Program Files/app\" -x", {"start C:/Program Files/app\" -x"}, ""},
        {{}, "RUN  \"xterm -T a\"  ", {"start xterm -T a"}, ""},
        {{}, "RunExecute ,readme.txt", {"execute 0|Open|readme.txt|||1"}, ""},
        {{}, "RunExecute print,\"a,b.txt\",-x,/tmp,3", {"execute 0|print|a,b.txt|-x|/tmp|3"}, ""},
        {{}, "RunExecute open,f,,,\"\"", {"execute 0|open|f|||1"}, ""},
        {{}, "SetFocus Calc", {"setForeground 102"}, ""},
        // Case-sensitive only for an explicit true: no match, the search times out.
        {{}, "SetFocus notepad,1,true", {}, ""},
        {{}, "SetFocus notepad,1", {"setForeground 101"}, ""},
        {{}, "SetFocus notepad,1,False", {"setForeground 101"}, ""},
        {{}, "SetFocus Notepad,1,True", {"setForeground 101"}, ""},
        {{}, "SetFocus 1001", {"activateProcess 1001", "setForeground 101"}, ""},
        {{}, "SetFocus 1002,1,True,False", {"activateProcess 1002", "setForeground 102"}, ""},
        {{"p = 1002"}, "SetFocus p", {"activateProcess 1002", "setForeground 102"}, ""},
        {{}, "CloseWindow 101", {"postClose 101"}, ""},
        {{}, "KillProcess 1001", {"open 1001", "terminate 1001"}, ""},
        {{}, "ShutDownWindows", {"requestEnd 1"}, ""},
        {{}, "shutdownwindows 4,TRUE", {"requestEnd 4 force"}, ""},
        {{}, "ShutDownWindows \"2,false\"", {"requestEnd 2"}, ""},
        {{}, "ShutDownWindows ,true", {"requestEnd 1 force"}, ""},
        {{}, "Wait 0", {}, ""},
        {{}, "Rem Syntax: uservar = Run programName", {}, ""},
        {{}, "REM Syntax: uservar = GetProcessID windowID", {}, ""},
        // Only the whole word "Rem" makes a comment.
        {{}, "Remark = Run calc", {"start calc"}, ""},
        {{}, "Send", {}, ""},
        {{}, "Wait", {}, ""},
        {{}, "Send\tabc", {}, ""},
        {{}, "", {}, ""},
        {{}, "\t", {}, ""},
        {{}, "Bogus", {}, ""},
        {{}, "\t\tRun a", {"start a"}, ""},
        {{}, "Run a\t", {"start a\t"}, ""},
        // An embedded Run inside a command's parameter starts the program.
        {{}, "CloseWindow Run calc", {"start calc", "postClose 1000"}, ""},
    };
    for (const Case& c : cases)
        check(c);
}

TEST(Statements, FailuresCarryTheirPath) {
    const Case cases[] = {
        {{}, "Bogus thing", {}, "1001 \"Invalid macro command\" at \".Process.Process\""},
        {{}, "Send\tabc def", {}, "1001 \"Invalid macro command\" at \".Process.Process\""},
        {{}, "GetWindowID Calc", {}, "1001 \"Invalid macro command\" at \".Process.Process\""},
        {{}, "Remark this", {}, "1001 \"Invalid macro command\" at \".Process.Process\""},
        {{}, "Wat = ", {}, "1001 \"Invalid macro command\" at \".Process.Process\""},
        {{}, "= 5", {}, "1001 \"Invalid macro command\" at \".Process.Process\""},
        {{},
         "SetFocus \"Calc,1",
         {},
         "5 \" - Missing quote in statement\" at \".ParseParameters.Process\""},
        {{},
         "RunExecute open,\"a,b",
         {},
         "5 \" - Missing quote in statement\" at \".ParseParameters.Process\""},
        {{},
         "w = GetWindowID \"Calc,1",
         {},
         "5 \" - Missing quote in statement\" at \".ParseParameters.GetVarValue.Process\""},
        {{}, "Wait abc", {}, "13 \"Type mismatch\" at \"Tarn.Process\""},
        {{}, "Wait 40000", {}, "6 \"Overflow\" at \"Tarn.Process\""},
        {{}, "KillProcess abc", {}, "13 \"Type mismatch\" at \"Tarn.Process\""},
        {{}, "CloseWindow x", {}, "13 \"Type mismatch\" at \"Tarn.Process\""},
        {{}, "RunExecute ,f,,,x", {}, "13 \"Type mismatch\" at \"Tarn.Process\""},
        {{}, "ShutDownWindows x", {}, "13 \"Type mismatch\" at \"Tarn.Process\""},
        {{},
         "Send \"\"\"",
         {},
         "5 \"Invalid procedure call or argument\" at \"Tarn.GetVarValue.Process\""},
        {{},
         "x = \"",
         {},
         "5 \"Invalid procedure call or argument\" at \"Tarn.GetVarValue.Process\""},
        {{},
         "ShutDownWindows 5",
         {},
         "1002 \"An invalid parameter was passed to the macro intrepreter's ExitWindows "
         "command\" at \".ExitWindows.Process\""},
        {{},
         "ShutDownWindows 0,true",
         {},
         "1002 \"An invalid parameter was passed to the macro intrepreter's ExitWindows "
         "command\" at \".ExitWindows.Process\""},
        {{},
         "KillProcess 77",
         {"open 77"},
         "1008 \"OpenProcess Error 3\" at \".GetAdjustedProcessHandle.Process\""},
        // Nesting deep enough to exhaust the stack is refused before anything runs.
        {{},
         "Send " + repeat("+(", 50000) + "a" + repeat(")", 50000),
         {},
         "28 \"Out of stack space\" at \"Tarn.Send.Process\""},
        {{},
         "x = " + repeat("Run ", 50000) + "calc",
         {},
         "28 \"Out of stack space\" at \"Tarn.GetVarValue.Process\""},
        {{"TimeOut 0"},
         "SetFocus 77",
         {"activateProcess 77"},
         "5 \"Invalid procedure call or argument\" at \"Tarn.SetFocus.Process\""},
    };
    for (const Case& c : cases)
        check(c);
}

TEST(Assignments, StoreTextAsTheRightHandSideGivesIt) {
    Harness h;
    const struct {
        const char* statement;
        const char* name;
        const char* value;
    } cases[] = {
        {"a = word", "a", " word"},
        {"b = \"word\"", "b", "word"},
        {"c = 5", "c", "5"},
        {"d = 5.0", "d", " 5.0"},
        {"e = 05", "e", " 05"},
        {"f = +5", "f", " +5"},
        {"g = .5", "g", "0.5"},  // a number as text writes the zero before the point
        {"g2 = -.5", "g2", "-0.5"},
        {"h = -3", "h", "-3"},
        {"i = 1e3", "i", " 1e3"},
        {"j =\"\"", "j", ""},
        {"k = a", "k", " word"},  // reads variable a
        {"l = A", "l", " word"},  // names fold case
        {"m = nothing", "m", " nothing"},
        {"self = self", "self", ""},     // a new variable reads itself as empty
        {"Send x = y", "Send x", " y"},  // "=" before any quote makes an assignment
        {"n = a = b", "n", " a = b"},
        {"  spaced name  = 1", "spaced name", "1"},
        {"Ωmega = 1", "ωMEGA", "1"},  // non-ASCII names fold case too
        {"o=x", "o", "x"},
        {"q = \"  padded  \"", "q", "  padded  "},
        {"a = changed", "a", " changed"},  // an existing variable changes value
    };
    for (const auto& c : cases) {
        ASSERT_EQ(describeFailure(h.process(c.statement)), "no failure") << c.statement;
        EXPECT_EQ(h.var(c.name), c.value) << c.statement;
    }
    EXPECT_EQ(h.macro.Variables().Lookup("A"), 1);
    EXPECT_EQ(h.macro.Variables().name(1), "a");
}

TEST(Assignments, EmbeddedCommandsGiveTheirResults) {
    Harness h;
    h.fakes.windows.windows = {{555, "Target Window", true, false, 3003}};
    ASSERT_FALSE(h.process("pid = Run  xterm -T x"));
    EXPECT_EQ(h.var("pid"), "1000");
    ASSERT_FALSE(h.process("prog = \"gedit\""));
    ASSERT_FALSE(h.process("pid2 = run prog"));  // the variable's value is the program
    ASSERT_FALSE(h.process("w = GetWindowID Target"));
    EXPECT_EQ(h.var("w"), "555");
    ASSERT_FALSE(h.process("owner = GetProcessID w"));
    EXPECT_EQ(h.var("owner"), "3003");
    ASSERT_FALSE(h.process("none = GetProcessID 999"));
    EXPECT_EQ(h.var("none"), "0");
    ASSERT_FALSE(h.process("w2 = GetWindowID \"target window\",2"));
    EXPECT_EQ(h.var("w2"), "555");
    EXPECT_EQ(describeFailure(h.process("bad = GetProcessID nonsense")),
              "13 \"Type mismatch\" at \"Tarn.GetVarValue.Process\"");
    EXPECT_EQ((std::vector<std::string>{"start xterm -T x", "start gedit"}), h.fakes.log);
}

TEST(Assignments, TheHundredAndFirstVariableFails) {
    Harness h;
    for (int i = 1; i <= 100; ++i) {
        ASSERT_FALSE(h.process("v" + std::to_string(i) + " = " + std::to_string(i)));
    }
    EXPECT_EQ(h.var("v100"), "100");
    ASSERT_FALSE(h.process("v50 = changed"));  // an existing name still takes a value
    EXPECT_EQ(describeFailure(h.process("v101 = 1")),
              "9 \"Subscript out of range\" at \"Tarn.Process\"");
    EXPECT_EQ(h.var("v101"), "<unset>");
}

TEST(Values, SendTypesWhatTheValueGives) {
    Harness h;
    ASSERT_FALSE(h.process("Name = \"Ann\""));
    ASSERT_FALSE(h.process("Send NAME"));
    ASSERT_FALSE(h.process("Send \"name\""));      // quotes come off first: a variable again
    ASSERT_FALSE(h.process("Send \"\"name\"\""));  // a quoted literal inside
    ASSERT_FALSE(h.process("Send x=1"));           // no: that is an assignment to "Send x"
    ASSERT_FALSE(h.process("Send \"a=b\""));
    ASSERT_FALSE(h.process("Send ="));
    ASSERT_FALSE(h.process("x = .5"));
    ASSERT_FALSE(h.process("Send x"));
    ASSERT_FALSE(h.process("Send -.5"));
    ASSERT_EQ(h.fakes.keyboard.typed.size(), 7u);
    const auto text = [&](std::size_t i) {
        std::string out;
        for (const KeyEvent& e : h.fakes.keyboard.typed[i]) {
            if (e.key == Key::Character && e.type == KeyEvent::Type::Press) {
                out += static_cast<char>(e.character);
            }
        }
        return out;
    };
    EXPECT_EQ(text(0), "Ann");
    EXPECT_EQ(text(1), "Ann");
    EXPECT_EQ(text(2), "name");
    EXPECT_EQ(text(3), "a=b");
    EXPECT_EQ(text(4), "=");
    EXPECT_EQ(text(5), "0.5");
    EXPECT_EQ(text(6), "-0.5");
    EXPECT_EQ(h.var("Send x"), "1");
}

TEST(Values, TimeOutTakesTheLeadingNumberRoundedHalfToEven) {
    const struct {
        const char* statement;
        int timeout;
    } cases[] = {{"TimeOut 12.5", 12},       {"TimeOut 13.5", 14}, {"TimeOut abc", 0},
                 {"TimeOut 10 seconds", 10}, {"TimeOut -5", -5},   {"TimeOut \"7\"", 7},
                 {"TimeOut &H10", 16}};
    for (const auto& c : cases) {
        Harness h;
        ASSERT_FALSE(h.process(c.statement)) << c.statement;
        EXPECT_EQ(h.macro.TimeOut(), c.timeout) << c.statement;
    }
    // The time-out may come from a variable.
    Harness h;
    ASSERT_FALSE(h.process("secs = 12.5"));
    ASSERT_FALSE(h.process("TimeOut secs"));
    EXPECT_EQ(h.macro.TimeOut(), 12);
}

TEST(Values, SendFailsAndTypesNothingForABadKeyString) {
    Harness h;
    EXPECT_EQ(describeFailure(h.process("Send abc{NOSUCHKEY}")),
              "5 \"Invalid procedure call or argument\" at \"Tarn.Send.Process\"");
    EXPECT_TRUE(h.fakes.keyboard.typed.empty());
}

}  // namespace
}  // namespace tarn::test

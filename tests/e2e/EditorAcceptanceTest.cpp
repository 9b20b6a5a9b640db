// SPDX-License-Identifier: GPL-3.0-or-later
// Acceptance: the macro editor in the real tarn program under Xvfb with
// openbox, driven by real key and mouse events: a macro written in the editor,
// saved through the real file dialog, run from the player and read back in the
// trace viewer.

#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <functional>
#include <sstream>

#include "TarnProgram.h"

namespace tarn::e2e {
namespace {

using testing::WindowManager;
using testing::XSession;

// Places of the player's controls, in twips from the left of its design.
constexpr int kEditX = 5550, kViewTraceX = 6150, kStartX = 6750;

TEST(EditorAcceptance, MacroWrittenSavedRunAndItsTraceViewed) {
    XSession session{WindowManager::Openbox};
    Desktop desktop{session};
    // The file dialog and accessibility would look for a session bus.
    TarnProgram tarn(session, {"DBUS_SESSION_BUS_ADDRESS=disabled:"});
    tarn.start();
    const WindowId player = desktop.waitForWindow("Tarn - Interactive Screen");
    desktop.activate(player);
    desktop.clickPlayer(player, kEditX);

    const WindowId editor = desktop.waitForWindow("Untitled - Tarn Macro Editor");
    const std::string saved = tarn.folder() + "/typed.mcr";
    // Qt takes a window's activation some time after the server gave it the
    // focus, and a shortcut typed in between reaches the text area instead,
    // which drops it: a shortcut is typed again until what it does is seen.
    // Each attempt activates the editor again, as a window that had just
    // been opened (the trace viewer) may have taken the focus meanwhile.
    const auto press = [&](const std::string& keys, const std::function<bool()>& done) {
        // Long enough under load that a menu key's popup is not toggled shut
        // by the next attempt.
        for (int attempt = 0; attempt < 4; ++attempt) {
            desktop.activate(editor);
            desktop.type(keys);
            if (testing::waitUntil(done, 5s)) return;
        }
        FAIL() << keys << " was not taken";
    };
    // A menu's popup is a shown override-redirect window over the editor.
    // (Qt does not always give it a menu's window type, and counting the shown
    // windows miscounts while a closed dialog is still being unmapped.)
    char overEditor[48];
    std::snprintf(overEditor, sizeof overEditor, "window id # 0x%llx",
                  static_cast<unsigned long long>(editor));
    const auto menuShown = [&] {
        const std::string ids =
            session.run({"xdotool", "search", "--onlyvisible", "--classname", "tarn"}).output;
        std::istringstream lines(ids);
        for (std::string id; std::getline(lines, id);) {
            const std::string about =
                session
                    .run({"sh", "-c", "xprop -id \"$0\" WM_TRANSIENT_FOR; xwininfo -id \"$0\"", id})
                    .output;
            if (about.find(overEditor) != std::string::npos &&
                about.find("Override Redirect State: yes") != std::string::npos)
                return true;
        }
        return false;
    };
    const auto openMenu = [&](const char* key) { press(key, menuShown); };

    desktop.activate(editor);
    desktop.type("Rem caf\xC3\xA9 from the editor{ENTER}x = 1{ENTER}Wait 0");
    press("^s", [&] { return desktop.windowExists("Save Macro File"); });
    const WindowId dialog = desktop.waitForWindow("Save Macro File");
    desktop.activate(dialog);
    // The name without its extension: the dialog of the macro filter adds ".mcr".
    desktop.type(tarn.folder() + "/typed{ENTER}");
    desktop.waitForWindow("typed.mcr - Tarn Macro Editor");
    EXPECT_EQ(platformtest::readFile(saved), "Rem caf\xC3\xA9 from the editor\r\nx = 1\r\nWait 0");

    // The run wait box sets the wait of later templates (Wizard, Run below).
    // Keys are typed once it has gone and the editor has the focus again: the
    // server gives it back after the window manager, at no moment a test
    // could wait for from inside the typing.
    openMenu("%w");
    desktop.type("os");
    desktop.activate(desktop.waitForWindow("Set Default Run Wait Time"));
    desktop.type("7{ENTER}");
    ASSERT_TRUE(testing::waitUntil(
        [&] { return !desktop.windowExists("Set Default Run Wait Time"); }, 10s));
    desktop.activate(editor);
    desktop.type("{ENTER}Wait 0");
    press("^s", [&] {
        return platformtest::readFile(saved) ==
               "Rem caf\xC3\xA9 from the editor\r\nx = 1\r\nWait 0\r\nWait 0";
    });

    // The find dialog has a fixed size: it asks for no minimise or maximise
    // button (functions and decorations of its Motif hints) and cannot be
    // maximised. (openbox offers minimise for every dialog whatever it asks.)
    press("^f", [&] { return desktop.windowExists("Find"); });
    const WindowId find = desktop.waitForWindow("Find");
    const auto property = [&](const char* name) {
        return session.run({"xprop", "-id", std::to_string(find), name}).output;
    };
    const std::string motif = property("_MOTIF_WM_HINTS");
    unsigned flags = 0, functions = 0, decorations = 0;
    ASSERT_EQ(std::sscanf(motif.c_str(), "_MOTIF_WM_HINTS(_MOTIF_WM_HINTS) = %x, %x, %x", &flags,
                          &functions, &decorations),
              3)
        << motif;
    EXPECT_EQ(flags & 3u, 3u) << motif;           // functions and decorations given
    EXPECT_EQ(functions & 0x19u, 0u) << motif;    // neither all, minimise nor maximise
    EXPECT_EQ(decorations & 0x61u, 0u) << motif;  // nor their buttons
    EXPECT_EQ(property("_NET_WM_ALLOWED_ACTIONS").find("MAXIMIZE"), std::string::npos);
    desktop.activate(find);
    desktop.type("{ESC}");

    // The saved path is in the player's file box: Start runs it.
    desktop.activate(player);
    desktop.clickPlayer(player, kStartX);
    const std::string trace = "Rem caf\xC3\xA9 from the editor\r\nx = 1\r\nWait 0\r\nWait 0\r\n";
    EXPECT_TRUE(testing::waitUntil([&] { return tarn.trace() == trace; }, 20s)) << tarn.trace();

    desktop.clickPlayer(player, kViewTraceX);
    desktop.waitForWindow("TarnTrace.txt - Tarn Trace File Viewer");
    EXPECT_TRUE(desktop.windowExists("typed.mcr - Tarn Macro Editor"));

    // The Run dialog proposes the program chosen last, selected, so that
    // typing replaces it.
    for (const char* program : {"/bin/sh", "/bin/true"}) {
        openMenu("%w");
        desktop.type("{DOWN}{ENTER}");
        const WindowId run = desktop.waitForWindow("Find Program To Run");
        desktop.activate(run);
        desktop.type(std::string(program) + "{ENTER}");
        EXPECT_TRUE(
            testing::waitUntil([&] { return !desktop.windowExists("Find Program To Run"); }, 10s))
            << program;
        if (desktop.windowExists("Find Program To Run")) desktop.type("{ESC}");
    }
    press("^s", [&] {
        const std::string text = platformtest::readFile(saved);
        return text.find("Run \"/bin/true\"\r\nWait 7\r\n") != std::string::npos;
    });

    // Closing the player closes the editor (unchanged: no question) and the viewer.
    desktop.activate(player);
    desktop.type("%{F4}");
    EXPECT_EQ(tarn.waitForExit(20s), 0) << tarn.err();
}

// Unsaved text outlives an editor killed in the middle of an edit: the next
// run offers it.
TEST(EditorAcceptance, UnsavedTextSurvivesAKilledEditor) {
    XSession session{WindowManager::Openbox};
    Desktop desktop{session};
    platformtest::TempDir state{"tarn-state"};
    TarnProgram tarn(session,
                     {"DBUS_SESSION_BUS_ADDRESS=disabled:", "XDG_STATE_HOME=" + state.path()});
    const std::string copies = state.path() + "/Tarn";
    const auto copyHolds = [&](const std::string& text) {
        const std::string out =
            session.run({"sh", "-c", "cat \"$0\"/*.unsaved 2>/dev/null", copies}).output;
        return out.find(text) != std::string::npos;
    };
    const auto openEditor = [&] {
        // Away from the button: a pointer already where the click goes moves
        // nowhere, and the click's wait for the move would fail.
        session.run({"xdotool", "mousemove", "0", "0"});
        const WindowId player = desktop.waitForWindow("Tarn - Interactive Screen");
        desktop.activate(player);
        desktop.clickPlayer(player, kEditX);
    };
    tarn.start();
    openEditor();
    const WindowId editor = desktop.waitForWindow("Untitled - Tarn Macro Editor");
    desktop.activate(editor);
    desktop.type("Rem kept through a kill{ENTER}Wait 1");
    ASSERT_TRUE(
        testing::waitUntil([&] { return copyHolds("Rem kept through a kill\nWait 1"); }, 20s));
    ::kill(tarn.pid(), SIGKILL);
    ASSERT_TRUE(tarn.waitForExit(20s).has_value());
    // The server has destroyed the killed program's windows.
    ASSERT_TRUE(testing::waitUntil(
        [&] { return !desktop.windowExists("Tarn - Interactive Screen"); }, 10s));

    tarn.start();
    openEditor();
    const WindowId question = desktop.waitForWindow("Tarn Macro Editor");
    // Yes is the default answer.
    desktop.activate(question);
    desktop.type("{ENTER}");
    ASSERT_TRUE(
        testing::waitUntil([&] { return !desktop.windowExists("Tarn Macro Editor"); }, 10s));
    // The text is back, unsaved: Save asks for a name and writes it.
    const WindowId back = desktop.waitForWindow("Untitled - Tarn Macro Editor");
    const std::string saved = tarn.folder() + "/kept.mcr";
    for (int attempt = 0; attempt < 4 && !desktop.windowExists("Save Macro File"); ++attempt) {
        desktop.activate(back);
        desktop.type("^s");
        testing::waitUntil([&] { return desktop.windowExists("Save Macro File"); }, 5s);
    }
    desktop.activate(desktop.waitForWindow("Save Macro File"));
    desktop.type(saved + "{ENTER}");
    desktop.waitForWindow("kept.mcr - Tarn Macro Editor");
    EXPECT_EQ(platformtest::readFile(saved), "Rem kept through a kill\r\nWait 1");
    // Saved, the copies are gone: the old one and this run's.
    EXPECT_TRUE(testing::waitUntil(
        [&] {
            return session.run({"sh", "-c", "ls \"$0\" | grep -c unsaved", copies}).output == "0\n";
        },
        10s));
    ::kill(tarn.pid(), SIGKILL);
    tarn.waitForExit(20s);
}

}  // namespace
}  // namespace tarn::e2e

// SPDX-License-Identifier: GPL-3.0-or-later
// GioDocuments against a real GIO lookup: a MIME database and desktop entries
// made by the test in a temporary XDG tree, programs that record how they were
// started, and CUPS's lp (or a stand-in for it on PATH).
//
// GIO reads the XDG folders once, at its first use, so the environment is set
// up by a global test environment before any test runs; every test case runs
// in a process of its own (gtest_discover_tests), so each one gets it fresh.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <memory>

#include "GioDocuments.h"
#include "OwnEnvironment.h"
#include "PlatformTestSupport.h"
#include "PosixSpawn.h"

namespace tarn::gio {
namespace {

using namespace tarn::platformtest;
using Lines = std::vector<std::string>;

// Writes "app=", one "arg=" line per argument, "cwd=" and whether it leads a
// session of its own (so that it outlives Tarn and Tarn's terminal) to the
// file named by TARN_RECORD (made whole at once, so a reader never sees half
// of it).
constexpr const char* kRecorder =
    "#!/bin/sh\n"
    "{ printf 'app=%s\\n' \"$TARN_APP_TAG\"\n"
    "  for a in \"$@\"; do printf 'arg=%s\\n' \"$a\"; done\n"
    "  printf 'cwd=%s\\n' \"$(pwd)\"\n"
    "  sid=$(cut -d' ' -f6 /proc/$$/stat)\n"
    "  [ \"$sid\" = $$ ] && echo own-session=yes || echo own-session=no\n"
    "  } > \"$TARN_RECORD.part\"\n"
    "mv \"$TARN_RECORD.part\" \"$TARN_RECORD\"\n";

// Records its PID in the file named by TARN_RECORD and becomes a program that
// stays, with exactly the descriptors it was started with.
constexpr const char* kHolder =
    "#!/bin/sh\n"
    "echo $$ > \"$TARN_RECORD.part\"\n"
    "mv \"$TARN_RECORD.part\" \"$TARN_RECORD\"\n"
    "exec sleep 30\n";

class XdgTree : public ::testing::Environment {
  public:
    static XdgTree* instance;
    std::unique_ptr<TempDir> root;
    std::string docs, bin, ownFolder, cwd;

    void SetUp() override {
        root = std::make_unique<TempDir>("tarn-gio");
        const std::string& r = root->path();
        isolateGio(r);
        for (const char* folder :
             {"data/applications", "data/mime/packages", "bin", "docs/sub dir", "own", "cwd"})
            makeFolder(r + "/" + folder);
        docs = r + "/docs";
        bin = r + "/bin";
        ownFolder = r + "/own";
        cwd = r + "/cwd";
        unsetenv("DESKTOP_STARTUP_ID");
        // lp talks to a scheduler that does not exist: no printer, ever.
        setenv("CUPS_SERVER", (r + "/no-cups.sock").c_str(), 1);
        if (chdir(cwd.c_str()) != 0) FAIL() << "chdir";

        writeFile(bin + "/record.sh", kRecorder, 0755);
        std::string mime =
            "<?xml version=\"1.0\"?>\n<mime-info "
            "xmlns=\"http://www.freedesktop.org/standards/shared-mime-info\">\n";
        // Documents with a program, one whose program has its own folder or
        // stays, and one without a program.
        for (const char* kind : {"test", "pathed", "hold", "orphan"})
            mime += std::string("<mime-type type=\"application/x-tarn-") + kind +
                    "\"><glob pattern=\"*.tarn" + kind + "\"/></mime-type>\n";
        writeFile(r + "/data/mime/packages/tarn-test.xml", mime + "</mime-info>\n");
        Helper update({"update-mime-database", r + "/data/mime"});
        ASSERT_EQ(update.waitExit(30s), 0) << "update-mime-database";

        desktopEntry("tarn-documents", "documents", "application/x-tarn-test;", "%f");
        desktopEntry("tarn-files", "files", "inode/directory;", "%f");
        desktopEntry("tarn-links", "links", "x-scheme-handler/tarntest;", "%u");
        writeFile(bin + "/hold.sh", kHolder, 0755);
        writeFile(r + "/data/applications/tarn-holder.desktop",
                  "[Desktop Entry]\nType=Application\nName=holder\nExec=" + bin +
                      "/hold.sh %f\nMimeType=application/x-tarn-hold;\n");
        desktopEntry("tarn-pathed", "pathed", "application/x-tarn-pathed;", "%f",
                     "Path=" + ownFolder + "\n");
        // GIO learns which entry handles which type from mimeinfo.cache, as
        // a distribution's package triggers keep it.
        Helper index({"update-desktop-database", r + "/data/applications"});
        ASSERT_EQ(index.waitExit(30s), 0) << "update-desktop-database";

        writeFile(docs + "/report.tarntest", "report\n");
        writeFile(docs + "/my report.tarntest", "report with a space\n");
        writeFile(docs + "/sub dir/inner.tarntest", "inner\n");
        writeFile(docs + "/lonely.tarnorphan", "nobody opens me\n");
        writeFile(docs + "/orphan-script", "#!/no/such/interpreter\n", 0755);
        writeFile(docs + "/settings.tarnpathed", "pathed\n");
        writeFile(docs + "/kept.tarnhold", "held\n");
        // Execute permission alone does not make a document a program.
        writeFile(docs + "/executable.tarntest", "just a document\n", 0755);
        instance = this;
    }

    void TearDown() override { root.reset(); }

    void desktopEntry(const std::string& id, const std::string& tag, const std::string& types,
                      const std::string& field, const std::string& extra = {}) {
        writeFile(root->path() + "/data/applications/" + id + ".desktop",
                  "[Desktop Entry]\nType=Application\nName=" + id +
                      "\nExec=env TARN_APP_TAG=" + tag + " " + bin + "/record.sh " + field +
                      "\nMimeType=" + types + "\n" + extra);
    }
};
XdgTree* XdgTree::instance = nullptr;

class GioDocumentsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        tree_ = XdgTree::instance;
        ASSERT_NE(tree_, nullptr);
        record_ = tree_->root->path() + "/record-" + std::to_string(++serial_);
        setenv("TARN_RECORD", record_.c_str(), 1);
    }

    // What the started program recorded, once it has.
    Lines recorded() {
        if (!waitUntil([&] { return exists(record_); }, 10s)) return {"(nothing recorded)"};
        return lines(readFile(record_));
    }

    int execute(const std::string& operation, const std::string& file,
                const std::string& parameters = {}, const std::string& startDirectory = {}) {
        return documents_.execute(0, operation, file, parameters, startDirectory, 1);
    }

    XdgTree* tree_ = nullptr;
    GioDocuments documents_;
    std::string record_;
    static inline int serial_ = 0;
};

TEST_F(GioDocumentsTest, OpensWithTheAssociatedProgram) {
    const std::string docs = tree_->docs;
    const std::string cwd = tree_->cwd;
    const struct {
        const char* name;
        const char* operation;
        std::string file, startDirectory;
        const char* app;  // what the started program records: app, argument, folder
        std::string argument, folder;
    } cases[] = {
        {"relative to the start folder", "open", "report.tarntest", docs, "documents",
         docs + "/report.tarntest", docs},
        {"empty operation", "", docs + "/my report.tarntest", "", "documents",
         docs + "/my report.tarntest", cwd},
        {"relative to the current folder", "Open", "../docs/sub dir/inner.tarntest", "",
         "documents", docs + "/sub dir/inner.tarntest", cwd},
        {"execute permission on a document", "open", "executable.tarntest", docs, "documents",
         docs + "/executable.tarntest", docs},
        {"a folder opens in the file manager", "open", "sub dir", docs, "files", docs + "/sub dir",
         docs},
        {"explore", "Explore", docs + "/sub dir", "", "files", docs + "/sub dir", cwd},
        {"a URI", "open", "tarntest://host/some%20thing?x=1", docs, "links",
         "tarntest://host/some%20thing?x=1", docs},
        {"a file URI", "open", "file://" + docs + "/report.tarntest", "", "documents",
         docs + "/report.tarntest", cwd},
        {"the program's own folder wins", "open", "settings.tarnpathed", docs, "pathed",
         docs + "/settings.tarnpathed", tree_->ownFolder},
    };
    for (const auto& row : cases) {
        SetUp();
        EXPECT_EQ(execute(row.operation, row.file, "ignored for documents", row.startDirectory),
                  GioDocuments::kStarted)
            << row.name;
        EXPECT_EQ(recorded(), (Lines{std::string("app=") + row.app, "arg=" + row.argument,
                                     "cwd=" + row.folder, "own-session=yes"}))
            << row.name;
    }
    // GLib starts each program through an intermediate child: none is left
    // behind as a zombie.
    EXPECT_TRUE(zombieChildren().empty());
}

// The program gets none of Tarn's descriptors and the environment Tarn was
// started with, not Tarn's own changes to it.
TEST_F(GioDocumentsTest, TheProgramOpenedHoldsNoneOfTarnsDescriptorsOrIgnoredSignals) {
    // The program is started through an intermediate child: orphaned, it is
    // handed to this process, which can then collect it.
    ASSERT_EQ(prctl(PR_SET_CHILD_SUBREAPER, 1), 0);
    signal(SIGPIPE, SIG_IGN);  // as Tarn does
    const std::string given = std::getenv("DBUS_SESSION_BUS_ADDRESS");
    posix::setOwnVariable("DBUS_SESSION_BUS_ADDRESS", "disabled:");
    const int inheritable = dup(STDOUT_FILENO);
    ASSERT_EQ(execute("open", "kept.tarnhold", {}, tree_->docs), GioDocuments::kStarted);
    const Lines record = recorded();
    ASSERT_EQ(record.size(), 1u);
    const pid_t holder = std::atoi(record[0].c_str());
    ASSERT_GT(holder, 0);
    EXPECT_TRUE(waitUntil([&] { return commandLineOf(holder) == Lines{"sleep", "30"}; }, 10s));
    // The program opens files of its own while it starts (locale data): a
    // descriptor handed down stays, those go.
    const Lines nullOnly{"0=/dev/null", "1=/dev/null", "2=/dev/null"};
    EXPECT_TRUE(waitUntil([&] { return descriptorsOf(holder) == nullOnly; }, 10s))
        << ::testing::PrintToString(descriptorsOf(holder));
    const std::string environment = readFile("/proc/" + std::to_string(holder) + "/environ");
    EXPECT_NE(environment.find("DBUS_SESSION_BUS_ADDRESS=" + given + '\0'), std::string::npos);
    EXPECT_EQ(environment.find("disabled:"), std::string::npos);
    EXPECT_EQ(ignoredSignalsOf(holder), 0u);
    signal(SIGPIPE, SIG_DFL);
    kill(holder, SIGKILL);
    EXPECT_TRUE(waitUntil([&] { return waitpid(holder, nullptr, WNOHANG) == holder; }, 10s));
    close(inheritable);
}

// A missing full path or folder of the file and a bad program: the macro platform test's.
TEST_F(GioDocumentsTest, FailuresGiveTheShellsResultCodes) {
    const std::string docs = tree_->docs;
    const struct {
        const char* name;
        const char* operation;
        std::string file;
        std::string startDirectory;
        int code;
    } cases[] = {
        {"missing file", "open", "absent.tarntest", docs, 2},
        {"empty file name", "open", "", docs, 2},
        {"missing start folder", "open", docs + "/report.tarntest", docs + "/no such folder", 3},
        {"start folder is a file", "open", docs + "/report.tarntest", docs + "/report.tarntest", 3},
        {"a file used as a folder", "open", "report.tarntest/x", docs, 3},
        {"no program for the type", "open", "lonely.tarnorphan", docs, 31},
        {"operation the type lacks", "edit", "report.tarntest", docs, 31},
        {"explore a file", "explore", "report.tarntest", docs, 31},
        {"print a folder", "print", "sub dir", docs, 31},
        {"print: no printer", "print", "report.tarntest", docs, 31},
        {"URI nobody handles", "open", "nohandler://x", docs, 31},
        {"URI with another operation", "print", "tarntest://x", docs, 31},
        {"text that only looks like a URI", "open", "notes:2024.tarntest", docs, 2},
        {"a script without its interpreter", "open", "orphan-script", docs, 11},
    };
    for (const auto& row : cases)
        EXPECT_EQ(execute(row.operation, row.file, {}, row.startDirectory), row.code) << row.name;
}

TEST_F(GioDocumentsTest, ProgramFilesRunWithTheParameters) {
    const std::string docs = tree_->docs;
    writeFile(docs + "/tool.sh", kRecorder, 0755);
    const std::string trap = tree_->root->path() + "/pwned";
    setenv("TARN_APP_TAG", "tool", 1);
    EXPECT_EQ(execute("open", "tool.sh", "one \"two words\" ; $(touch " + trap + ") | x", docs),
              GioDocuments::kStarted);
    unsetenv("TARN_APP_TAG");
    EXPECT_EQ(recorded(),
              (Lines{"app=tool", "arg=one", "arg=two words", "arg=;", "arg=$(touch",
                     "arg=" + trap + ")", "arg=|", "arg=x", "cwd=" + docs, "own-session=yes"}));
    EXPECT_FALSE(exists(trap));
    EXPECT_FALSE(exists(trap + ")"));
    // The program is Tarn's child: collected once it has ended.
    EXPECT_TRUE(waitUntil(
        [&] {
            posix::reapExitedChildren();
            return zombieChildren().empty();
        },
        10s));
}

// Printing hands the file to lp: no lp is no association, and an lp that
// hangs (a print service that never answers) is given up on and ended.
TEST_F(GioDocumentsTest, PrintHandsTheFileToLp) {
    const std::string root = tree_->root->path(), pidFile = root + "/lp.pid";
    const std::string oldPath = std::getenv("PATH");
    const struct {
        const char* name;
        std::string lp;  // the lp on PATH; empty: none at all
        int code;
    } cases[] = {
        {"lp takes it", kRecorder, GioDocuments::kStarted},
        {"no lp", "", 31},
        {"lp hangs", "#!/bin/sh\necho $$ > " + pidFile + "\nexec sleep 60\n", 28},
    };
    for (const auto& row : cases) {
        const std::string bin = root + "/lp-" + row.name;
        makeFolder(bin);
        if (!row.lp.empty()) writeFile(bin + "/lp", row.lp, 0755);
        setenv("PATH", (row.lp.empty() ? bin : bin + ":" + oldPath).c_str(), 1);
        setenv("TARN_APP_TAG", "lp", 1);
        EXPECT_EQ(execute("Print", "my report.tarntest", {}, tree_->docs), row.code) << row.name;
        setenv("PATH", oldPath.c_str(), 1);
        unsetenv("TARN_APP_TAG");
    }
    EXPECT_EQ(recorded(), (Lines{"app=lp", "arg=" + tree_->docs + "/my report.tarntest",
                                 "cwd=" + tree_->cwd, "own-session=yes"}));
    const pid_t lp = std::atoi(readFile(pidFile).c_str());
    ASSERT_GT(lp, 0);
    EXPECT_TRUE(waitUntil([&] { return stateOf(lp) == 0; }, 5s));
    if (stateOf(lp) != 0) kill(lp, SIGKILL);
    EXPECT_TRUE(zombieChildren().empty());
}

}  // namespace
}  // namespace tarn::gio

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    ::testing::AddGlobalTestEnvironment(new tarn::gio::XdgTree);
    return RUN_ALL_TESTS();
}

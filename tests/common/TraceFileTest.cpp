// SPDX-License-Identifier: GPL-3.0-or-later

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>
#include <string>

#include "Failure.h"
#include "TraceFile.h"

namespace {

class Trace : public testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(folder.isValid()); }

    QByteArray contents() const {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
    }

    void touch(const QString& name, const QByteArray& bytes = {}) {
        QFile file(folder.path() + "/" + name);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
    }

    QTemporaryDir folder;
    QString path = folder.path() + "/TarnTrace.txt";
};

TEST_F(Trace, LinesAreWrittenAsGivenWithCrLfAtOnce) {
    tarn::TraceFile trace(path);
    EXPECT_FALSE(QFile::exists(path));
    trace.begin();
    EXPECT_TRUE(trace.isOpen());
    EXPECT_EQ(contents(), QByteArray());
    trace.appendLine("Rem three lines, one blank");
    EXPECT_EQ(contents(), QByteArray("Rem three lines, one blank\r\n"));
    trace.appendLine("");
    trace.appendLine("\t  Send \"{ENTER}\"  ");
    trace.appendLine(std::string("nul\0inside", 10));
    trace.appendLine(QStringLiteral("Error 13 - Type mismatch"));
    trace.appendLine("Send \"Grüße €\"");
    trace.appendLine("caf\xe9 \x80");  // not UTF-8: taken as Windows-1252
    trace.end();
    EXPECT_FALSE(trace.isOpen());
    QByteArray expected("Rem three lines, one blank\r\n\r\n\t  Send \"{ENTER}\"  \r\n");
    expected += QByteArray("nul\0inside\r\n", 12);
    expected += "Error 13 - Type mismatch\r\nSend \"Grüße €\"\r\ncaf\xc3\xa9 \xe2\x82\xac\r\n";
    EXPECT_EQ(contents(), expected);
}

TEST_F(Trace, BeginLeavesNothingOfAnEarlierTrace) {
    touch("TarnTrace.txt", "old run, read-only\r\n");
    ASSERT_TRUE(QFile::setPermissions(path, QFile::ReadOwner | QFile::ReadGroup));
    tarn::TraceFile trace(path);
    trace.begin();
    trace.appendLine("first run, a long line that is longer than the next one");
    trace.end();
    trace.begin();
    trace.appendLine("second");
    trace.end();
    EXPECT_EQ(contents(), QByteArray("second\r\n"));

    // Also when the first was never ended, and through another writer.
    trace.begin();
    trace.appendLine("third");
    tarn::TraceFile other(path);
    other.begin();
    other.appendLine("fourth");
    other.end();
    trace.end();
    EXPECT_EQ(contents(), QByteArray("fourth\r\n"));
}

TEST_F(Trace, RecordsSurviveAKilledWriter) {
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        tarn::TraceFile trace(path);
        trace.begin();
        trace.appendLine("Run \"xterm\"");
        trace.appendLine("Wait 5");
        ::raise(SIGKILL);
        ::_exit(0);
    }
    int status = 0;
    if (!QTest::qWaitFor([&] { return ::waitpid(child, &status, WNOHANG) == child; }, 10000)) {
        ::kill(child, SIGKILL);
        ::waitpid(child, &status, 0);
        FAIL() << "the writer did not end";
    }
    ASSERT_TRUE(WIFSIGNALED(status));
    EXPECT_EQ(contents(), QByteArray("Run \"xterm\"\r\nWait 5\r\n"));
}

// "number source" of the failure the call raised, "" for none.
template <class Call>
std::string failureOf(Call call) {
    try {
        call();
        return "";
    } catch (const tarn::Failure& failure) {
        return std::to_string(failure.number()) + " " + failure.description() + " at " +
               failure.source();
    }
}

TEST_F(Trace, FailuresCarryTheRuntimeNumber) {
    tarn::TraceFile closed(path);
    EXPECT_EQ(failureOf([&] { closed.appendLine("lost"); }), "52 Bad file name or number at Tarn");
    closed.begin();
    closed.end();
    EXPECT_EQ(failureOf([&] { closed.appendLine("lost"); }), "52 Bad file name or number at Tarn");
    EXPECT_EQ(contents(), QByteArray());
    touch("afile");
    ASSERT_TRUE(QDir(folder.path()).mkpath("adir/inside"));
    ASSERT_TRUE(QDir(folder.path()).mkdir("locked"));
    ASSERT_TRUE(
        QFile::setPermissions(folder.path() + "/locked", QFile::ReadOwner | QFile::ExeOwner));
    const std::pair<const char*, const char*> cases[] = {
        {"no/such/folder/TarnTrace.txt", "76 Path not found at Tarn"},
        {"afile/TarnTrace.txt", "76 Path not found at Tarn"},
        {"adir", "75 Path/File access error at Tarn"},
        // Permissions do not bind the superuser.
        {"locked/TarnTrace.txt", ::geteuid() == 0 ? "" : "75 Path/File access error at Tarn"},
    };
    for (const auto& [relativePath, failure] : cases) {
        tarn::TraceFile trace(folder.path() + "/" + relativePath);
        EXPECT_EQ(failureOf([&] { trace.begin(); }), failure) << relativePath;
        EXPECT_EQ(trace.isOpen(), !*failure) << relativePath;
    }
    EXPECT_TRUE(QFileInfo(folder.path() + "/adir/inside").isDir());
    QFile::setPermissions(folder.path() + "/locked",
                          QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

TEST_F(Trace, PathIsInTheProgramFolderWhenWritableElseInTheDataFolder) {
    const QString data = folder.path() + "/data";
    const QString program = folder.path() + "/program";
    ASSERT_TRUE(QDir(folder.path()).mkdir("program"));
    touch("notafolder");

    EXPECT_EQ(tarn::traceFilePathFor(program, data), program + "/TarnTrace.txt");
    EXPECT_EQ(tarn::traceFilePathFor(program + "/", data), program + "/TarnTrace.txt");
    EXPECT_EQ(tarn::traceFilePathFor(folder.path() + "/missing", data), data + "/TarnTrace.txt");
    EXPECT_EQ(tarn::traceFilePathFor(folder.path() + "/notafolder", data), data + "/TarnTrace.txt");
    EXPECT_EQ(tarn::traceFilePathFor("", data), data + "/TarnTrace.txt");
    // An installed copy, also where it could write (as root): nothing beside it.
    for (const char* installed : {"/usr/bin", "/usr/local/bin", "/bin", "/opt"})
        EXPECT_EQ(tarn::traceFilePathFor(installed, data), data + "/TarnTrace.txt") << installed;
    // A user's installed copy: in ~/.local/bin, or another folder of PATH.
    const QByteArray home = qgetenv("HOME");
    const QByteArray path = qgetenv("PATH");
    ASSERT_TRUE(QDir(folder.path()).mkpath("home/.local/bin"));
    ASSERT_TRUE(QDir(folder.path()).mkdir("bin"));
    qputenv("HOME", (folder.path() + "/home").toLocal8Bit());
    qputenv("PATH", (folder.path() + "/bin").toLocal8Bit() + ":" + path);
    EXPECT_EQ(tarn::traceFilePathFor(folder.path() + "/home/.local/bin", data),
              data + "/TarnTrace.txt");
    EXPECT_EQ(tarn::traceFilePathFor(folder.path() + "/bin/", data), data + "/TarnTrace.txt");
    EXPECT_EQ(tarn::traceFilePathFor(program, data), program + "/TarnTrace.txt");
    qputenv("HOME", home);
    qputenv("PATH", path);
    if (::geteuid() != 0) {
        ASSERT_TRUE(QFile::setPermissions(program, QFile::ReadOwner | QFile::ExeOwner));
        EXPECT_EQ(tarn::traceFilePathFor(program, data), data + "/TarnTrace.txt");
        QFile::setPermissions(program, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
    // The player and the viewer agree; this test program's folder (the build
    // tree) is writable.
    EXPECT_EQ(tarn::traceFilePath(), QCoreApplication::applicationDirPath() + "/TarnTrace.txt");
    EXPECT_EQ(tarn::TraceFile().path(), tarn::traceFilePath());
}

}  // namespace

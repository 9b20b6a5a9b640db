// SPDX-License-Identifier: GPL-3.0-or-later
// The trace file: exact bytes, a fresh file at every begin, records on disk as
// soon as they are appended (also when the writer is killed), and the runtime
// failure numbers of a trace that cannot be made.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <chrono>
#include <ostream>
#include <string>
#include <thread>

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

    QTemporaryDir folder;
    QString path = folder.path() + "/TarnTrace.txt";
};

TEST_F(Trace, BeginCreatesAnEmptyFile) {
    tarn::TraceFile trace(path);
    EXPECT_FALSE(QFile::exists(path));
    trace.begin();
    EXPECT_TRUE(trace.isOpen());
    EXPECT_EQ(contents(), QByteArray());
    trace.end();
    EXPECT_FALSE(trace.isOpen());
    EXPECT_EQ(contents(), QByteArray());
}

TEST_F(Trace, LinesAreWrittenAsGivenWithCrLf) {
    tarn::TraceFile trace(path);
    trace.begin();
    trace.appendLine("Rem three lines, one blank");
    trace.appendLine("");
    trace.appendLine("\t  Send \"{ENTER}\"  ");
    trace.appendLine(std::string("nul\0inside", 10));
    trace.appendLine(QStringLiteral("Wait abc"));
    trace.appendLine(QStringLiteral("Error 13 - Type mismatch"));
    trace.appendLine("Send \"Grüße €\"");
    trace.end();
    QByteArray expected("Rem three lines, one blank\r\n\r\n\t  Send \"{ENTER}\"  \r\n");
    expected += QByteArray("nul\0inside\r\n", 12);
    expected += "Wait abc\r\nError 13 - Type mismatch\r\nSend \"Grüße €\"\r\n";
    EXPECT_EQ(contents(), expected);
}

TEST_F(Trace, TextThatIsNotUtf8IsTakenAsWindows1252) {
    tarn::TraceFile trace(path);
    trace.begin();
    trace.appendLine("caf\xe9 \x80");
    trace.end();
    EXPECT_EQ(contents(), QByteArray("caf\xc3\xa9 \xe2\x82\xac\r\n"));
}

TEST_F(Trace, SecondBeginLeavesNothingOfTheFirst) {
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

TEST_F(Trace, BeginReplacesAReadOnlyOldTrace) {
    QFile old(path);
    ASSERT_TRUE(old.open(QIODevice::WriteOnly));
    old.write("old run\r\n");
    old.close();
    ASSERT_TRUE(QFile::setPermissions(path, QFile::ReadOwner | QFile::ReadGroup));
    tarn::TraceFile trace(path);
    trace.begin();
    trace.appendLine("new");
    trace.end();
    EXPECT_EQ(contents(), QByteArray("new\r\n"));
}

TEST_F(Trace, RecordsCanBeReadWhileTheFileIsOpen) {
    tarn::TraceFile trace(path);
    trace.begin();
    trace.appendLine("one");
    EXPECT_EQ(contents(), QByteArray("one\r\n"));
    trace.appendLine("two");
    EXPECT_EQ(contents(), QByteArray("one\r\ntwo\r\n"));
    trace.end();
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
    pid_t done = 0;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while ((done = ::waitpid(child, &status, WNOHANG)) == 0 &&
           std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    if (done == 0) {
        ::kill(child, SIGKILL);
        ::waitpid(child, &status, 0);
        FAIL() << "the writer did not end";
    }
    ASSERT_TRUE(WIFSIGNALED(status));
    EXPECT_EQ(contents(), QByteArray("Run \"xterm\"\r\nWait 5\r\n"));
}

TEST_F(Trace, AppendingWithoutAnOpenFileFails) {
    tarn::TraceFile trace(path);
    try {
        trace.appendLine("lost");
        FAIL() << "no failure";
    } catch (const tarn::Failure& failure) {
        EXPECT_EQ(failure.number(), 52);
        EXPECT_EQ(failure.description(), "Bad file name or number");
        EXPECT_EQ(failure.source(), "Tarn");
    }
    trace.begin();
    trace.end();
    EXPECT_THROW(trace.appendLine("lost"), tarn::Failure);
    EXPECT_EQ(contents(), QByteArray());
}

struct CreateCase {
    const char* name;
    const char* relativePath;  // under the temporary folder
    int number;
    const char* description;
};

const CreateCase kCreateFailures[] = {
    {"missing folder", "no/such/folder/TarnTrace.txt", 76, "Path not found"},
    {"folder is a file", "afile/TarnTrace.txt", 76, "Path not found"},
    {"trace is a folder", "adir", 75, "Path/File access error"},
};

void PrintTo(const CreateCase& c, std::ostream* os) {
    *os << c.relativePath;
}

class TraceCreation : public testing::TestWithParam<CreateCase> {};

TEST_P(TraceCreation, FailsWithTheRuntimeNumber) {
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    QFile file(folder.path() + "/afile");
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();
    ASSERT_TRUE(QDir(folder.path()).mkpath("adir/inside"));

    tarn::TraceFile trace(folder.path() + "/" + GetParam().relativePath);
    try {
        trace.begin();
        FAIL() << "no failure";
    } catch (const tarn::Failure& failure) {
        EXPECT_EQ(failure.number(), GetParam().number);
        EXPECT_EQ(failure.description(), GetParam().description);
        EXPECT_EQ(failure.source(), "Tarn");
    }
    EXPECT_FALSE(trace.isOpen());
    // A folder in the way is not deleted.
    EXPECT_TRUE(QFileInfo(folder.path() + "/adir/inside").isDir());
}

INSTANTIATE_TEST_SUITE_P(Table, TraceCreation, testing::ValuesIn(kCreateFailures),
                         [](const auto& info) {
                             std::string name = info.param.name;
                             for (char& c : name)
                                 if (c == ' ') c = '_';
                             return name;
                         });

TEST_F(Trace, ReadOnlyFolderFailsWith75) {
    if (::geteuid() == 0) GTEST_SKIP() << "permissions do not bind the superuser";
    const QString locked = folder.path() + "/locked";
    ASSERT_TRUE(QDir(folder.path()).mkdir("locked"));
    ASSERT_TRUE(QFile::setPermissions(locked, QFile::ReadOwner | QFile::ExeOwner));
    tarn::TraceFile trace(locked + "/TarnTrace.txt");
    try {
        trace.begin();
        FAIL() << "no failure";
    } catch (const tarn::Failure& failure) {
        EXPECT_EQ(failure.number(), 75);
    }
    QFile::setPermissions(locked, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

TEST_F(Trace, PathIsInTheProgramFolderWhenWritableElseInTheDataFolder) {
    const QString data = folder.path() + "/data";
    const QString program = folder.path() + "/program";
    ASSERT_TRUE(QDir(folder.path()).mkdir("program"));
    QFile file(folder.path() + "/notafolder");
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();

    EXPECT_EQ(tarn::traceFilePathFor(program, data), program + "/TarnTrace.txt");
    EXPECT_EQ(tarn::traceFilePathFor(program + "/", data), program + "/TarnTrace.txt");
    EXPECT_EQ(tarn::traceFilePathFor(folder.path() + "/missing", data), data + "/TarnTrace.txt");
    EXPECT_EQ(tarn::traceFilePathFor(folder.path() + "/notafolder", data), data + "/TarnTrace.txt");
    EXPECT_EQ(tarn::traceFilePathFor("", data), data + "/TarnTrace.txt");
    // An installed copy, also where it could write (as root): nothing beside it.
    for (const char* installed : {"/usr/bin", "/usr/local/bin", "/bin", "/opt"})
        EXPECT_EQ(tarn::traceFilePathFor(installed, data), data + "/TarnTrace.txt") << installed;
    if (::geteuid() != 0) {
        ASSERT_TRUE(QFile::setPermissions(program, QFile::ReadOwner | QFile::ExeOwner));
        EXPECT_EQ(tarn::traceFilePathFor(program, data), data + "/TarnTrace.txt");
        QFile::setPermissions(program, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
}

TEST(TracePath, PlayerAndViewerAgree) {
    // This test program's folder (the build tree) is writable.
    const QString path = tarn::traceFilePath();
    EXPECT_EQ(path, QCoreApplication::applicationDirPath() + "/TarnTrace.txt");
    EXPECT_EQ(tarn::TraceFile().path(), path);
}

}  // namespace

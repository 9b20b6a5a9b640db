// SPDX-License-Identifier: GPL-3.0-or-later
// Macro files read and written: every byte kept, and a failed save keeps the old file.
#include <grp.h>
#include <sched.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QDeadlineTimer>
#include <QFileInfo>
#include <functional>

#include "EditorTest.h"
#include "EditorText.h"
#include "Failure.h"
#include "MacroFileIO.h"

namespace tarn::editor {
namespace {

using Encoding = MacroFileFormat::Encoding;

QByteArray bytesOf(const char* text, std::size_t size) {
    return QByteArray(text, static_cast<qsizetype>(size));
}
#define BYTES(literal) bytesOf(literal, sizeof(literal) - 1)

class MacroFileIO : public test::EditorTest {
  protected:
    // The names in the folder: a save leaves no temporary file behind.
    std::string names() const {
        const QDir dir(mDir.path());
        return dir.entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot)
            .join(", ")
            .toStdString();
    }
    static int failureNumber(const std::function<void()>& action) {
        try {
            action();
        } catch (const Failure& failure) {
            // Too large says what the limit is; others may say more.
            const std::string standard = failure.number() == kOutOfMemory
                                             ? tooLargeDescription().toStdString()
                                             : runtimeDescription(failure.number());
            EXPECT_EQ(failure.description().substr(0, standard.size()), standard);
            EXPECT_EQ(failure.source(), kRuntimeSource);
            return failure.number();
        }
        return 0;
    }
};

TEST_F(MacroFileIO, FileOpenedInTheTextAreaAndSavedUnchangedKeepsEveryByte) {
    const struct {
        const char* name;
        QByteArray bytes;
        Encoding encoding;
    } rows[] = {
        {"CR LF", BYTES("Run \"xterm\"\r\nWait 1\r\n"), Encoding::Utf8},
        {"LF", BYTES("Rem a\nRem b\n"), Encoding::Utf8},
        {"lone CR", BYTES("Rem a\rRem b\r"), Encoding::Utf8},
        {"no final line end", BYTES("Rem a\r\nRem b"), Encoding::Utf8},
        {"empty lines", BYTES("\r\n\r\n\r\n"), Encoding::Utf8},
        {"empty file", BYTES(""), Encoding::Utf8},
        {"byte order mark", BYTES("\xEF\xBB\xBFRem caf\xC3\xA9\r\n"), Encoding::Utf8},
        {"byte order mark alone", BYTES("\xEF\xBB\xBF"), Encoding::Utf8},
        {"NUL", BYTES("Send \"a\0b\"\r\n\0"), Encoding::Utf8},
        {"no-break space", BYTES("a\xC2\xA0x\r\n"), Encoding::Utf8},
        {"line separator", BYTES("a\xE2\x80\xA8x\r\n"), Encoding::Utf8},
        {"controls", BYTES("\t\x0B\x0C\x1B\x7F\xC2\x85\r\n"), Encoding::Utf8},
        {"beyond the BMP", BYTES("\xF0\x9F\x98\x80 \xEF\xBF\xBD\r\n"), Encoding::Utf8},
        {"Windows-1252", BYTES("Rem caf\xE9\r\n"), Encoding::Windows1252},
        {"Windows-1252 C1 range", BYTES("\x80\x81\x82\x8D\x8E\x8F\x90\x91\x9D\x9E\x9F\xA0\xFF\r\n"),
         Encoding::Windows1252},
        {"Windows-1252 NUL, LF", BYTES("\xE9\0\xE9\n"), Encoding::Windows1252},
        {"Windows-1252 byte order mark cut off", BYTES("\xEF\xBB"), Encoding::Windows1252},
        {"mixed line ends", BYTES("a\r\nb\nc\rd\n\n\r\r\n"), Encoding::Utf8},
        {"Windows-1252 mixed", BYTES("\xE9\n\xE9\r\n"), Encoding::Windows1252},
    };
    for (const auto& row : rows) {
        const QString file = put("round.mcr", row.bytes);
        const MacroFileText read = ReadMacroFile(file);
        EXPECT_EQ(read.format.encoding, row.encoding) << row.name;
        QPlainTextEdit edit;
        edit.setPlainText(read.text);
        EXPECT_EQ(exactText(edit), read.text) << row.name;
        EXPECT_FALSE(WriteMacroFile(file, exactText(edit), read.format)) << row.name;
        EXPECT_EQ(contents(file).toHex(' '), row.bytes.toHex(' ')) << row.name;
        EXPECT_EQ(names(), "round.mcr") << row.name;
    }
}

TEST_F(MacroFileIO, TextIsWrittenInTheFormThatReadsBackAsTheSameText) {
    MacroFileFormat windows1252;
    windows1252.encoding = Encoding::Windows1252;
    const struct {
        const char* name;
        QString text;
        MacroFileFormat format;
        QByteArray bytes;
        bool asUtf8;
    } rows[] = {
        {"new file",
         QStringLiteral("Rem \u00E9\nWait 1"),
         {},
         BYTES("Rem \xC3\xA9\r\nWait 1"),
         false},
        {"fits Windows-1252", QStringLiteral("\u20AC\u00E9\n"), windows1252, BYTES("\x80\xE9\r\n"),
         false},
        {"does not fit", QStringLiteral("\u00E9\u2192\n"), windows1252,
         BYTES("\xC3\xA9\xE2\x86\x92\r\n"), true},
        // In Windows-1252 these two characters are the bytes of "é" in UTF-8.
        {"would read back as UTF-8", QStringLiteral("\u00C3\u00A9"), windows1252,
         BYTES("\xC3\x83\xC2\xA9"), true},
        {"plain ASCII", "Wait 1\n", windows1252, BYTES("Wait 1\r\n"), false},
    };
    for (const auto& row : rows) {
        const QString file = path("out.mcr");
        EXPECT_EQ(WriteMacroFile(file, row.text, row.format), row.asUtf8) << row.name;
        EXPECT_EQ(contents(file).toHex(' '), row.bytes.toHex(' ')) << row.name;
        EXPECT_EQ(ReadMacroFile(file).text, row.text) << row.name;
    }
}

TEST_F(MacroFileIO, FailuresCarryTheRuntimeNumbers) {
    put("file.mcr", "Wait 1\r\n");
    QDir(mDir.path()).mkdir("folder");
    putTooLarge("huge.mcr");
    const QByteArray longest(kMaxMacroLineChars, 'x');
    put("longest.mcr", "Rem\r\n" + longest + "\r\n" + longest);
    put("long.mcr", "Rem\r\n" + longest + "x\r\n");
    const struct {
        bool write;
        const char* file;  // in the test's folder unless absolute
        int number;
    } rows[] = {
        {false, "none.mcr", kFileNotFound},
        {false, "none/a.mcr", kPathNotFound},
        {false, "file.mcr/a.mcr", kPathNotFound},
        {false, "folder", kPathFileAccessError},
        {false, "/dev/zero", kPathFileAccessError},
        {false, "huge.mcr", kOutOfMemory},
        {false, "longest.mcr", 0},
        {false, "long.mcr", kOutOfMemory},
        {true, "none/a.mcr", kPathNotFound},
        {true, "file.mcr/a.mcr", kPathNotFound},
        {true, "folder", kPathFileAccessError},
    };
    for (const auto& row : rows) {
        const QString file = row.file[0] == '/' ? QString(row.file) : path(row.file);
        EXPECT_EQ(failureNumber([&] {
                      row.write ? (void)WriteMacroFile(file, "x", {}) : (void)ReadMacroFile(file);
                  }),
                  row.number)
            << (row.write ? "write " : "read ") << row.file;
    }
    EXPECT_EQ(contents(path("file.mcr")), "Wait 1\r\n");
}

// Runs the action in a child process; its result is the child's exit status,
// -1 when it did not end.
int inChild(const std::function<int()>& action) {
    const pid_t child = ::fork();
    if (child == 0) ::_exit(action());
    int status = 0;
    if (child < 0 || ::waitpid(child, &status, 0) != child || !WIFEXITED(status)) return -1;
    return WEXITSTATUS(status);
}

// The same as the unprivileged user nobody (uid and gid 65534), optionally
// where /proc is not mounted.
int asNobody(const std::function<int()>& action, bool pbWithoutProc = false) {
    return inChild([&] {
        if (pbWithoutProc && (::unshare(CLONE_NEWNS) != 0 ||
                              ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
                              ::umount2("/proc", MNT_DETACH) != 0)) {
            return 254;
        }
        if (::setgroups(0, nullptr) != 0 || ::setresgid(65534, 65534, 65534) != 0 ||
            ::setresuid(65534, 65534, 65534) != 0) {
            return 255;
        }
        return action();
    });
}

struct stat statOf(const QString& file) {
    struct stat info {};
    EXPECT_EQ(::stat(QFile::encodeName(file).constData(), &info), 0) << file.toStdString();
    return info;
}

// Who may save what: a save keeps the file's owner, permissions and hard
// links, writes a writable file in a folder that takes no new file, and never
// writes a read-only file, not even for root.
TEST_F(MacroFileIO, SavingKeepsOwnerAndLinksAndRefusesReadOnlyFilesForEveryone) {
    if (::geteuid() != 0) GTEST_SKIP() << "giving files to another user needs root";
    const auto give = [](const QString& file, uid_t owner, mode_t mode) {
        const QByteArray name = QFile::encodeName(file);
        EXPECT_EQ(::chown(name.constData(), owner, owner), 0);
        EXPECT_EQ(::chmod(name.constData(), mode), 0);
    };
    give(mDir.path(), 0, 0777);
    ASSERT_TRUE(QDir(mDir.path()).mkdir("ro"));
    give(put("ro/own.mcr", "Wait 1\r\n"), 65534, 0644);
    give(path("ro"), 65534, 0555);
    give(put("shared.mcr", "Wait 1\r\n"), 0, 0666);
    give(put("shared2.mcr", "Wait 1\r\n"), 0, 0666);
    give(put("locked.mcr", "Wait 1\r\n"), 65534, 0444);
    give(put("rootlocked.mcr", "Wait 1\r\n"), 0, 0444);
    put("linked.mcr", "Wait 1\r\n");
    ASSERT_EQ(::link(QFile::encodeName(path("linked.mcr")).constData(),
                     QFile::encodeName(path("link2.mcr")).constData()),
              0);
    const auto save = [this](const QString& name) {
        return failureNumber([&] { WriteMacroFile(path(name), "Wait 2\n", {}); });
    };
    const struct {
        const char* name;
        const char* file;
        bool asNobody;
        int number;
        QByteArray after;
        bool withoutProc = false;
    } rows[] = {
        {"writable file in a read-only folder", "ro/own.mcr", true, 0, "Wait 2\r\n"},
        {"new file in a read-only folder", "ro/new.mcr", true, kPermissionDenied, "<missing>"},
        {"someone else's writable file", "shared.mcr", true, 0, "Wait 2\r\n"},
        {"read-only file", "locked.mcr", true, kPermissionDenied, "Wait 1\r\n"},
        {"read-only file, root", "rootlocked.mcr", false, kPermissionDenied, "Wait 1\r\n"},
        {"hard link", "linked.mcr", false, 0, "Wait 2\r\n"},
        // No /proc to name an unnamed file by: a named one takes its place.
        {"someone else's file, no /proc", "shared2.mcr", true, 0, "Wait 2\r\n", true},
        {"new file, no /proc", "new.mcr", true, 0, "Wait 2\r\n", true},
    };
    for (const auto& row : rows) {
        const ino_t inode = QFile::exists(path(row.file)) ? statOf(path(row.file)).st_ino : 0;
        const int number = row.asNobody ? asNobody([&] { return save(row.file); }, row.withoutProc)
                                        : save(row.file);
        EXPECT_EQ(number, row.number) << row.name;
        EXPECT_EQ(contents(path(row.file)), row.after) << row.name;
        if (inode != 0) {
            EXPECT_EQ(statOf(path(row.file)).st_ino, inode) << row.name;
        }
    }
    EXPECT_EQ(statOf(path("shared.mcr")).st_uid, 0u);
    EXPECT_EQ(statOf(path("shared.mcr")).st_mode & 07777, 0666u);
    EXPECT_EQ(contents(path("link2.mcr")), "Wait 2\r\n");
    EXPECT_EQ(statOf(path("shared2.mcr")).st_uid, 0u);
    EXPECT_EQ(statOf(path("new.mcr")).st_uid, 65534u);
    // Where neither the folder nor a file can be written, the folder is named.
    const int named = asNobody([this] {
        try {
            WriteMacroFile(path("ro/new.mcr"), "x", {});
        } catch (const Failure& failure) {
            return failure.description().find(QFile::encodeName(path("ro")).constData()) !=
                   std::string::npos;
        }
        return false;
    });
    EXPECT_EQ(named, 1);
    EXPECT_EQ(QDir(path("ro")).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
              QStringList{"own.mcr"});
}

// A save cut short leaves no file of its own behind; one that an earlier
// version left is removed by the next save of the same file.
TEST_F(MacroFileIO, AKilledSaveLeavesNoTemporaryFile) {
    const QString file = put("a.mcr", "Wait 1\r\n");
    for (const char* name : {".a.mcr.123.tmp", ".a.mcr.tmp", ".b.mcr.5.tmp", ".a.mcr.1x.tmp"})
        put(name, "old");
    WriteMacroFile(file, "Wait 2\n", {});
    EXPECT_EQ(names(), ".a.mcr.1x.tmp, .a.mcr.tmp, .b.mcr.5.tmp, a.mcr");
    for (const char* name : {".a.mcr.tmp", ".b.mcr.5.tmp", ".a.mcr.1x.tmp"})
        QFile::remove(path(name));
    // Killed in the middle of saving a large text, again and again. A file
    // gets its name only once complete; the instant between that and its
    // taking the old file's place is the one a leftover can come from.
    const QString text(3 * 1024 * 1024, u'x');
    for (int kill = 0; kill < 5; ++kill) {
        WriteMacroFile(file, "Wait 1\n", {});
        EXPECT_EQ(names(), "a.mcr") << "kill " << kill;
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            for (;;)
                WriteMacroFile(file, text, {});
        }
        // Killed as soon as the first save has landed, inside the next.
        QDeadlineTimer deadline(20000);
        while (QFileInfo(file).size() != text.size() && !deadline.hasExpired())
            ::usleep(200);
        ::kill(child, SIGKILL);
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        EXPECT_EQ(QFileInfo(file).size(), text.size());
        for (const QFileInfo& left : QDir(mDir.path()).entryInfoList(QDir::Files | QDir::Hidden))
            EXPECT_EQ(left.size(), text.size()) << left.fileName().toStdString();
    }
    WriteMacroFile(file, "Wait 1\n", {});
    EXPECT_EQ(names(), "a.mcr");
}

TEST_F(MacroFileIO, DiskFullKeepsTheOldFileAndLeavesNoTemporaryFile) {
    const QString file = put("full.mcr", "Wait 1\r\n");
    const int number = inChild([&] {
        // A file size limit makes the kernel refuse writes as a full disk does.
        ::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{4096, 4096};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        try {
            WriteMacroFile(file, QString(8192, u'x'), {});
        } catch (const Failure& failure) {
            return failure.description() == "Disk full" ? failure.number() : 1;
        }
        return 0;
    });
    EXPECT_EQ(number, kDiskFull);
    EXPECT_EQ(contents(file), "Wait 1\r\n");
    EXPECT_EQ(names(), "full.mcr");
}

TEST_F(MacroFileIO, SavingKeepsPermissionsAndWritesThroughASymbolicLink) {
    const QString target = put("target.mcr", "Wait 1\r\n");
    ASSERT_EQ(::chmod(QFile::encodeName(target).constData(), 0640), 0);
    ASSERT_TRUE(QFile::link("target.mcr", path("link.mcr")));
    EXPECT_FALSE(WriteMacroFile(path("link.mcr"), "Wait 2\n", {}));
    EXPECT_TRUE(QFileInfo(path("link.mcr")).isSymLink());
    EXPECT_EQ(contents(target), "Wait 2\r\n");
    EXPECT_EQ(statOf(target).st_mode & 07777, 0640u);
    EXPECT_EQ(names(), "link.mcr, target.mcr");
}

}  // namespace
}  // namespace tarn::editor

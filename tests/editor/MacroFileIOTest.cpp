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

#include <utime.h>

#include <QDeadlineTimer>
#include <QFileInfo>
#include <QProcess>
#include <functional>
#include <tuple>

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
        {"two byte order marks", BYTES("\xEF\xBB\xBF\xEF\xBB\xBFRem a\r\n"), Encoding::Utf8},
        {"one byte order mark as text", BYTES("Rem\xEF\xBB\xBF\r\n\xEF\xBB\xBF"), Encoding::Utf8},
        {"UTF-8 with a stray byte", BYTES("Rem caf\xC3\xA9\xFF\r\n"), Encoding::Utf8},
        {"UTF-8 with strays and a byte order mark",
         BYTES("\xEF\xBB\xBF\x80\xC3\xA9\xE2\x82\xAC\xC3\r\n"), Encoding::Utf8},
        {"stray bytes beside the private use area", BYTES("\xEF\xA3\xBF\xEF\x9E\x80\xFE"),
         Encoding::Utf8},
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
    // Characters beyond the BMP count once, not as the two halves Qt keeps.
    const QByteArray emoji = QByteArray("\xF0\x9F\x98\x80").repeated(kMaxMacroLineChars);
    put("emoji.mcr", emoji + "\r\n");
    put("emoji-long.mcr", emoji + "\xF0\x9F\x98\x80");
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
        {false, "emoji.mcr", 0},
        {false, "emoji-long.mcr", kOutOfMemory},
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
    // A missing folder is named.
    try {
        ReadMacroFile(path("none/a.mcr"));
    } catch (const Failure& failure) {
        EXPECT_EQ(failure.description(), "Path not found: " + path("none").toStdString());
    }
}

// The line the editor would not open again, found before a save writes it.
TEST_F(MacroFileIO, TheFirstLineOverTheLimitIsFoundInCharacters) {
    const QString longest(kMaxMacroLineChars, u'x');
    const QString emoji = QString(QStringLiteral("\U0001F600")).repeated(kMaxMacroLineChars);
    const struct {
        const char* name;
        QString text;
        qsizetype line;
        qsizetype length;
    } rows[] = {
        {"empty", QString(), 0, 0},
        {"at the limit", "a\n" + longest + "\n" + longest, 0, 0},
        {"one over, last line", "a\n" + longest + "\n" + longest + "yz", 3, kMaxMacroLineChars + 2},
        {"one over, first line", longest + "y\n" + longest + "yz", 1, kMaxMacroLineChars + 1},
        {"emoji at the limit", emoji, 0, 0},
        {"emoji one over", "\n" + emoji + "x", 2, kMaxMacroLineChars + 1},
    };
    for (const auto& row : rows) {
        const LongLine found = FirstLineOverLimit(row.text);
        EXPECT_EQ(found.line, row.line) << row.name;
        EXPECT_EQ(found.length, row.length) << row.name;
    }
}

// A UTF-8 file with a few bytes that are not UTF-8 stays UTF-8: the bytes are
// found where they are and written back as they were around an edit.
TEST_F(MacroFileIO, StrayBytesOfAUtf8FileAreFoundAndKeptThroughAnEdit) {
    const QString file =
        put("stray.mcr", BYTES("Rem caf\xC3\xA9 th\xC3\xA9\r\nSend \"\xFFx\x80\"\r\n"));
    MacroFileText read = ReadMacroFile(file);
    EXPECT_EQ(read.format.encoding, Encoding::Utf8);
    EXPECT_TRUE(read.text.startsWith(QStringLiteral("Rem caf\u00E9 th\u00E9\nSend \"")));
    ASSERT_EQ(read.strays.size(), 2u);
    EXPECT_EQ(std::make_tuple(read.strays[0].line, read.strays[0].column, read.strays[0].byte),
              std::make_tuple(qsizetype{2}, qsizetype{7}, static_cast<unsigned char>(0xFF)));
    EXPECT_EQ(std::make_tuple(read.strays[1].line, read.strays[1].column, read.strays[1].byte),
              std::make_tuple(qsizetype{2}, qsizetype{9}, static_cast<unsigned char>(0x80)));
    read.text.replace(QStringLiteral("caf\u00E9"), QStringLiteral("d\u00E9j\u00E0 \u20AC"));
    EXPECT_FALSE(WriteMacroFile(file, read.text, read.format));
    EXPECT_EQ(contents(file).toHex(' '),
              BYTES("Rem d\xC3\xA9j\xC3\xA0 \xE2\x82\xAC th\xC3\xA9\r\nSend \"\xFFx\x80\"\r\n")
                  .toHex(' '));
    // More stray bytes than characters of several bytes: Windows-1252, as before.
    put("ansi.mcr", BYTES("Rem caf\xC3\xA9 \xE9\xE8\r\n"));
    EXPECT_EQ(ReadMacroFile(path("ansi.mcr")).format.encoding, Encoding::Windows1252);
}

// Another program's change is told from the editor's own save and a touch.
TEST_F(MacroFileIO, AChangeOnDiskIsToldByTheBytesNotByTheTime) {
    const QString file = path("watched.mcr");
    FileStamp written;
    WriteMacroFile(file, "Wait 1\n", {}, &written);
    EXPECT_EQ(ReadMacroFile(file).stamp.digest, written.digest);
    const struct {
        const char* name;
        std::function<void()> change;
        bool changed;
    } rows[] = {
        {"nothing", [] {}, false},
        {"touched", [&] { ::utime(QFile::encodeName(file).constData(), nullptr); }, false},
        {"saved again alike by another program",
         [&] {
             QFile::remove(file);
             put("watched.mcr", "Wait 1\r\n");
         },
         false},
        {"a line appended", [&] { put("watched.mcr", "Wait 1\r\nWait 2\r\n"); }, true},
        {"same size, other bytes", [&] { put("watched.mcr", "Wait 9\r\n"); }, true},
        {"removed", [&] { QFile::remove(file); }, true},
    };
    for (const auto& row : rows) {
        put("watched.mcr", "Wait 1\r\n");
        const FileStamp stamp = ReadMacroFile(file).stamp;
        row.change();
        EXPECT_EQ(ChangedOnDisk(file, stamp), row.changed) << row.name;
    }
    EXPECT_FALSE(ChangedOnDisk(path("never.mcr"), FileStamp()));
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

// A save cut short leaves at most a whole copy of the new text behind; it is
// found for the user and no later save removes it behind their back.
TEST_F(MacroFileIO, AKilledSaveLeavesAWholeCopyThatIsFoundAndNeverRemovedByASave) {
    const QString file = put("a.mcr", "Wait 1\r\n");
    for (const char* name : {".a.mcr.123.tmp", ".a.mcr.tmp", ".b.mcr.5.tmp", ".a.mcr.1x.tmp"})
        put(name, "old");
    WriteMacroFile(file, "Wait 2\n", {});
    EXPECT_EQ(names(), ".a.mcr.123.tmp, .a.mcr.1x.tmp, .a.mcr.tmp, .b.mcr.5.tmp, a.mcr");
    EXPECT_EQ(LeftoverCopies(file), std::vector<QString>{path(".a.mcr.123.tmp")});
    for (const char* name : {".a.mcr.123.tmp", ".a.mcr.tmp", ".b.mcr.5.tmp", ".a.mcr.1x.tmp"})
        QFile::remove(path(name));
    // Killed in the middle of saving a large text, again and again; a hard
    // link makes every save write in place after its copy is on disk.
    ASSERT_EQ(
        ::link(QFile::encodeName(file).constData(), QFile::encodeName(path("b.mcr")).constData()),
        0);
    const QString text(3 * 1024 * 1024, u'x');
    for (int kill = 0; kill < 5; ++kill) {
        for (const QString& left : LeftoverCopies(file))
            QFile::remove(left);
        WriteMacroFile(file, "Wait 1\n", {});
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
        for (const QString& left : LeftoverCopies(file))
            EXPECT_EQ(QFileInfo(left).size(), text.size()) << left.toStdString();
        const std::vector<QString> copies = LeftoverCopies(file);
        WriteMacroFile(file, "Wait 1\n", {});
        EXPECT_EQ(LeftoverCopies(file), copies) << "kill " << kill;
    }
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

// Access control lists and extended attributes stay with the file, set and
// read by the system's own tools.
TEST_F(MacroFileIO, SavingKeepsAccessControlListsAndExtendedAttributes) {
    if (::geteuid() != 0) GTEST_SKIP() << "an ACL entry for another user is set as root";
    const auto run = [](const QString& program, const QStringList& arguments) {
        QProcess process;
        process.start(program, arguments);
        EXPECT_TRUE(process.waitForFinished(30000)) << program.toStdString();
        EXPECT_EQ(process.exitCode(), 0)
            << program.toStdString() << " " << process.readAllStandardError().toStdString();
        return process.readAllStandardOutput();
    };
    const auto attributes = [&](const QString& file) {
        return run("getfacl", {"-c", "-p", file}) + run("getfattr", {"-d", "-m", "-", file});
    };
    const QString file = put("acl.mcr", "Wait 1\r\n");
    ::chmod(QFile::encodeName(file).constData(), 0640);
    run("setfacl", {"-m", "u:nobody:rw", file});
    run("setfattr", {"-n", "user.origin", "-v", "tarn test", file});
    // A folder whose default list a new file would inherit, which the
    // file it replaces did not have.
    QDir(mDir.path()).mkdir("inherit");
    const QString plain = put("inherit/plain.mcr", "Wait 1\r\n");
    ::chmod(QFile::encodeName(plain).constData(), 0644);
    run("setfacl", {"-d", "-m", "u:nobody:rwx", path("inherit")});
    for (const QString& saved : {file, plain}) {
        const QByteArray before = attributes(saved);
        const mode_t mode = statOf(saved).st_mode;
        WriteMacroFile(saved, "Wait 2\n", {});
        EXPECT_EQ(contents(saved), "Wait 2\r\n");
        EXPECT_EQ(attributes(saved).toStdString(), before.toStdString()) << saved.toStdString();
        EXPECT_EQ(statOf(saved).st_mode, mode) << saved.toStdString();
    }
    EXPECT_TRUE(attributes(file).contains("user:nobody:rw-"));
    EXPECT_TRUE(attributes(file).contains("group::r--"));
    EXPECT_TRUE(attributes(file).contains("user.origin=\"tarn test\""));
}

}  // namespace
}  // namespace tarn::editor

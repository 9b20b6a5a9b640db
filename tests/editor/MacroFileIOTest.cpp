// Macro files on their way into the text area and back to disk: a file opened
// and saved unchanged keeps every byte, and a failed save keeps the old file.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPlainTextEdit>
#include <QTemporaryDir>
#include <functional>

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

class MacroFileIO : public testing::Test {
  protected:
    QString path(const QString& name) const { return dir_.filePath(name); }
    QString put(const QString& name, const QByteArray& bytes) const {
        QFile file(path(name));
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
        return path(name);
    }
    static QByteArray contents(const QString& file) {
        QFile in(file);
        return in.open(QIODevice::ReadOnly) ? in.readAll() : QByteArray("<unreadable>");
    }
    // The names in the folder: a save leaves no temporary file behind.
    std::string names() const {
        const QDir dir(dir_.path());
        return dir.entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot)
            .join(", ")
            .toStdString();
    }
    static int failureNumber(const std::function<void()>& action) {
        try {
            action();
        } catch (const Failure& failure) {
            EXPECT_EQ(failure.description(), runtimeDescription(failure.number()));
            EXPECT_EQ(failure.source(), kRuntimeSource);
            return failure.number();
        }
        return 0;
    }

    QTemporaryDir dir_;
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
        {"no-break space",
         BYTES("a\xC2\xA0"
               "b\r\n"),
         Encoding::Utf8},
        {"line separator",
         BYTES("a\xE2\x80\xA8"
               "b\r\n"),
         Encoding::Utf8},
        {"controls", BYTES("\t\x0B\x0C\x1B\x7F\xC2\x85\r\n"), Encoding::Utf8},
        {"beyond the BMP", BYTES("\xF0\x9F\x98\x80 \xEF\xBF\xBD\r\n"), Encoding::Utf8},
        {"Windows-1252", BYTES("Rem caf\xE9\r\n"), Encoding::Windows1252},
        {"Windows-1252 C1 range", BYTES("\x80\x81\x82\x8D\x8E\x8F\x90\x91\x9D\x9E\x9F\xA0\xFF\r\n"),
         Encoding::Windows1252},
        {"Windows-1252 NUL, LF", BYTES("\xE9\0\xE9\n"), Encoding::Windows1252},
        {"Windows-1252 byte order mark cut off", BYTES("\xEF\xBB"), Encoding::Windows1252},
    };
    for (const auto& row : rows) {
        const QString file = put("round.mcr", row.bytes);
        const MacroFileText read = ReadMacroFile(file);
        EXPECT_EQ(read.format.encoding, row.encoding) << row.name;
        EXPECT_FALSE(read.format.mixedLineEnds) << row.name;
        EXPECT_TRUE(textAreaHoldsExactly(read.text)) << row.name;
        QPlainTextEdit edit;
        edit.setPlainText(read.text);
        EXPECT_EQ(exactText(edit), read.text) << row.name;
        EXPECT_FALSE(WriteMacroFile(file, exactText(edit), read.format)) << row.name;
        EXPECT_EQ(contents(file).toHex(' '), row.bytes.toHex(' ')) << row.name;
        EXPECT_EQ(names(), "round.mcr") << row.name;
    }
}

// The characters the text area turns into line ends are the ones it is said to.
TEST_F(MacroFileIO, TextAreaTurnsItsOwnSeparatorsIntoLineEnds) {
    for (const char16_t c : {u'\u2029', u'\uFDD0', u'\uFDD1'}) {
        const QString text = QString("a") + QChar(c) + "b";
        QPlainTextEdit edit;
        edit.setPlainText(text);
        EXPECT_EQ(exactText(edit), "a\nb");
        EXPECT_FALSE(textAreaHoldsExactly(text));
    }
}

TEST_F(MacroFileIO, TextIsWrittenInTheFormThatReadsBackAsTheSameText) {
    MacroFileFormat windows1252;
    windows1252.encoding = Encoding::Windows1252;
    MacroFileFormat mixed = ReadMacroFile(put("mixed.mcr", "a\r\nb\nc\rd")).format;
    EXPECT_TRUE(mixed.mixedLineEnds);
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
        {"mixed ends take the first", "a\nb\nc\nd", mixed, BYTES("a\r\nb\r\nc\r\nd"), false},
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
        if (!row.format.mixedLineEnds) {
            EXPECT_EQ(ReadMacroFile(file).text, row.text) << row.name;
        }
    }
}

TEST_F(MacroFileIO, FailuresCarryTheRuntimeNumbers) {
    put("file.mcr", "Wait 1\r\n");
    QDir(dir_.path()).mkdir("folder");
    QFile huge(path("huge.mcr"));
    ASSERT_TRUE(huge.open(QIODevice::WriteOnly) && huge.resize(kMaxMacroFileBytes + 1));
    const QByteArray longest(kMaxMacroLineChars, 'x');
    put("longest.mcr", "Rem\r\n" + longest + "\r\n" + longest);
    put("long.mcr", "Rem\r\n" + longest + "x\r\n");
    const struct {
        const char* name;
        std::function<void()> action;
        int number;
    } rows[] = {
        {"read missing file", [&] { ReadMacroFile(path("none.mcr")); }, kFileNotFound},
        {"read missing folder", [&] { ReadMacroFile(path("none/a.mcr")); }, kPathNotFound},
        {"read below a file", [&] { ReadMacroFile(path("file.mcr/a.mcr")); }, kPathNotFound},
        {"read a folder", [&] { ReadMacroFile(path("folder")); }, kPathFileAccessError},
        {"read a device", [&] { ReadMacroFile("/dev/zero"); }, kPathFileAccessError},
        {"read too large", [&] { ReadMacroFile(path("huge.mcr")); }, kOutOfMemory},
        {"read the longest lines", [&] { ReadMacroFile(path("longest.mcr")); }, 0},
        {"read a longer line", [&] { ReadMacroFile(path("long.mcr")); }, kOutOfMemory},
        {"write missing folder", [&] { WriteMacroFile(path("none/a.mcr"), "x", {}); },
         kPathNotFound},
        {"write below a file", [&] { WriteMacroFile(path("file.mcr/a.mcr"), "x", {}); },
         kPathNotFound},
        {"write over a folder", [&] { WriteMacroFile(path("folder"), "x", {}); },
         kPathFileAccessError},
    };
    for (const auto& row : rows)
        EXPECT_EQ(failureNumber(row.action), row.number) << row.name;
    EXPECT_EQ(contents(path("file.mcr")), "Wait 1\r\n");
}

TEST_F(MacroFileIO, PermissionDeniedWhereTheUserHasNoRights) {
    if (::geteuid() == 0) GTEST_SKIP() << "root is granted every access";
    const QString file = put("locked.mcr", "Wait 1\r\n");
    ASSERT_EQ(::chmod(QFile::encodeName(file).constData(), 0), 0);
    EXPECT_EQ(failureNumber([&] { ReadMacroFile(file); }), kPermissionDenied);
    ASSERT_EQ(::chmod(QFile::encodeName(file).constData(), 0444), 0);
    EXPECT_EQ(failureNumber([&] { WriteMacroFile(file, "x", {}); }), kPermissionDenied);
    ASSERT_EQ(::chmod(QFile::encodeName(dir_.path()).constData(), 0555), 0);
    EXPECT_EQ(failureNumber([&] { WriteMacroFile(path("new.mcr"), "x", {}); }), kPermissionDenied);
    ::chmod(QFile::encodeName(dir_.path()).constData(), 0755);
    EXPECT_EQ(contents(file), "Wait 1\r\n");
}

TEST_F(MacroFileIO, DiskFullKeepsTheOldFileAndLeavesNoTemporaryFile) {
    const QString file = put("full.mcr", "Wait 1\r\n");
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        // A file size limit makes the kernel refuse writes as a full disk does.
        ::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{4096, 4096};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        int number = 0;
        try {
            WriteMacroFile(file, QString(8192, u'x'), {});
        } catch (const Failure& failure) {
            number = failure.description() == "Disk full" ? failure.number() : 1;
        }
        ::_exit(number);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), kDiskFull);
    EXPECT_EQ(contents(file), "Wait 1\r\n");
    EXPECT_EQ(names(), "full.mcr");
}

TEST_F(MacroFileIO, SavingKeepsPermissionsAndWritesThroughASymbolicLink) {
    const QString target = put("target.mcr", "Wait 1\r\n");
    const QByteArray targetName = QFile::encodeName(target);
    ASSERT_EQ(::chmod(targetName.constData(), 0640), 0);
    ASSERT_TRUE(QFile::link("target.mcr", path("link.mcr")));
    EXPECT_FALSE(WriteMacroFile(path("link.mcr"), "Wait 2\n", {}));
    EXPECT_TRUE(QFileInfo(path("link.mcr")).isSymLink());
    EXPECT_EQ(contents(target), "Wait 2\r\n");
    struct stat info {};
    ASSERT_EQ(::stat(targetName.constData(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0640u);
    EXPECT_EQ(names(), "link.mcr, target.mcr");
}

}  // namespace
}  // namespace tarn::editor

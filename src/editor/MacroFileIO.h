// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Reading and writing macro files for the editor. A file opened and saved
// unchanged comes back byte for byte: its encoding, byte order mark and the
// end of every line are remembered on reading and used again on writing.
//
// Saving never destroys the old file first. The new text goes into an unnamed
// file in the same folder, reaches the disk, and only then gets a name and
// takes the old file's place, so a save cut short leaves no file behind. Where
// replacing the file would split its hard links or hand it to a new owner, or
// the folder takes no new file, the new text is written into the file itself.
// The same happens where the new file could not be given every extended
// attribute of the old one (its access control list included).

#include <QByteArray>
#include <QString>
#include <QtGlobal>
#include <vector>

namespace tarn::editor {

// The ends a line can have in a file. The last three are characters, not line
// ends, but the text area breaks the line at them, so they are kept here with
// the line they end and written back where they were.
enum class LineEnd : unsigned char { CrLf, Lf, Cr, ParagraphSeparator, Fdd0, Fdd1 };

// How a macro file is stored on disk. The default is the form of a new file:
// UTF-8 without a byte order mark, lines ended by CR LF.
struct MacroFileFormat {
    enum class Encoding { Utf8, Windows1252 };
    Encoding encoding = Encoding::Utf8;
    bool byteOrderMark = false;
    // The file's most common line end; a new line gets it.
    LineEnd lineEnd = LineEnd::CrLf;
    // When the file's lines do not all end alike: the end of each line break
    // of the text, in order; empty when every line ends with lineEnd. One byte
    // a line, so a file of uniform lines costs nothing.
    std::vector<LineEnd> lineEnds;
    // A UTF-8 file with a few bytes that are not UTF-8: each such byte stands
    // in the text as the character strayBase + (byte - 0x80), from a block of
    // the private use area the file does not use, and is written back as the
    // byte. 0 when the file has none.
    char16_t strayBase = 0;

    // An edit replaced piRemoved line breaks, starting with the one that ends
    // line piFirstLine (0-based), by piAdded new ones: lines the edit did not
    // touch keep their ends, the new breaks get lineEnd.
    void replaceLineBreaks(qsizetype piFirstLine, qsizetype piRemoved, qsizetype piAdded);
};

// What the disk held when the editor last read or wrote a file: its bytes'
// digest, with its size and time for the report.
struct FileStamp {
    bool exists = false;
    qint64 size = 0;
    qint64 modifiedNs = 0;
    QByteArray digest;  // SHA-256 of the bytes
};

// A byte of a UTF-8 file that is not UTF-8, where the text shows it (1-based).
struct StrayByte {
    qsizetype line = 0;
    qsizetype column = 0;
    unsigned char byte = 0;
};

struct MacroFileText {
    QString text;  // every line break as "\n"
    MacroFileFormat format;
    FileStamp stamp;
    std::vector<StrayByte> strays;
};

// The largest file the editor opens. A file goes into the shown window in
// pieces and only the lines in view are coloured, so opening one of short
// lines costs about 0.2 s of processor time per megabyte and 15 bytes of
// memory per byte of the file (bench/editor_open.py): this keeps opening
// within about two seconds and 160 MB.
constexpr qint64 kMaxMacroFileBytes = 10 * 1024 * 1024;
// The longest line the editor opens and saves without a word, in characters
// (code points). The text area lays a line out whole, when it shows it and
// again for every key typed into it: a line of this length costs about 15 ms a
// key, one of a million characters seconds to show and most of a second a key.
constexpr qsizetype kMaxMacroLineChars = 32768;

// The first line (1-based) of a text ("\n" line breaks) longer than
// kMaxMacroLineChars characters, and its length; {0, 0} when there is none.
struct LongLine {
    qsizetype line = 0;
    qsizetype length = 0;
};
LongLine FirstLineOverLimit(const QString& psvText);

// The description of failure 7 when a file is larger than the editor opens.
QString tooLargeDescription();

// Reads a macro file. Throws tarn::Failure with the runtime's numbers: 53 the
// file does not exist, 76 its folder does not exist, 70 permission denied,
// 75 the path is not a regular file (a folder, a device), 7 the file is larger
// than kMaxMacroFileBytes or has a line longer than kMaxMacroLineChars.
// Valid UTF-8 is UTF-8 (every byte order mark after the first is text); a
// file that is UTF-8 but for a few bytes (no more than it has characters of
// several bytes) is UTF-8 with those bytes kept (strays); anything else is
// Windows-1252.
MacroFileText ReadMacroFile(const QString& psvPath);

// The file as it is on disk now; exists false when there is none. Throws as
// ReadMacroFile for a file that exists but cannot be read.
FileStamp StampOf(const QString& psvPath);
// Whether the file is no longer what the stamp recorded: it appeared, went, or
// its bytes differ (a file only touched, or saved again alike, has not changed).
bool ChangedOnDisk(const QString& psvPath, const FileStamp& poStamp);

// The copies of the file that a save cut short left beside it
// (".NAME.NUMBER.tmp"), oldest first. A save never removes them: the user
// decides what becomes of a copy that may hold the only whole text.
std::vector<QString> LeftoverCopies(const QString& psvPath);

// Writes the text ("\n" line breaks) in the given format, only once the new
// contents are safely on disk; through a symbolic link it writes the link's
// target; the file keeps its permissions, owner and hard links. A file without
// write permission is refused, also for root. Throws tarn::Failure 53, 76,
// 70, 75 or 61 (disk full); the old file is then intact. Returns true when a
// Windows-1252 file had to be written as UTF-8 because a character does not
// exist in that code page. poWritten, when given, receives the stamp of what
// was written.
bool WriteMacroFile(const QString& psvPath, const QString& psvText, const MacroFileFormat& poFormat,
                    FileStamp* poWritten = nullptr);

}  // namespace tarn::editor

#pragma once
// Reading and writing macro files for the editor. A file opened and saved
// unchanged comes back byte for byte: its encoding, byte order mark and line
// ends are remembered on reading and used again on writing. Saving never
// destroys the old file first: the new text goes to a temporary file in the
// same folder, reaches the disk, and only then takes the old file's place.

#include <QByteArray>
#include <QString>
#include <QtGlobal>

namespace tarn::editor {

// How a macro file is stored on disk. The default is the form of a new file:
// UTF-8 without a byte order mark, lines ended by CR LF.
struct MacroFileFormat {
    enum class Encoding { Utf8, Windows1252 };
    Encoding encoding = Encoding::Utf8;
    bool byteOrderMark = false;
    QByteArray lineEnd = "\r\n";
    // The file had more than one kind of line end; it is written back with
    // lineEnd, the end of its first line.
    bool mixedLineEnds = false;
};

struct MacroFileText {
    QString text;  // line ends as "\n"
    MacroFileFormat format;
};

// The largest file the editor opens. A file goes into the shown window in
// pieces and only the lines in view are coloured, so opening one of short
// lines costs about 0.2 s of processor time per megabyte and 15 bytes of
// memory per byte of the file (bench/editor_open.py): this keeps opening
// within about two seconds and 160 MB.
constexpr qint64 kMaxMacroFileBytes = 10 * 1024 * 1024;
// The longest line the editor opens, in UTF-16 code units. The text area lays a
// line out whole, when it shows it and again for every key typed into it: a
// line of this length costs about 15 ms a key, one of a million characters
// seconds to show and most of a second a key.
constexpr qsizetype kMaxMacroLineChars = 32768;

// Reads a macro file. Throws tarn::Failure with the runtime's numbers: 53 the
// file does not exist, 76 its folder does not exist, 70 permission denied,
// 75 the path is not a regular file (a folder, a device), 7 the file is larger
// than kMaxMacroFileBytes or has a line longer than kMaxMacroLineChars.
MacroFileText ReadMacroFile(const QString& psvPath);

// Writes the text ("\n" line ends) in the given format, replacing the file only
// once the new contents are safely on disk; through a symbolic link it writes
// the link's target, and it keeps the old file's permissions. Throws
// tarn::Failure 53, 76, 70, 75 or 61 (disk full); the old file is then intact.
// Returns true when a Windows-1252 file had to be written as UTF-8 because a
// character does not exist in that code page.
bool WriteMacroFile(const QString& psvPath, const QString& psvText,
                    const MacroFileFormat& poFormat);

// Whether the text area holds the text exactly. It takes U+2029 (paragraph
// separator) and U+FDD0 / U+FDD1 (its own frame marks) for line ends, so a file
// holding them would be saved with line ends in their place.
bool textAreaHoldsExactly(const QString& psvText);

}  // namespace tarn::editor

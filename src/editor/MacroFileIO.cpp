// SPDX-License-Identifier: GPL-3.0-or-later
#include "MacroFileIO.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QCryptographicHash>
#include <QRandomGenerator>
#include <QStringDecoder>
#include <algorithm>
#include <array>
#include <cerrno>
#include <string>
#include <string_view>
#include <utility>

#include "Failure.h"
#include "FileAttributes.h"
#include "Utf8.h"

namespace tarn::editor {
namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

// The bytes of each LineEnd, in UTF-8.
constexpr std::array<std::string_view, 6> kLineEndBytes = {
    "\r\n", "\n", "\r", "\xE2\x80\xA9", "\xEF\xB7\x90", "\xEF\xB7\x91"};

std::string_view bytesOf(LineEnd end) {
    return kLineEndBytes[static_cast<std::size_t>(end)];
}

std::string folderOf(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string nameOf(const std::string& path) {
    return path.substr(path.find_last_of('/') + 1);
}

// A missing file in a missing folder is reported as the missing folder, as users
// look for different mistakes in each.
// The folder is named: the number alone does not say which part of the path
// is missing.
[[noreturn]] void throwMissing(const std::string& path, int error) {
    struct stat folder {};
    if (error == ENOENT && ::stat(folderOf(path).c_str(), &folder) != 0) {
        const Failure plain = runtimeFailure(kPathNotFound);
        throw Failure(plain.number(), plain.description() + ": " + folderOf(path), plain.source());
    }
    throw runtimeFailureFromErrno(error);
}

class Descriptor {
  public:
    explicit Descriptor(int fd = -1) : fd_(fd) {}
    ~Descriptor() { reset(); }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const { return fd_; }
    void reset(int fd = -1) {
        if (fd_ >= 0) ::close(fd_);
        fd_ = fd;
    }
    int release() { return std::exchange(fd_, -1); }

  private:
    int fd_;
};

[[noreturn]] void throwTooLarge() {
    throw Failure(kOutOfMemory, tooLargeDescription().toStdString(), kRuntimeSource);
}

// The line ends of the text become "\n", and so do the characters the text
// area breaks a line at; each one's kind is recorded. In place, as the text may
// be large. A line too long for the text area makes the whole file too large.
void takeLineEnds(QString& text, MacroFileFormat& format) {
    std::vector<LineEnd>& ends = format.lineEnds;
    std::array<qsizetype, 3> counts{};  // of CR LF, LF and CR
    QChar* const data = text.data();
    const qsizetype size = text.size();
    qsizetype kept = 0;
    qsizetype lineStart = 0;
    // A character beyond the BMP is two code units, one of them a low surrogate.
    qsizetype lowSurrogates = 0;
    for (qsizetype i = 0; i < size; ++i) {
        const QChar c = data[i];
        LineEnd end;
        if (c == u'\r') {
            const bool pair = i + 1 < size && data[i + 1] == u'\n';
            end = pair ? LineEnd::CrLf : LineEnd::Cr;
            if (pair) ++i;
        } else if (c == u'\n') {
            end = LineEnd::Lf;
        } else if (c == QChar::ParagraphSeparator) {
            end = LineEnd::ParagraphSeparator;
        } else if (c == QChar(0xFDD0)) {
            end = LineEnd::Fdd0;
        } else if (c == QChar(0xFDD1)) {
            end = LineEnd::Fdd1;
        } else {
            if (c.isLowSurrogate()) ++lowSurrogates;
            data[kept++] = c;
            continue;
        }
        if (kept - lineStart - lowSurrogates > kMaxMacroLineChars) throwTooLarge();
        data[kept++] = u'\n';
        lineStart = kept;
        lowSurrogates = 0;
        ends.push_back(end);
        if (end <= LineEnd::Cr) ++counts[static_cast<std::size_t>(end)];
    }
    if (kept - lineStart - lowSurrogates > kMaxMacroLineChars) throwTooLarge();
    text.truncate(kept);
    // The most common real line end, the first line's on a tie, is the file's.
    for (const LineEnd end : ends) {
        if (end > LineEnd::Cr) continue;
        const qsizetype most = *std::max_element(counts.begin(), counts.end());
        for (const LineEnd candidate : {end, LineEnd::CrLf, LineEnd::Lf, LineEnd::Cr}) {
            if (counts[static_cast<std::size_t>(candidate)] == most) {
                format.lineEnd = candidate;
                break;
            }
        }
        break;
    }
    const bool uniform = std::all_of(ends.begin(), ends.end(),
                                     [&format](LineEnd end) { return end == format.lineEnd; });
    if (uniform) {
        ends.clear();
        ends.shrink_to_fit();
    }
}

QByteArray readAll(const std::string& path, struct stat* opened = nullptr) {
    struct stat info {};
    // A folder, a device or a pipe is not opened at all: opening a pipe would
    // wait for a writer, and a device may never end.
    if (::stat(path.c_str(), &info) != 0) throwMissing(path, errno);
    if (!S_ISREG(info.st_mode)) throw runtimeFailure(kPathFileAccessError);
    Descriptor file(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (file.get() < 0) throwMissing(path, errno);
    if (::fstat(file.get(), &info) != 0 || !S_ISREG(info.st_mode)) {
        throw runtimeFailure(kPathFileAccessError);
    }
    // The size is known before anything is read, so a huge file is refused
    // without being loaded.
    if (info.st_size > kMaxMacroFileBytes) throwTooLarge();
    QByteArray bytes(static_cast<qsizetype>(info.st_size), Qt::Uninitialized);
    qsizetype got = 0;
    for (;;) {
        // One byte more than expected tells a file that grew since fstat.
        if (got == bytes.size()) {
            if (bytes.size() >= kMaxMacroFileBytes + 1) throwTooLarge();
            bytes.resize(std::min<qint64>(kMaxMacroFileBytes + 1, bytes.size() + 65536));
        }
        const ssize_t n = ::read(file.get(), bytes.data() + got, bytes.size() - got);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) throw runtimeFailureFromErrno(errno);
        if (n == 0) break;
        got += n;
    }
    if (got > kMaxMacroFileBytes) throwTooLarge();
    bytes.truncate(got);
    if (opened) ::fstat(file.get(), opened);
    return bytes;
}

// The file a save replaces: a symbolic link is followed to its target, so the
// link stays and the file it names gets the new text.
std::string targetOf(const std::string& path) {
    std::string target = path;
    for (int hops = 0; hops < 40; ++hops) {
        struct stat info {};
        if (::lstat(target.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) return target;
        std::string link(static_cast<std::size_t>(info.st_size > 0 ? info.st_size : 4096), '\0');
        const ssize_t n = ::readlink(target.c_str(), link.data(), link.size());
        if (n < 0) throw runtimeFailureFromErrno(errno);
        link.resize(static_cast<std::size_t>(n));
        target = link.front() == '/' ? link : folderOf(target) + "/" + link;
    }
    throw runtimeFailure(kPathFileAccessError);  // a loop of links
}

void writeAll(int fd, const QByteArray& bytes) {
    const char* data = bytes.constData();
    qsizetype left = bytes.size();
    off_t at = 0;
    while (left > 0) {
        const ssize_t n = ::pwrite(fd, data, static_cast<std::size_t>(left), at);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) throw runtimeFailureFromErrno(errno);
        data += n;
        left -= n;
        at += n;
    }
}

// The name a save gives its new text while it is not yet the file.
std::string temporaryName(const std::string& target) {
    return folderOf(target) + "/." + nameOf(target) + "." +
           std::to_string(QRandomGenerator::global()->bounded(1000000000)) + ".tmp";
}

bool isTemporaryNameOf(const std::string& name, const std::string& target) {
    const std::string prefix = "." + nameOf(target) + ".";
    const std::string_view suffix = ".tmp";
    if (name.size() <= prefix.size() + suffix.size() ||
        name.compare(0, prefix.size(), prefix) != 0 ||
        name.compare(name.size() - suffix.size(), suffix.size(), suffix) != 0) {
        return false;
    }
    const std::string number =
        name.substr(prefix.size(), name.size() - prefix.size() - suffix.size());
    return std::all_of(number.begin(), number.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// The new text's file beside the target: unnamed where the file system has
// such files, else under a temporary name. A name of "" means unnamed.
struct NewFile {
    Descriptor fd;
    std::string name;
    bool named() const { return !name.empty(); }
};

// Creates the new file; false with errno set when the folder refuses it.
bool createNamed(const std::string& target, NewFile& file) {
    for (int attempt = 0; attempt < 100; ++attempt) {
        file.name = temporaryName(target);
        file.fd.reset(::open(file.name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
        if (file.fd.get() >= 0) return true;
        if (errno != EEXIST) {
            file.name.clear();
            return false;
        }
    }
    file.name.clear();
    errno = EEXIST;
    return false;
}

bool createBeside(const std::string& target, NewFile& file) {
#ifdef O_TMPFILE
    file.fd.reset(::open(folderOf(target).c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666));
    if (file.fd.get() >= 0) return true;
    // Older kernels and some file systems have no unnamed files.
    if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL) return false;
#endif
    return createNamed(target, file);
}

// Puts the new text into the new file, on disk, with the old file's owner,
// extended attributes and permissions when there is one (`from`); false when
// its owner or an attribute could not be kept.
bool fill(NewFile& file, const struct stat* old, const std::string& from, const QByteArray& bytes) {
    bool ownerKept = true;
    if (old) {
        // Owner first: changing it clears the set-user-ID bits that the mode
        // restores. The mode last: its group bits are the old access control
        // list's mask, which it sets again, where before the list it would
        // give the group itself what the mask allowed.
        ownerKept = ::fchown(file.fd.get(), old->st_uid, old->st_gid) == 0;
        ownerKept = carryAttributes(from, file.fd.get()) && ownerKept;
        if (::fchmod(file.fd.get(), old->st_mode & 07777) != 0)
            throw runtimeFailureFromErrno(errno);
    }
    writeAll(file.fd.get(), bytes);
    if (::fsync(file.fd.get()) != 0) throw runtimeFailureFromErrno(errno);
    return ownerKept;
}

// Gives an unnamed file the name; 0 or the error.
int link(int fd, const std::string& name) {
    if (::linkat(fd, "", AT_FDCWD, name.c_str(), AT_EMPTY_PATH) == 0) return 0;
    // Without the privilege to link a descriptor, its entry in /proc will do.
    const std::string proc = "/proc/self/fd/" + std::to_string(fd);
    if (::linkat(AT_FDCWD, proc.c_str(), AT_FDCWD, name.c_str(), AT_SYMLINK_FOLLOW) == 0) return 0;
    return errno;
}

// Names the new file with a temporary name (a no-op when it has one). An
// unnamed file that cannot be linked (no /proc) is made again with a name.
void nameTemporarily(NewFile& file, const std::string& target, const struct stat* old,
                     const QByteArray& bytes) {
    const std::string from = old ? target : std::string();
    for (int attempt = 0; !file.named() && attempt < 100; ++attempt) {
        const std::string name = temporaryName(target);
        const int error = link(file.fd.get(), name);
        if (error == 0) {
            file.name = name;
        } else if (error != EEXIST) {
            if (!createNamed(target, file)) throw runtimeFailureFromErrno(errno);
            fill(file, old, from, bytes);
        }
    }
    if (!file.named()) throw runtimeFailure(kPathFileAccessError);
}

void syncFolder(const std::string& target) {
    Descriptor folder(::open(folderOf(target).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (folder.get() >= 0) ::fsync(folder.get());
}

// Overwrites the file's contents where they are: its inode, and with it its
// hard links, owner and permissions, stays. The room for a longer text is
// taken first, so a full disk is found before any old byte is overwritten.
void writeInPlace(const std::string& target, const QByteArray& bytes) {
    Descriptor file(::open(target.c_str(), O_WRONLY | O_CLOEXEC));
    if (file.get() < 0) throwMissing(target, errno);
    if (!bytes.isEmpty() && ::fallocate(file.get(), 0, 0, bytes.size()) != 0 &&
        errno != EOPNOTSUPP && errno != ENOSYS) {
        throw runtimeFailureFromErrno(errno);
    }
    writeAll(file.get(), bytes);
    if (::ftruncate(file.get(), bytes.size()) != 0) throw runtimeFailureFromErrno(errno);
    if (::fsync(file.get()) != 0) throw runtimeFailureFromErrno(errno);
    if (::close(file.release()) != 0) throw runtimeFailureFromErrno(errno);
}

// The failure of a save that can neither make a file in the folder nor write
// the file itself; it names the folder the user has to look at.
[[noreturn]] void throwFolderRefuses(const std::string& target, int error) {
    if (error != EACCES && error != EPERM && error != EROFS) throwMissing(target, error);
    const Failure plain = runtimeFailureFromErrno(error);
    throw Failure(plain.number(),
                  plain.description() + ": the folder " + folderOf(target) +
                      " does not let new files be made in it",
                  plain.source());
}

bool refusedByFolder(int error) {
    return error == EACCES || error == EPERM || error == EROFS;
}

// Whether the file may be written: its permissions allow it, and for root, who
// is granted everything, at least one write permission is set, so a file made
// read-only stays read-only.
bool writable(const std::string& target, const struct stat& info) {
    if (::geteuid() == 0) return (info.st_mode & 0222) != 0;
    return ::faccessat(AT_FDCWD, target.c_str(), W_OK, AT_EACCESS) == 0;
}

// The bytes of the text with each line's end, in UTF-8.
QByteArray withLineEnds(const QString& psvText, const MacroFileFormat& poFormat) {
    QByteArray bytes = psvText.toUtf8();
    const std::string_view common = bytesOf(poFormat.lineEnd);
    if (poFormat.lineEnds.empty()) {
        if (common != "\n") {
            bytes.replace('\n', QByteArray(common.data(), static_cast<qsizetype>(common.size())));
        }
        return bytes;
    }
    QByteArray out;
    out.reserve(bytes.size() + bytes.count('\n') * 2);
    std::size_t line = 0;
    qsizetype from = 0;
    for (qsizetype at = bytes.indexOf('\n'); at >= 0; at = bytes.indexOf('\n', from)) {
        out.append(bytes.constData() + from, at - from);
        const std::string_view end =
            line < poFormat.lineEnds.size() ? bytesOf(poFormat.lineEnds[line]) : common;
        out.append(end.data(), static_cast<qsizetype>(end.size()));
        ++line;
        from = at + 1;
    }
    out.append(bytes.constData() + from, bytes.size() - from);
    return out;
}

// The stray bytes of a file back in place of the characters that stood for them.
void putStraysBack(QByteArray& bytes, char16_t base) {
    qsizetype kept = 0;
    char* const data = bytes.data();
    for (qsizetype i = 0; i < bytes.size();) {
        // Every character of the block is three bytes in UTF-8: EF, then two more.
        if (static_cast<unsigned char>(data[i]) == 0xEF && i + 2 < bytes.size()) {
            const char16_t c = static_cast<char16_t>(
                ((data[i] & 0x0F) << 12) | ((data[i + 1] & 0x3F) << 6) | (data[i + 2] & 0x3F));
            if (c >= base && c < base + 0x80) {
                data[kept++] = static_cast<char>(0x80 + (c - base));
                i += 3;
                continue;
            }
        }
        data[kept++] = data[i++];
    }
    bytes.truncate(kept);
}

// The bytes of the text in the file's encoding, or in UTF-8 when the text does
// not survive the trip through Windows-1252.
QByteArray encode(const QString& psvText, const MacroFileFormat& poFormat, bool& pbAsUtf8) {
    QByteArray bytes = withLineEnds(psvText, poFormat);
    pbAsUtf8 = false;
    if (poFormat.encoding == MacroFileFormat::Encoding::Windows1252) {
        const std::string_view text(bytes.constData(), static_cast<std::size_t>(bytes.size()));
        std::string code = utf8::toWindows1252(text);
        // Every character fits when the bytes decode back to the text. They must
        // also not read as UTF-8, or the file would be read back as other
        // characters ("Ã©" written in Windows-1252 reads as "é").
        if (utf8::fromWindows1252(code) == text && (code == text || !utf8::isValid(code))) {
            return QByteArray(code.data(), static_cast<qsizetype>(code.size()));
        }
        pbAsUtf8 = true;
        return bytes;
    }
    if (poFormat.strayBase != 0) putStraysBack(bytes, poFormat.strayBase);
    if (poFormat.byteOrderMark) {
        bytes.prepend(kByteOrderMark.data(), static_cast<qsizetype>(kByteOrderMark.size()));
    }
    return bytes;
}

// UTF-8 without taking a byte order mark away: Qt's own decoding drops one at
// the start, which would be the second of a file that has two.
QString fromUtf8(const char* data, qsizetype size) {
    QStringDecoder decode(QStringConverter::Utf8, QStringConverter::Flag::ConvertInitialBom);
    return decode(QByteArrayView(data, size));
}

// A file that is UTF-8 but for a few bytes: no more bytes that are not
// UTF-8 than characters of several bytes, which a Windows-1252 text
// practically never forms. The stray bytes stand in the text as characters of
// a private use block the file's own text does not use. Empty text and a
// base of 0 when the file is not such a file.
struct StrayDecoded {
    QString text;
    char16_t base = 0;
    std::vector<StrayByte> strays;
};

StrayDecoded decodeWithStrays(std::string_view bytes, bool byteOrderMark) {
    StrayDecoded out;
    std::size_t multiByte = 0;
    std::size_t stray = 0;
    std::vector<bool> used(0x1900 / 0x80);  // the blocks of U+E000..U+F8FF
    for (std::size_t pos = 0; pos < bytes.size();) {
        const std::size_t before = pos;
        const char32_t c = utf8::next(bytes, pos);
        if (pos - before == 1 && static_cast<unsigned char>(bytes[before]) >= 0x80) {
            ++stray;
        } else if (pos - before > 1) {
            ++multiByte;
            if (c >= 0xE000 && c < 0xF900) used[(c - 0xE000) / 0x80] = true;
        }
    }
    if (stray == 0 || stray > multiByte) return out;
    // The highest free block, away from the start of the area that fonts and
    // input methods tend to use.
    for (std::size_t block = used.size(); block-- > 0;) {
        if (!used[block]) {
            out.base = static_cast<char16_t>(0xE000 + block * 0x80);
            break;
        }
    }
    if (out.base == 0) return out;
    const std::size_t start = byteOrderMark ? kByteOrderMark.size() : 0;
    std::string text;
    text.reserve(bytes.size() * 2);
    qsizetype line = 1;
    qsizetype column = 1;
    for (std::size_t pos = start; pos < bytes.size();) {
        const std::size_t before = pos;
        const char32_t c = utf8::next(bytes, pos);
        const auto lead = static_cast<unsigned char>(bytes[before]);
        if (pos - before == 1 && lead >= 0x80) {
            out.strays.push_back({line, column, lead});
            utf8::append(text, out.base + (lead - 0x80));
        } else {
            text.append(bytes.substr(before, pos - before));
        }
        // Lines as the editor counts them: CR LF, CR and LF each end one.
        const bool crLf = c == U'\r' && pos < bytes.size() && bytes[pos] == '\n';
        if ((c == U'\r' && !crLf) || c == U'\n') {
            ++line;
            column = 1;
        } else if (!crLf) {
            ++column;
        }
    }
    out.text = fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
    return out;
}

FileStamp stampOf(const QByteArray& bytes, const struct stat& info) {
    FileStamp stamp;
    stamp.exists = true;
    stamp.size = bytes.size();
    stamp.modifiedNs = static_cast<qint64>(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec;
    stamp.digest = QCryptographicHash::hash(bytes, QCryptographicHash::Sha256);
    return stamp;
}

// A file that does not exist yet: an unnamed file gets the name itself once
// its text is on disk, so nothing but the whole file ever has it.
void writeNewFile(const std::string& target, const QByteArray& bytes) {
    NewFile file;
    if (!createBeside(target, file)) throwFolderRefuses(target, errno);
    try {
        fill(file, nullptr, std::string(), bytes);
        // Made meanwhile, or no link possible: named and renamed as any file.
        if (!file.named() && link(file.fd.get(), target) == 0) return;
        nameTemporarily(file, target, nullptr, bytes);
        if (::rename(file.name.c_str(), target.c_str()) != 0) throw runtimeFailureFromErrno(errno);
    } catch (...) {
        if (file.named()) ::unlink(file.name.c_str());
        throw;
    }
}

// A file that exists: replaced by the new file when that keeps everything the
// file is (owner, attributes, links), else overwritten in place, after the new
// text is on disk beside it (under a temporary name, so a save cut short
// leaves the whole text there).
void writeExistingFile(const std::string& target, const struct stat& old, const QByteArray& bytes) {
    NewFile file;
    if (!createBeside(target, file)) {
        // A folder that takes no new file: the file itself still can be written.
        if (!refusedByFolder(errno)) throwMissing(target, errno);
        writeInPlace(target, bytes);
        return;
    }
    try {
        const bool everythingKept = fill(file, &old, target, bytes);
        nameTemporarily(file, target, &old, bytes);
        if (everythingKept && old.st_nlink == 1) {
            if (::rename(file.name.c_str(), target.c_str()) != 0)
                throw runtimeFailureFromErrno(errno);
            return;
        }
        writeInPlace(target, bytes);
        ::unlink(file.name.c_str());
    } catch (...) {
        if (file.named()) ::unlink(file.name.c_str());
        throw;
    }
}

}  // namespace

void MacroFileFormat::replaceLineBreaks(qsizetype piFirstLine, qsizetype piRemoved,
                                        qsizetype piAdded) {
    if (lineEnds.empty()) return;  // every line ends alike, new ones too
    const auto size = static_cast<qsizetype>(lineEnds.size());
    const qsizetype first = std::clamp<qsizetype>(piFirstLine, 0, size);
    const qsizetype removed = std::clamp<qsizetype>(piRemoved, 0, size - first);
    lineEnds.erase(lineEnds.begin() + first, lineEnds.begin() + first + removed);
    lineEnds.insert(lineEnds.begin() + first,
                    static_cast<std::size_t>(std::max<qsizetype>(0, piAdded)), lineEnd);
}

QString tooLargeDescription() {
    return QStringLiteral(
               "The file is larger than the editor opens (%1 MB, or a line of %2 "
               "characters)")
        .arg(kMaxMacroFileBytes / (1024 * 1024))
        .arg(kMaxMacroLineChars);
}

LongLine FirstLineOverLimit(const QString& psvText) {
    qsizetype line = 1;
    qsizetype length = 0;
    for (qsizetype i = 0; i <= psvText.size(); ++i) {
        if (i == psvText.size() || psvText[i] == u'\n') {
            if (length > kMaxMacroLineChars) return {line, length};
            ++line;
            length = 0;
        } else if (!psvText[i].isLowSurrogate()) {
            ++length;
        }
    }
    return {};
}

FileStamp StampOf(const QString& psvPath) {
    struct stat info {};
    if (::stat(psvPath.toStdString().c_str(), &info) != 0 && errno == ENOENT) return {};
    const QByteArray bytes = readAll(psvPath.toStdString(), &info);
    return stampOf(bytes, info);
}

bool ChangedOnDisk(const QString& psvPath, const FileStamp& poStamp) {
    const FileStamp now = StampOf(psvPath);
    return now.exists != poStamp.exists || now.digest != poStamp.digest;
}

std::vector<QString> LeftoverCopies(const QString& psvPath) {
    std::vector<std::pair<qint64, QString>> found;
    const std::string target = targetOf(psvPath.toStdString());
    DIR* folder = ::opendir(folderOf(target).c_str());
    if (!folder) return {};
    while (const dirent* entry = ::readdir(folder)) {
        const std::string name = entry->d_name;
        if (!isTemporaryNameOf(name, target)) continue;
        struct stat info {};
        const std::string path = folderOf(target) + "/" + name;
        if (::lstat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode)) {
            found.emplace_back(
                static_cast<qint64>(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec,
                QString::fromStdString(path));
        }
    }
    ::closedir(folder);
    std::sort(found.begin(), found.end());
    std::vector<QString> paths;
    for (auto& [time, path] : found)
        paths.push_back(std::move(path));
    return paths;
}

MacroFileText ReadMacroFile(const QString& psvPath) {
    if (psvPath.isEmpty()) throw runtimeFailure(kFileNotFound);
    struct stat info {};
    const QByteArray bytes = readAll(psvPath.toStdString(), &info);
    const std::string_view view(bytes.constData(), static_cast<std::size_t>(bytes.size()));
    MacroFileText file;
    file.stamp = stampOf(bytes, info);
    const bool byteOrderMark = view.substr(0, kByteOrderMark.size()) == kByteOrderMark;
    // The interpreter's rule: valid UTF-8 is UTF-8, anything else Windows-1252;
    // a few stray bytes do not make a UTF-8 file Windows-1252.
    StrayDecoded strays;
    if (utf8::isValid(view)) {
        file.format.byteOrderMark = byteOrderMark;
        const qsizetype skip = file.format.byteOrderMark ? kByteOrderMark.size() : 0;
        file.text = fromUtf8(bytes.constData() + skip, bytes.size() - skip);
    } else if (strays = decodeWithStrays(view, byteOrderMark); strays.base != 0) {
        file.format.byteOrderMark = byteOrderMark;
        file.format.strayBase = strays.base;
        file.text = std::move(strays.text);
        file.strays = std::move(strays.strays);
    } else {
        file.format.encoding = MacroFileFormat::Encoding::Windows1252;
        const std::string text = utf8::fromWindows1252(view);
        file.text = QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
    }
    takeLineEnds(file.text, file.format);
    return file;
}

bool WriteMacroFile(const QString& psvPath, const QString& psvText, const MacroFileFormat& poFormat,
                    FileStamp* poWritten) {
    if (psvPath.isEmpty()) throw runtimeFailure(kFileNotFound);
    bool asUtf8 = false;
    const QByteArray bytes = encode(psvText, poFormat, asUtf8);
    const std::string target = targetOf(psvPath.toStdString());

    struct stat old {};
    const bool exists = ::stat(target.c_str(), &old) == 0;
    if (!exists && errno != ENOENT) throwMissing(target, errno);
    if (exists && !S_ISREG(old.st_mode)) throw runtimeFailure(kPathFileAccessError);
    // A file the user made read-only is not replaced behind their back.
    if (exists && !writable(target, old)) throw runtimeFailure(kPermissionDenied);

    if (exists) {
        writeExistingFile(target, old, bytes);
    } else {
        writeNewFile(target, bytes);
    }
    // The new name reaches the disk with the folder.
    syncFolder(target);
    if (poWritten) {
        struct stat written {};
        if (::stat(target.c_str(), &written) != 0) throw runtimeFailureFromErrno(errno);
        *poWritten = stampOf(bytes, written);
    }
    return asUtf8;
}

}  // namespace tarn::editor

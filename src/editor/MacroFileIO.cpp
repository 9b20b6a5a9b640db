#include "MacroFileIO.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QRandomGenerator>
#include <algorithm>
#include <cerrno>
#include <string>
#include <string_view>
#include <utility>

#include "Failure.h"
#include "Utf8.h"

namespace tarn::editor {
namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

std::string folderOf(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

// A missing file in a missing folder is reported as the missing folder, as users
// look for different mistakes in each.
[[noreturn]] void throwMissing(const std::string& path, int error) {
    struct stat folder {};
    if (error == ENOENT && ::stat(folderOf(path).c_str(), &folder) != 0) {
        throw runtimeFailure(kPathNotFound);
    }
    throw runtimeFailureFromErrno(error);
}

class Descriptor {
  public:
    explicit Descriptor(int fd) : fd_(fd) {}
    ~Descriptor() {
        if (fd_ >= 0) ::close(fd_);
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const { return fd_; }
    int release() { return std::exchange(fd_, -1); }

  private:
    int fd_;
};

[[noreturn]] void throwTooLarge() {
    throw runtimeFailure(kOutOfMemory);
}

// The line ends of the text become "\n"; the first one found is the file's.
// In place, as the text may be large. A line too long for the text area makes
// the whole file too large.
void takeLineEnds(QString& text, MacroFileFormat& format) {
    QByteArray first;
    QChar* const data = text.data();
    const qsizetype size = text.size();
    qsizetype kept = 0;
    qsizetype lineStart = 0;
    for (qsizetype i = 0; i < size; ++i) {
        const QChar c = data[i];
        const char* end = nullptr;
        if (c == u'\r') {
            const bool pair = i + 1 < size && data[i + 1] == u'\n';
            end = pair ? "\r\n" : "\r";
            if (pair) ++i;
        } else if (c == u'\n') {
            end = "\n";
        }
        if (!end) {
            data[kept++] = c;
            continue;
        }
        if (kept - lineStart > kMaxMacroLineChars) throwTooLarge();
        data[kept++] = u'\n';
        lineStart = kept;
        if (first.isEmpty()) {
            first = end;
        } else if (first != end) {
            format.mixedLineEnds = true;
        }
    }
    if (kept - lineStart > kMaxMacroLineChars) throwTooLarge();
    text.truncate(kept);
    if (!first.isEmpty()) format.lineEnd = first;
}

QByteArray readAll(const std::string& path) {
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
    while (left > 0) {
        const ssize_t n = ::write(fd, data, static_cast<std::size_t>(left));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) throw runtimeFailureFromErrno(errno);
        data += n;
        left -= n;
    }
}

// A new file in the target's folder under a name no other file has, created
// with the permissions the process's umask gives.
int createTemporary(const std::string& target, std::string& temporary) {
    const std::string folder = folderOf(target);
    const std::string name = target.substr(target.find_last_of('/') + 1);
    for (int attempt = 0; attempt < 100; ++attempt) {
        temporary = folder + "/." + name + "." +
                    std::to_string(QRandomGenerator::global()->bounded(1000000000)) + ".tmp";
        const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0) return fd;
        if (errno != EEXIST) throwMissing(target, errno);
    }
    throw runtimeFailure(kPathFileAccessError);
}

// The bytes of the text in the file's encoding, or in UTF-8 when the text does
// not survive the trip through Windows-1252.
QByteArray encode(const QString& psvText, const MacroFileFormat& poFormat, bool& pbAsUtf8) {
    QByteArray bytes = psvText.toUtf8();
    if (poFormat.lineEnd != "\n") bytes.replace('\n', poFormat.lineEnd);
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
    if (poFormat.byteOrderMark) {
        bytes.prepend(kByteOrderMark.data(), static_cast<qsizetype>(kByteOrderMark.size()));
    }
    return bytes;
}

}  // namespace

MacroFileText ReadMacroFile(const QString& psvPath) {
    if (psvPath.isEmpty()) throw runtimeFailure(kFileNotFound);
    const QByteArray bytes = readAll(psvPath.toStdString());
    const std::string_view view(bytes.constData(), static_cast<std::size_t>(bytes.size()));
    MacroFileText file;
    // The interpreter's rule: valid UTF-8 is UTF-8, anything else Windows-1252.
    if (utf8::isValid(view)) {
        file.format.byteOrderMark = view.substr(0, kByteOrderMark.size()) == kByteOrderMark;
        const qsizetype skip = file.format.byteOrderMark ? kByteOrderMark.size() : 0;
        file.text = QString::fromUtf8(bytes.constData() + skip, bytes.size() - skip);
    } else {
        file.format.encoding = MacroFileFormat::Encoding::Windows1252;
        const std::string text = utf8::fromWindows1252(view);
        file.text = QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
    }
    takeLineEnds(file.text, file.format);
    return file;
}

bool WriteMacroFile(const QString& psvPath, const QString& psvText,
                    const MacroFileFormat& poFormat) {
    if (psvPath.isEmpty()) throw runtimeFailure(kFileNotFound);
    bool asUtf8 = false;
    const QByteArray bytes = encode(psvText, poFormat, asUtf8);
    const std::string target = targetOf(psvPath.toStdString());

    struct stat old {};
    const bool exists = ::stat(target.c_str(), &old) == 0;
    if (!exists && errno != ENOENT) throw runtimeFailureFromErrno(errno);
    if (exists && !S_ISREG(old.st_mode)) throw runtimeFailure(kPathFileAccessError);
    // A file the user made read-only is not replaced behind their back.
    if (exists && ::access(target.c_str(), W_OK) != 0) throw runtimeFailureFromErrno(errno);

    std::string temporary;
    Descriptor file(createTemporary(target, temporary));
    try {
        if (exists) {
            // Owner first: changing it clears the set-user-ID bits that the mode restores.
            if (::fchown(file.get(), old.st_uid, old.st_gid) != 0) {
                // Only the owner's group may be out of reach; the file stays ours.
            }
            if (::fchmod(file.get(), old.st_mode & 07777) != 0)
                throw runtimeFailureFromErrno(errno);
        }
        writeAll(file.get(), bytes);
        if (::fsync(file.get()) != 0) throw runtimeFailureFromErrno(errno);
        if (::close(file.release()) != 0) throw runtimeFailureFromErrno(errno);
        if (::rename(temporary.c_str(), target.c_str()) != 0) throw runtimeFailureFromErrno(errno);
    } catch (...) {
        ::unlink(temporary.c_str());
        throw;
    }
    // The new name reaches the disk with the folder.
    Descriptor folder(::open(folderOf(target).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (folder.get() >= 0) ::fsync(folder.get());
    return asUtf8;
}

bool textAreaHoldsExactly(const QString& psvText) {
    for (const QChar c : psvText) {
        if (c == QChar::ParagraphSeparator || c == QChar(0xFDD0) || c == QChar(0xFDD1)) {
            return false;
        }
    }
    return true;
}

}  // namespace tarn::editor

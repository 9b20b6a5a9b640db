// SPDX-License-Identifier: GPL-3.0-or-later
#include "MacroFile.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "Failure.h"
#include "Utf8.h"

namespace tarn {
namespace {

// How often a wait for a pipe's writer looks whether the run was stopped.
constexpr int kStopCheckMilliseconds = 100;

bool wasStopped(const MacroFile::StopCheck& stopped) {
    return stopped && stopped();
}

// Whether the stream holds valid UTF-8 from its current position on. Reads
// in blocks so that the file's size does not matter, and stops at the first
// line longer than a line may be: the run stops there, so what follows has
// no say in the encoding, and a file of one endless line (a sparse file of
// gigabytes) is refused at once instead of after a scan to its end. Sets
// *interrupted and stops when `stopped` says so between two blocks.
bool streamIsUtf8(std::FILE* file, const MacroFile::StopCheck& stopped, bool* interrupted) {
    char block[65536];
    std::string carry;  // an incomplete sequence at the end of the previous block
    std::size_t got, lineLength = 0;
    while ((got = std::fread(block, 1, sizeof block, file)) > 0) {
        std::size_t used = got;
        for (std::size_t i = 0; i < got; ++i) {
            lineLength = (block[i] == '\n' || block[i] == '\r') ? 0 : lineLength + 1;
            if (lineLength > kMaxLineBytes) {
                used = i;
                break;
            }
        }
        std::string chunk = carry + std::string(block, used);
        // Hold back a sequence that the block boundary may have cut.
        const std::size_t cut = utf8::completeLength(chunk);
        if (!utf8::isValid(std::string_view(chunk).substr(0, cut))) return false;
        carry = chunk.substr(cut);
        if (used < got) return true;
        if (wasStopped(stopped)) {
            *interrupted = true;
            return false;
        }
    }
    return carry.empty();
}

// The encoding is decided by reading the text before the first line is
// returned, which a pipe allows only once: its text is copied into an unnamed
// temporary file first, so memory stays bounded as for a file. A pipe may
// never end (`yes |`, `cat /dev/zero |`): a line past the line limit ends the
// copy at once, and so does more text than any macro holds. A pipe may also
// never be written (a named one nobody opens for writing): the copy waits
// for text in steps, asking `stopped` between them, and gives nullptr when
// the run was stopped meanwhile.
std::FILE* spool(int source, const MacroFile::StopCheck& stopped) {
    std::FILE* copy = std::tmpfile();
    if (!copy) throw runtimeFailureFromErrno(errno);
    struct Closer {
        std::FILE*& file;
        ~Closer() {
            if (file) std::fclose(file);
        }
    } closer{copy};
    char block[65536];
    std::size_t total = 0, lineLength = 0;
    for (;;) {
        pollfd ready{source, POLLIN, 0};
        const int events = ::poll(&ready, 1, kStopCheckMilliseconds);
        if (events < 0 && errno != EINTR) throw runtimeFailure(kPathFileAccessError);
        if (events <= 0) {
            if (wasStopped(stopped)) return nullptr;
            continue;
        }
        const ssize_t got = ::read(source, block, sizeof block);
        if (got < 0) {
            if (errno == EAGAIN || errno == EINTR) continue;
            throw runtimeFailure(kPathFileAccessError);
        }
        if (got == 0) break;
        const auto length = static_cast<std::size_t>(got);
        for (std::size_t i = 0; i < length; ++i)
            lineLength = (block[i] == '\n' || block[i] == '\r') ? 0 : lineLength + 1;
        total += length;
        if (lineLength > kMaxLineBytes) throw lineTooLongFailure();
        if (total > kMaxPipedBytes) {
            throw Failure(kOutOfMemory,
                          "Out of memory: a macro read from a pipe may hold at most 64 MiB",
                          kRuntimeSource);
        }
        if (std::fwrite(block, 1, length, copy) != length) throw runtimeFailure(kDiskFull);
        if (wasStopped(stopped)) return nullptr;
    }
    if (std::fflush(copy) != 0 || std::fseek(copy, 0, SEEK_SET) != 0)
        throw runtimeFailure(kPathFileAccessError);
    std::FILE* done = copy;
    copy = nullptr;
    return done;
}

}  // namespace

Failure lineTooLongFailure() {
    return Failure(kLineTooLong,
                   "Line too long: a macro line may hold at most 1 MiB (1,048,576 bytes)",
                   kRuntimeSource);
}

bool MacroFile::open(const std::string& path, const StopCheck& stopped) {
    close();
    if (path.empty()) throw runtimeFailure(kFileNotFound);
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) {
        const int error = errno;
        // A missing folder is told apart from a missing file, as users look for
        // different mistakes in each.
        const std::size_t slash = path.find_last_of('/');
        struct stat folder {};
        if (error == ENOENT && slash != std::string::npos && slash > 0 &&
            ::stat(path.substr(0, slash).c_str(), &folder) != 0) {
            throw runtimeFailure(kPathNotFound);
        }
        throw runtimeFailureFromErrno(error);
    }
    const bool pipe = S_ISFIFO(info.st_mode) || S_ISSOCK(info.st_mode);
    if (!S_ISREG(info.st_mode) && !pipe) throw runtimeFailure(kPathFileAccessError);
    if (!pipe) {
        std::FILE* file = std::fopen(path.c_str(), "rb");
        if (!file) throw runtimeFailureFromErrno(errno);
        return adopt(file, stopped);
    }
    // Opening a named pipe for reading waits for a writer, and no signal ends
    // that wait; without the wait the pipe opens at once, and spool() waits
    // for text in steps that a stop can end.
    int fd;
    do {
        fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) throw runtimeFailureFromErrno(errno);
    std::FILE* copy = nullptr;
    try {
        copy = spool(fd, stopped);
    } catch (...) {
        ::close(fd);
        throw;
    }
    ::close(fd);
    return copy && adopt(copy, stopped);
}

bool MacroFile::openStandardInput(const StopCheck& stopped) {
    close();
    std::FILE* copy = spool(STDIN_FILENO, stopped);
    return copy && adopt(copy, stopped);
}

bool MacroFile::adopt(std::FILE* file, const StopCheck& stopped) {
    // A UTF-8 byte order mark is no part of the first statement, whatever
    // encoding the rest of the file turns out to have.
    unsigned char mark[3] = {};
    const bool hasMark =
        std::fread(mark, 1, 3, file) == 3 && mark[0] == 0xEF && mark[1] == 0xBB && mark[2] == 0xBF;
    const long textStart = hasMark ? 3 : 0;
    bool interrupted = false;
    bool utf8 =
        std::fseek(file, textStart, SEEK_SET) == 0 && streamIsUtf8(file, stopped, &interrupted);
    if (interrupted) {
        std::fclose(file);
        return false;
    }
    if (std::ferror(file) || std::fseek(file, textStart, SEEK_SET) != 0) {
        std::fclose(file);
        throw runtimeFailure(kPathFileAccessError);
    }
    windows1252_ = !utf8;
    file_ = file;
    pushedBack_ = EOF;
    return true;
}

void MacroFile::close() {
    if (file_) std::fclose(file_);
    file_ = nullptr;
}

int MacroFile::get() {
    if (pushedBack_ != EOF) {
        const int c = pushedBack_;
        pushedBack_ = EOF;
        return c;
    }
    return std::getc(file_);
}

bool MacroFile::readLine(std::string& line) {
    line.clear();
    if (!file_) return false;
    int c = get();
    if (c == EOF) {
        if (std::ferror(file_)) throw runtimeFailure(kPathFileAccessError);
        return false;
    }
    std::string bytes;
    while (c != EOF && c != '\r' && c != '\n') {
        if (bytes.size() == kMaxLineBytes) throw lineTooLongFailure();
        bytes += static_cast<char>(c);
        c = get();
    }
    if (c == '\r') {
        const int next = get();
        if (next != '\n') pushedBack_ = next;
    }
    if (c == EOF && std::ferror(file_)) throw runtimeFailure(kPathFileAccessError);
    line = windows1252_ ? utf8::fromWindows1252(bytes) : std::move(bytes);
    return true;
}

}  // namespace tarn

// SPDX-License-Identifier: GPL-3.0-or-later
#include "MacroFile.h"

#include <sys/stat.h>

#include <cerrno>

#include "Failure.h"
#include "Utf8.h"

namespace tarn {
namespace {

// Whether the stream holds valid UTF-8 from its current position to its end.
// Reads in blocks so that the file's size does not matter.
bool streamIsUtf8(std::FILE* file) {
    char block[65536];
    std::string carry;  // an incomplete sequence at the end of the previous block
    std::size_t got;
    while ((got = std::fread(block, 1, sizeof block, file)) > 0) {
        std::string chunk = carry + std::string(block, got);
        // Hold back a sequence that the block boundary may have cut.
        const std::size_t cut = utf8::completeLength(chunk);
        if (!utf8::isValid(std::string_view(chunk).substr(0, cut))) return false;
        carry = chunk.substr(cut);
    }
    return carry.empty();
}

// The encoding is decided by reading the text to its end before the first
// line is returned, which a pipe allows only once: its text is copied into an
// unnamed temporary file first, so memory stays bounded as for a file. A pipe
// may never end (`yes |`, `cat /dev/zero |`): a line past the line limit ends
// the copy at once, and so does more text than any macro holds.
std::FILE* spool(std::FILE* source) {
    std::FILE* copy = std::tmpfile();
    if (!copy) throw runtimeFailureFromErrno(errno);
    char block[65536];
    std::size_t got, total = 0, lineLength = 0;
    while ((got = std::fread(block, 1, sizeof block, source)) > 0) {
        for (std::size_t i = 0; i < got; ++i)
            lineLength = (block[i] == '\n' || block[i] == '\r') ? 0 : lineLength + 1;
        total += got;
        if (lineLength > kMaxLineBytes || total > kMaxPipedBytes) {
            std::fclose(copy);
            if (lineLength > kMaxLineBytes) throw lineTooLongFailure();
            throw Failure(kOutOfMemory,
                          "Out of memory: a macro read from a pipe may hold at most 64 MiB",
                          kRuntimeSource);
        }
        if (std::fwrite(block, 1, got, copy) != got) {
            std::fclose(copy);
            throw runtimeFailure(kDiskFull);
        }
    }
    if (std::ferror(source) || std::fflush(copy) != 0 || std::fseek(copy, 0, SEEK_SET) != 0) {
        std::fclose(copy);
        throw runtimeFailure(kPathFileAccessError);
    }
    return copy;
}

}  // namespace

Failure lineTooLongFailure() {
    return Failure(kLineTooLong,
                   "Line too long: a macro line may hold at most 1 MiB (1,048,576 bytes)",
                   kRuntimeSource);
}

void MacroFile::open(const std::string& path) {
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
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) throw runtimeFailureFromErrno(errno);
    if (pipe) {
        std::FILE* copy = nullptr;
        try {
            copy = spool(file);
        } catch (...) {
            std::fclose(file);
            throw;
        }
        std::fclose(file);
        file = copy;
    }
    adopt(file);
}

void MacroFile::openStandardInput() {
    close();
    adopt(spool(stdin));
}

void MacroFile::adopt(std::FILE* file) {
    // A UTF-8 byte order mark is no part of the first statement, whatever
    // encoding the rest of the file turns out to have.
    unsigned char mark[3] = {};
    const bool hasMark =
        std::fread(mark, 1, 3, file) == 3 && mark[0] == 0xEF && mark[1] == 0xBB && mark[2] == 0xBF;
    const long textStart = hasMark ? 3 : 0;
    bool utf8 = std::fseek(file, textStart, SEEK_SET) == 0 && streamIsUtf8(file);
    if (std::ferror(file) || std::fseek(file, textStart, SEEK_SET) != 0) {
        std::fclose(file);
        throw runtimeFailure(kPathFileAccessError);
    }
    windows1252_ = !utf8;
    file_ = file;
    pushedBack_ = EOF;
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

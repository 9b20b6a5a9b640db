// SPDX-License-Identifier: GPL-3.0-or-later
#include "FileAttributes.h"

#include <sys/xattr.h>

#include <cerrno>
#include <set>
#include <vector>

namespace tarn::editor {
namespace {

// The names of the attributes; false when they could not be listed.
bool names(ssize_t (*list)(const void*, char*, size_t), const void* file,
           std::set<std::string>& out) {
    for (int attempt = 0; attempt < 8; ++attempt) {
        const ssize_t size = list(file, nullptr, 0);
        if (size < 0) return errno == ENOTSUP;  // a file system without any
        std::vector<char> buffer(static_cast<std::size_t>(size) + 1);
        const ssize_t got = list(file, buffer.data(), buffer.size());
        if (got < 0 && errno == ERANGE) continue;  // grew meanwhile
        if (got < 0) return false;
        for (ssize_t at = 0; at < got;) {
            const std::string name(buffer.data() + at);
            at += static_cast<ssize_t>(name.size()) + 1;
            if (!name.empty()) out.insert(name);
        }
        return true;
    }
    return false;
}

ssize_t listPath(const void* file, char* buffer, size_t size) {
    return ::listxattr(static_cast<const char*>(file), buffer, size);
}

ssize_t listDescriptor(const void* file, char* buffer, size_t size) {
    return ::flistxattr(*static_cast<const int*>(file), buffer, size);
}

bool value(const std::string& from, const std::string& name, std::vector<char>& out) {
    for (int attempt = 0; attempt < 8; ++attempt) {
        const ssize_t size = ::getxattr(from.c_str(), name.c_str(), nullptr, 0);
        if (size < 0) return false;
        out.resize(static_cast<std::size_t>(size));
        const ssize_t got = ::getxattr(from.c_str(), name.c_str(), out.data(), out.size());
        if (got < 0 && errno == ERANGE) continue;
        if (got < 0) return false;
        out.resize(static_cast<std::size_t>(got));
        return true;
    }
    return false;
}

}  // namespace

bool carryAttributes(const std::string& from, int to) {
    std::set<std::string> old;
    std::set<std::string> fresh;
    if (!names(&listPath, from.c_str(), old) || !names(&listDescriptor, &to, fresh)) return false;
    for (const std::string& name : fresh) {
        if (old.count(name) == 0 && ::fremovexattr(to, name.c_str()) != 0) return false;
    }
    std::vector<char> bytes;
    for (const std::string& name : old) {
        if (!value(from, name, bytes)) return false;
        if (::fsetxattr(to, name.c_str(), bytes.data(), bytes.size(), 0) != 0) return false;
    }
    return true;
}

}  // namespace tarn::editor

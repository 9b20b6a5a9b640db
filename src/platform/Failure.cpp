// SPDX-License-Identifier: GPL-3.0-or-later
#include "Failure.h"

#include <cerrno>

namespace tarn {

const char* runtimeDescription(std::int32_t number) {
    switch (number) {
        case kInvalidArgument:
            return "Invalid procedure call or argument";
        case kOverflow:
            return "Overflow";
        case kOutOfMemory:
            return "Out of memory";
        case kSubscriptOutOfRange:
            return "Subscript out of range";
        case kTypeMismatch:
            return "Type mismatch";
        case kOutOfStackSpace:
            return "Out of stack space";
        case kFileNotFound:
            return "File not found";
        case kDiskFull:
            return "Disk full";
        case kPermissionDenied:
            return "Permission denied";
        case kPathFileAccessError:
            return "Path/File access error";
        case kPathNotFound:
            return "Path not found";
        default:
            return "Application-defined or object-defined error";
    }
}

Failure runtimeFailure(std::int32_t number) {
    return Failure(number, runtimeDescription(number), kRuntimeSource);
}

Failure runtimeFailureFromErrno(int error) {
    switch (error) {
        case ENOENT:
            return runtimeFailure(kFileNotFound);
        case ENOTDIR:
            return runtimeFailure(kPathNotFound);
        case EACCES:
        case EPERM:
        case EROFS:
        case ETXTBSY:
            return runtimeFailure(kPermissionDenied);
        case ENOSPC:
        case EDQUOT:
        case EFBIG:
            return runtimeFailure(kDiskFull);
        default:
            return runtimeFailure(kPathFileAccessError);
    }
}

}  // namespace tarn

#include "Failure.h"

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

}  // namespace tarn

// The control's errors, with the numbers and texts of the host language's run-time errors.
#include "support/errors.h"

#include <cerrno>
#include <sys/stat.h>

namespace dalmure {

ControlError::ControlError(std::int32_t number, Str description)
    : std::runtime_error("control error " + std::to_string(number)), number_(number),
      description_(std::move(description)) {}

ControlError::~ControlError() = default;

namespace errors {

void overflow() {
    throw ControlError(kOverflow, u"Overflow");
}
void invalidRow() {
    throw ControlError(kInvalidRow, u"Invalid Row value");
}
void invalidPropertyValue() {
    throw ControlError(kInvalidPropertyValue, u"Invalid property value");
}
void invalidCol() {
    throw ControlError(kInvalidCol, u"Invalid Col value");
}
void subscriptOutOfRange() {
    throw ControlError(kSubscriptOutOfRange, u"Subscript out of range");
}
void invalidProcedureCall() {
    throw ControlError(kInvalidProcedureCall, u"Invalid procedure call or argument");
}

namespace {

[[noreturn]] void pathFileAccess() {
    throw ControlError(kPathFileAccess, u"Path/File access error");
}

} // namespace

void fromErrno(int err) {
    switch (err) {
    case ENOENT:
        throw ControlError(kFileNotFound, u"File not found");
    case ENOTDIR: // a path that runs through a file: the folder part does not exist
        throw ControlError(kPathNotFound, u"Path not found");
    case ENOSPC:
    case EDQUOT:
        throw ControlError(kDiskFull, u"Disk full");
    case EIO:
        throw ControlError(kDeviceIo, u"Device I/O error");
    case ENAMETOOLONG:
        throw ControlError(kBadFileName, u"Bad file name or number");
    case ETXTBSY:
    case EBUSY:
        throw ControlError(kPermissionDenied, u"Permission denied");
    case EACCES:
    case EPERM:
    case EROFS:
    default:
        pathFileAccess();
    }
}

void fromErrno(int err, const std::string& nativePath) {
    if (err == ENOENT) {
        // The host reports a missing folder on the way as "Path not found", a missing last
        // component as "File not found".
        std::string parent = nativePath;
        while (parent.size() > 1 && parent.back() == '/')
            parent.pop_back();
        const auto slash = parent.rfind('/');
        parent = slash == std::string::npos ? std::string(".")
                 : slash == 0               ? std::string("/")
                                            : parent.substr(0, slash);
        struct stat st {};
        if (::stat(parent.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
            throw ControlError(kPathNotFound, u"Path not found");
    }
    fromErrno(err);
}

} // namespace errors
} // namespace dalmure

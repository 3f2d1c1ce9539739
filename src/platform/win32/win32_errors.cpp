#include "platform/win32/win32_errors.h"

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include "platform/errors.h"

namespace mabrel::platform::win32 {

int errorNumberFor(std::uint32_t e) {
    switch (e) {
    case ERROR_FILE_NOT_FOUND:
        return err::FileNotFound;
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_DRIVE:
    case ERROR_BAD_NETPATH:
    case ERROR_BAD_NET_NAME:
    case ERROR_BAD_PATHNAME:
    case ERROR_DIRECTORY:
        return err::PathNotFound;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
    case ERROR_WRITE_PROTECT:
    case ERROR_NETWORK_ACCESS_DENIED:
    case ERROR_PRIVILEGE_NOT_HELD:
        return err::PermissionDenied;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
    case ERROR_FILE_TOO_LARGE:
        return err::DiskFull;
    case ERROR_CRC:
    case ERROR_READ_FAULT:
    case ERROR_WRITE_FAULT:
    case ERROR_GEN_FAILURE:
    case ERROR_IO_DEVICE:
    case ERROR_SECTOR_NOT_FOUND:
        return err::DeviceIo;
    case ERROR_NOT_READY:
    case ERROR_NO_MEDIA_IN_DRIVE:
    case ERROR_DEV_NOT_EXIST:
    case ERROR_UNEXP_NET_ERR:
    case ERROR_NETNAME_DELETED:
    case ERROR_SEM_TIMEOUT:
        return err::DiskNotReady;
    case ERROR_INVALID_PARAMETER:
        return err::InvalidArgument;
    case ERROR_FILENAME_EXCED_RANGE:
        return err::NameTooLong;
    default:
        // ERROR_ALREADY_EXISTS, ERROR_FILE_EXISTS, ERROR_INVALID_NAME,
        // ERROR_DIR_NOT_EMPTY, ERROR_NOT_SAME_DEVICE and the rest.
        return err::PathFileAccess;
    }
}

void throwError(std::uint32_t e) { throw PlatformError(errorNumberFor(e)); }

void throwLastError() { throwError(::GetLastError()); }

void throwReadError(std::uint32_t e) {
    if (e == ERROR_ACCESS_DENIED || e == ERROR_NETWORK_ACCESS_DENIED) {
        throw PlatformError(err::PermissionDenied, kCannotRead);
    }
    throwError(e);
}

}  // namespace mabrel::platform::win32

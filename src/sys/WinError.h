// The platform's error codes, as the Windows API reports them, and their
// message texts. The Linux layers translate errno into these codes so that the
// logic above them reports failures the same way on both platforms.
#pragma once

#include <cstdint>
#include <string>

namespace slv2 {

enum : uint32_t {
  kErrorSuccess = 0,
  kErrorFileNotFound = 2,
  kErrorPathNotFound = 3,
  kErrorTooManyOpenFiles = 4,
  kErrorAccessDenied = 5,
  kErrorInvalidHandle = 6,
  kErrorNotEnoughMemory = 8,
  kErrorInvalidDrive = 15,
  kErrorNotSameDevice = 17,
  kErrorNoMoreFiles = 18,
  kErrorWriteFault = 29,
  kErrorReadFault = 30,
  kErrorGenFailure = 31,
  kErrorSharingViolation = 32,
  kErrorLockViolation = 33,
  kErrorHandleEof = 38,
  kErrorHandleDiskFull = 39,
  kErrorNotSupported = 50,
  kErrorFileExists = 80,
  kErrorInvalidParameter = 87,
  kErrorBrokenPipe = 109,
  kErrorDiskFull = 112,
  kErrorInsufficientBuffer = 122,
  kErrorInvalidName = 123,
  kErrorDirNotEmpty = 145,
  kErrorBadPathname = 161,
  kErrorAlreadyExists = 183,
  kErrorFilenameExcedRange = 206,
  kErrorDirectory = 267,
  kErrorNoMoreItems = 259,
  kErrorStoppedOnSymlink = 681,
  kErrorBadDb = 1009,
  kErrorRegistryIoFailed = 1016,
  kErrorKeyDeleted = 1018,
  kErrorNoneMapped = 1332,
  kErrorIoDevice = 1117,
  kErrorResourceTypeNotFound = 1813,
  kErrorCantAccessFile = 1920,
};

// The system's text for an error code, without trailing blanks and full stops
// (the form every error message of the system embeds).
std::string SysErrorMessage(uint32_t code);

}  // namespace slv2

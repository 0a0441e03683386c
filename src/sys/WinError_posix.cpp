#include "sys/Format.h"
#include "sys/WinError.h"

namespace slv2 {

std::string SysErrorMessage(uint32_t code) {
  switch (code) {
    case kErrorSuccess:
      return "The operation completed successfully";
    case kErrorFileNotFound:
      return "The system cannot find the file specified";
    case kErrorPathNotFound:
      return "The system cannot find the path specified";
    case kErrorTooManyOpenFiles:
      return "The system cannot open the file";
    case kErrorAccessDenied:
      return "Access is denied";
    case kErrorInvalidHandle:
      return "The handle is invalid";
    case kErrorNotEnoughMemory:
      return "Not enough storage is available to process this command";
    case kErrorInvalidDrive:
      return "The system cannot find the drive specified";
    case kErrorNotSameDevice:
      return "The system cannot move the file to a different disk drive";
    case kErrorNoMoreFiles:
      return "There are no more files";
    case kErrorWriteFault:
      return "The system cannot write to the specified device";
    case kErrorReadFault:
      return "The system cannot read from the specified device";
    case kErrorGenFailure:
      return "A device attached to the system is not functioning";
    case kErrorSharingViolation:
      return "The process cannot access the file because it is being used by another process";
    case kErrorLockViolation:
      return "The process cannot access the file because another process has locked a portion of "
             "the file";
    case kErrorHandleEof:
      return "Reached the end of the file";
    case kErrorHandleDiskFull:
      return "The disk is full";
    case kErrorNotSupported:
      return "The request is not supported";
    case kErrorFileExists:
      return "The file exists";
    case kErrorInvalidParameter:
      return "The parameter is incorrect";
    case kErrorBrokenPipe:
      return "The pipe has been ended";
    case kErrorDiskFull:
      return "There is not enough space on the disk";
    case kErrorInsufficientBuffer:
      return "The data area passed to a system call is too small";
    case kErrorInvalidName:
      return "The filename, directory name, or volume label syntax is incorrect";
    case kErrorDirNotEmpty:
      return "The directory is not empty";
    case kErrorBadPathname:
      return "The specified path is invalid";
    case kErrorAlreadyExists:
      return "Cannot create a file when that file already exists";
    case kErrorFilenameExcedRange:
      return "The filename or extension is too long";
    case kErrorDirectory:
      return "The directory name is invalid";
    case kErrorNoMoreItems:
      return "No more data is available";
    case kErrorBadDb:
      return "The configuration registry database is corrupt";
    case kErrorRegistryIoFailed:
      return "An I/O operation initiated by the registry failed unrecoverably";
    case kErrorKeyDeleted:
      return "Illegal operation attempted on a registry key that has been marked for deletion";
    case kErrorIoDevice:
      return "The request could not be performed because of an I/O device error";
    case kErrorResourceTypeNotFound:
      return "The specified resource type cannot be found in the image file";
    case kErrorNoneMapped:
      return "No mapping between account names and security IDs was done";
    case kErrorStoppedOnSymlink:
      return "The create operation stopped after reaching a symbolic link";
    case kErrorCantAccessFile:
      return "The file cannot be accessed by the system";
    default:
      return Format("System error %u", code);
  }
}

}  // namespace slv2

// Structured storage on Linux: the project's own compound-file engine.
#include "storage/StgApi.h"
#include "storage/cfb/CfbStorage.h"
#include "sys/Format.h"

namespace slv2::stg {

HRESULT StgCreateDocfile(const std::string& fileName, uint32_t mode,
                         std::unique_ptr<IStorage>* storage, int version) {
  return cfb::CreateDocfile(fileName, mode, storage, version);
}

HRESULT StgOpenStorage(const std::string& fileName, uint32_t mode,
                       std::unique_ptr<IStorage>* storage) {
  return cfb::OpenDocfile(fileName, mode, storage);
}

// Windows' own texts (English system messages), inserts left as they are.
std::string HResultMessage(HRESULT code) {
  switch (code) {
    case kS_OK:
      return "The operation completed successfully";
    case kS_FALSE:
      return "Incorrect function";
    case kStgEInvalidFunction:
      return "Unable to perform requested operation";
    case kStgEFileNotFound:
      return "%1 could not be found";
    case kStgEPathNotFound:
      return "The path %1 could not be found";
    case kStgETooManyOpenFiles:
      return "There are insufficient resources to open another file";
    case kStgEAccessDenied:
      return "Access Denied";
    case kStgEInvalidHandle:
      return "Attempted an operation on an invalid object";
    case kStgEInsufficientMemory:
      return "There is insufficient memory available to complete operation";
    case kStgEInvalidPointer:
      return "Invalid pointer error";
    case kStgENoMoreFiles:
      return "There are no more entries to return";
    case kStgEDiskIsWriteProtected:
      return "Disk is write-protected";
    case kStgESeekError:
      return "An error occurred during a seek operation";
    case kStgEWriteFault:
      return "A disk error occurred during a write operation";
    case kStgEReadFault:
      return "A disk error occurred during a read operation";
    case kStgEShareViolation:
      return "A share violation has occurred";
    case kStgELockViolation:
      return "A lock violation has occurred";
    case kStgEFileAlreadyExists:
      return "%1 already exists";
    case kStgEInvalidParameter:
      return "Invalid parameter error";
    case kStgEMediumFull:
      return "There is insufficient disk space to complete operation";
    case kStgEInvalidHeader:
      return "The file %1 is not a valid compound file";
    case kStgEInvalidName:
      return "The name %1 is not valid";
    case kStgEUnknown:
      return "An unexpected error occurred";
    case kStgEUnimplementedFunction:
      return "That function is not implemented";
    case kStgEInvalidFlag:
      return "Invalid flag error";
    case kStgEInUse:
      return "Attempted to use an object that is busy";
    case kStgEReverted:
      return "Attempted to use an object that has ceased to exist";
    case kStgEDocFileCorrupt:
      return "The docfile has been corrupted";
    case kStgEDocFileTooLarge:
      return "The compound file is too large for the current implementation";
    case kEOutOfMemory:
      return "Not enough memory resources are available to complete this operation";
    case kEInvalidArg:
      return "The parameter is incorrect";
    default:
      return Format("Unknown error 0x%08X", static_cast<uint32_t>(code));
  }
}

}  // namespace slv2::stg

// The platform's structured-storage operations (compound files), in the shape
// of Windows structured storage: HRESULT results, STGM modes, UTF-16 element
// names, element records. The storage wrapper relies on nothing else.
//
// Linux serves them with the project's own engine of the published compound
// file format (storage/cfb); Windows with ole32. Objects returned here are
// owned by the caller; a nested storage or stream keeps its file open for as
// long as it lives, also after the objects above it are gone.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace slv2::stg {

using HRESULT = int32_t;

constexpr HRESULT Code(uint32_t value) {
  return static_cast<HRESULT>(value);
}

constexpr HRESULT kS_OK = 0;
constexpr HRESULT kS_FALSE = 1;
constexpr HRESULT kStgEInvalidFunction = Code(0x80030001);
constexpr HRESULT kStgEFileNotFound = Code(0x80030002);
constexpr HRESULT kStgEPathNotFound = Code(0x80030003);
constexpr HRESULT kStgETooManyOpenFiles = Code(0x80030004);
constexpr HRESULT kStgEAccessDenied = Code(0x80030005);
constexpr HRESULT kStgEInvalidHandle = Code(0x80030006);
constexpr HRESULT kStgEInsufficientMemory = Code(0x80030008);
constexpr HRESULT kStgEInvalidPointer = Code(0x80030009);
constexpr HRESULT kStgENoMoreFiles = Code(0x80030012);
constexpr HRESULT kStgEDiskIsWriteProtected = Code(0x80030013);
constexpr HRESULT kStgESeekError = Code(0x80030019);
constexpr HRESULT kStgEWriteFault = Code(0x8003001D);
constexpr HRESULT kStgEReadFault = Code(0x8003001E);
constexpr HRESULT kStgEShareViolation = Code(0x80030020);
constexpr HRESULT kStgELockViolation = Code(0x80030021);
constexpr HRESULT kStgEFileAlreadyExists = Code(0x80030050);
constexpr HRESULT kStgEInvalidParameter = Code(0x80030057);
constexpr HRESULT kStgEMediumFull = Code(0x80030070);
constexpr HRESULT kStgEInvalidHeader = Code(0x800300FB);
constexpr HRESULT kStgEInvalidName = Code(0x800300FC);
constexpr HRESULT kStgEUnknown = Code(0x800300FD);
constexpr HRESULT kStgEUnimplementedFunction = Code(0x800300FE);
constexpr HRESULT kStgEInvalidFlag = Code(0x800300FF);
constexpr HRESULT kStgEInUse = Code(0x80030100);
constexpr HRESULT kStgEReverted = Code(0x80030102);
constexpr HRESULT kStgEDocFileCorrupt = Code(0x80030109);
constexpr HRESULT kStgEDocFileTooLarge = Code(0x80030111);
constexpr HRESULT kEOutOfMemory = Code(0x8007000E);
constexpr HRESULT kEInvalidArg = Code(0x80070057);

// STGM access modes.
enum : uint32_t {
  kStgmRead = 0x0,
  kStgmWrite = 0x1,
  kStgmReadWrite = 0x2,
  kStgmShareDenyNone = 0x40,
  kStgmShareDenyRead = 0x30,
  kStgmShareDenyWrite = 0x20,
  kStgmShareExclusive = 0x10,
  kStgmShareMask = 0x70,
  kStgmPriority = 0x40000,
  kStgmCreate = 0x1000,
  kStgmConvert = 0x20000,
  kStgmFailIfThere = 0x0,
  kStgmDirect = 0x0,
  kStgmTransacted = 0x10000,
  kStgmDeleteOnRelease = 0x4000000,
};

// Element types of a record.
enum : uint32_t { kStgTyStorage = 1, kStgTyStream = 2, kStgTyLockBytes = 3, kStgTyRoot = 5 };
// Stat flags.
enum : uint32_t { kStatFlagDefault = 0, kStatFlagNoName = 1 };
// Seek origins of IStream::Seek.
enum : uint32_t { kStreamSeekSet = 0, kStreamSeekCur = 1, kStreamSeekEnd = 2 };

// An element record (STATSTG).
struct StatStg {
  std::u16string name;  // empty when the name was not asked for
  uint32_t type = 0;
  uint64_t size = 0;   // streams: bytes; storages: 0
  uint64_t mtime = 0;  // FILETIME values
  uint64_t ctime = 0;
  uint64_t atime = 0;
  uint32_t mode = 0;
  uint8_t clsid[16] = {};
  uint32_t stateBits = 0;
};

class IStream {
 public:
  virtual ~IStream() = default;
  // S_OK, or S_FALSE when fewer bytes than asked were left.
  virtual HRESULT Read(void* buffer, uint32_t count, uint32_t* read) = 0;
  virtual HRESULT Write(const void* buffer, uint32_t count, uint32_t* written) = 0;
  virtual HRESULT Seek(int64_t move, uint32_t origin, uint64_t* newPosition) = 0;
  virtual HRESULT SetSize(uint64_t size) = 0;
  virtual HRESULT Stat(StatStg* record, uint32_t flags) = 0;
};

class IEnumStatStg {
 public:
  virtual ~IEnumStatStg() = default;
  // S_OK when `count` records came, S_FALSE when fewer (the end was reached).
  virtual HRESULT Next(uint32_t count, StatStg* records, uint32_t* fetched) = 0;
};

class IStorage {
 public:
  virtual ~IStorage() = default;
  virtual HRESULT CreateStream(std::u16string_view name, uint32_t mode,
                               std::unique_ptr<IStream>* stream) = 0;
  virtual HRESULT OpenStream(std::u16string_view name, uint32_t mode,
                             std::unique_ptr<IStream>* stream) = 0;
  virtual HRESULT CreateStorage(std::u16string_view name, uint32_t mode,
                                std::unique_ptr<IStorage>* storage) = 0;
  virtual HRESULT OpenStorage(std::u16string_view name, uint32_t mode,
                              std::unique_ptr<IStorage>* storage) = 0;
  // Copies every element into `destination`: streams of the same name are
  // replaced, storages of the same name merged recursively, other elements of
  // the destination stay.
  virtual HRESULT CopyTo(IStorage& destination) = 0;
  virtual HRESULT Commit(uint32_t flags) = 0;
  virtual HRESULT EnumElements(std::unique_ptr<IEnumStatStg>* enumerator) = 0;
  virtual HRESULT DestroyElement(std::u16string_view name) = 0;
  virtual HRESULT Stat(StatStg* record, uint32_t flags) = 0;
};

// Creates a compound file (kStgmCreate replaces an existing one) or opens one.
// `fileName` is a program string (Windows-1251, either delimiter). A new file
// is of `version` 3 (512-byte sectors: under 2 GB, read everywhere) or 4
// (4,096-byte sectors: any size); other values give STG_E_INVALIDPARAMETER.
HRESULT StgCreateDocfile(const std::string& fileName, uint32_t mode,
                         std::unique_ptr<IStorage>* storage, int version = 3);
HRESULT StgOpenStorage(const std::string& fileName, uint32_t mode,
                       std::unique_ptr<IStorage>* storage);

// The platform's text for an HRESULT, without trailing blanks and full stops;
// a generic text for codes it does not know.
std::string HResultMessage(HRESULT code);

}  // namespace slv2::stg

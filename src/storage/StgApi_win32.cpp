// Structured storage on Windows: ole32's compound files behind the project's
// interface. Structured storage needs no COM apartment, so nothing here
// initialises COM; a program that uses other COM services initialises it
// itself.
//
// ole32 reverts an open element when the storage above it is released; each
// object here holds a reference on its parent's interface, so that, as the
// interface promises, an element keeps everything above it open.
#include <cstring>
#include <vector>

#include "storage/StgApi.h"
#include "sys/Format.h"
#include "sys/WindowsApi.h"

namespace slv2::stg {
namespace {

// A NUL-terminated UTF-16 name for the calls.
std::wstring Wide(std::u16string_view name) {
  return std::wstring(name.begin(), name.end());
}

uint64_t FileTime(const FILETIME& t) {
  return (uint64_t{t.dwHighDateTime} << 32) | t.dwLowDateTime;
}

// Copies a record and frees the name the platform allocated for it.
void Convert(STATSTG& from, StatStg* to) {
  to->name = from.pwcsName ? std::u16string(reinterpret_cast<const char16_t*>(from.pwcsName))
                           : std::u16string();
  ::CoTaskMemFree(from.pwcsName);
  from.pwcsName = nullptr;
  to->type = from.type;
  to->size = from.cbSize.QuadPart;
  to->mtime = FileTime(from.mtime);
  to->ctime = FileTime(from.ctime);
  to->atime = FileTime(from.atime);
  to->mode = from.grfMode;
  static_assert(sizeof from.clsid == sizeof to->clsid);
  std::memcpy(to->clsid, &from.clsid, sizeof to->clsid);
  to->stateBits = from.grfStateBits;
}

// One counted reference on an interface, released last.
class ComRef {
 public:
  ComRef() = default;
  explicit ComRef(IUnknown* p) : p_(p) {
    if (p_) p_->AddRef();
  }
  ~ComRef() {
    if (p_) p_->Release();
  }
  ComRef(const ComRef&) = delete;
  ComRef& operator=(const ComRef&) = delete;

 private:
  IUnknown* p_ = nullptr;
};

class OleStream final : public stg::IStream {
 public:
  OleStream(::IStream* stream, IUnknown* parent) : keep_(parent), stream_(stream) {}
  ~OleStream() override { stream_->Release(); }
  OleStream(const OleStream&) = delete;
  OleStream& operator=(const OleStream&) = delete;

  HRESULT Read(void* buffer, uint32_t count, uint32_t* read) override {
    ULONG n = 0;
    HRESULT hr = stream_->Read(buffer, count, &n);
    if (read) *read = n;
    // ole32 answers a short read with S_OK; the interface says S_FALSE.
    return hr == kS_OK && n < count ? kS_FALSE : hr;
  }
  HRESULT Write(const void* buffer, uint32_t count, uint32_t* written) override {
    ULONG n = 0;
    HRESULT hr = stream_->Write(buffer, count, &n);
    if (written) *written = n;
    return hr;
  }
  HRESULT Seek(int64_t move, uint32_t origin, uint64_t* newPosition) override {
    LARGE_INTEGER distance;
    distance.QuadPart = move;
    ULARGE_INTEGER position{};
    HRESULT hr = stream_->Seek(distance, origin, &position);
    if (newPosition) *newPosition = position.QuadPart;
    return hr;
  }
  HRESULT SetSize(uint64_t size) override {
    ULARGE_INTEGER newSize;
    newSize.QuadPart = size;
    return stream_->SetSize(newSize);
  }
  HRESULT Stat(StatStg* record, uint32_t flags) override {
    STATSTG stat{};
    HRESULT hr = stream_->Stat(&stat, flags);
    if (hr == kS_OK) Convert(stat, record);
    return hr;
  }

 private:
  ComRef keep_;
  ::IStream* stream_;
};

class OleEnum final : public IEnumStatStg {
 public:
  OleEnum(IEnumSTATSTG* enumerator, IUnknown* parent) : keep_(parent), enum_(enumerator) {}
  ~OleEnum() override { enum_->Release(); }
  OleEnum(const OleEnum&) = delete;
  OleEnum& operator=(const OleEnum&) = delete;

  HRESULT Next(uint32_t count, StatStg* records, uint32_t* fetched) override {
    std::vector<STATSTG> batch(count);
    ULONG n = 0;
    HRESULT hr = enum_->Next(count, batch.data(), &n);
    if (FAILED(hr)) n = 0;
    for (ULONG i = 0; i < n; ++i)
      Convert(batch[i], &records[i]);
    if (fetched) *fetched = n;
    return hr;
  }

 private:
  ComRef keep_;
  IEnumSTATSTG* enum_;
};

class OleStorage final : public stg::IStorage {
 public:
  OleStorage(::IStorage* storage, IUnknown* parent) : keep_(parent), storage_(storage) {}
  ~OleStorage() override { storage_->Release(); }
  OleStorage(const OleStorage&) = delete;
  OleStorage& operator=(const OleStorage&) = delete;

  HRESULT CreateStream(std::u16string_view name, uint32_t mode,
                       std::unique_ptr<stg::IStream>* stream) override {
    ::IStream* s = nullptr;
    HRESULT hr = storage_->CreateStream(Wide(name).c_str(), mode, 0, 0, &s);
    if (hr == kS_OK) *stream = std::make_unique<OleStream>(s, storage_);
    return hr;
  }
  HRESULT OpenStream(std::u16string_view name, uint32_t mode,
                     std::unique_ptr<stg::IStream>* stream) override {
    ::IStream* s = nullptr;
    HRESULT hr = storage_->OpenStream(Wide(name).c_str(), nullptr, mode, 0, &s);
    if (hr == kS_OK) *stream = std::make_unique<OleStream>(s, storage_);
    return hr;
  }
  HRESULT CreateStorage(std::u16string_view name, uint32_t mode,
                        std::unique_ptr<stg::IStorage>* storage) override {
    ::IStorage* child = nullptr;
    HRESULT hr = storage_->CreateStorage(Wide(name).c_str(), mode, 0, 0, &child);
    if (hr == kS_OK) *storage = std::make_unique<OleStorage>(child, storage_);
    return hr;
  }
  HRESULT OpenStorage(std::u16string_view name, uint32_t mode,
                      std::unique_ptr<stg::IStorage>* storage) override {
    ::IStorage* child = nullptr;
    HRESULT hr = storage_->OpenStorage(Wide(name).c_str(), nullptr, mode, nullptr, 0, &child);
    if (hr == kS_OK) *storage = std::make_unique<OleStorage>(child, storage_);
    return hr;
  }
  HRESULT CopyTo(stg::IStorage& destination) override {
    auto* target = dynamic_cast<OleStorage*>(&destination);
    if (!target) return kStgEInvalidParameter;
    return storage_->CopyTo(0, nullptr, nullptr, target->storage_);
  }
  HRESULT Commit(uint32_t flags) override { return storage_->Commit(flags); }
  HRESULT EnumElements(std::unique_ptr<IEnumStatStg>* enumerator) override {
    IEnumSTATSTG* e = nullptr;
    HRESULT hr = storage_->EnumElements(0, nullptr, 0, &e);
    if (hr == kS_OK) *enumerator = std::make_unique<OleEnum>(e, storage_);
    return hr;
  }
  HRESULT DestroyElement(std::u16string_view name) override {
    return storage_->DestroyElement(Wide(name).c_str());
  }
  HRESULT Stat(StatStg* record, uint32_t flags) override {
    STATSTG stat{};
    HRESULT hr = storage_->Stat(&stat, flags);
    if (hr == kS_OK) Convert(stat, record);
    return hr;
  }

 private:
  ComRef keep_;
  ::IStorage* storage_;
};

// The file name in UTF-16, read in the ANSI code page as the file layer's
// "A" calls read it.
std::wstring WideFileName(const std::string& fileName) {
  int n = ::MultiByteToWideChar(CP_ACP, 0, fileName.data(), static_cast<int>(fileName.size()),
                                nullptr, 0);
  std::wstring name(static_cast<size_t>(n), L'\0');
  ::MultiByteToWideChar(CP_ACP, 0, fileName.data(), static_cast<int>(fileName.size()), name.data(),
                        n);
  return name;
}

}  // namespace

HRESULT StgCreateDocfile(const std::string& fileName, uint32_t mode,
                         std::unique_ptr<stg::IStorage>* storage, int version) {
  if (version != 3 && version != 4) return kStgEInvalidParameter;
  std::wstring name = WideFileName(fileName);
  ::IStorage* root = nullptr;
  // Version 4 is asked for by its sector size.
  STGOPTIONS options{};
  options.usVersion = 1;
  options.ulSectorSize = version == 4 ? 4096 : 512;
  HRESULT hr = ::StgCreateStorageEx(fileName.empty() ? nullptr : name.c_str(), mode, STGFMT_DOCFILE,
                                    0, &options, nullptr, __uuidof(::IStorage),
                                    reinterpret_cast<void**>(&root));
  if (hr == kS_OK) *storage = std::make_unique<OleStorage>(root, nullptr);
  return hr;
}

HRESULT StgOpenStorage(const std::string& fileName, uint32_t mode,
                       std::unique_ptr<stg::IStorage>* storage) {
  std::wstring name = WideFileName(fileName);
  ::IStorage* root = nullptr;
  HRESULT hr =
      ::StgOpenStorage(fileName.empty() ? nullptr : name.c_str(), nullptr, mode, nullptr, 0, &root);
  if (hr == kS_OK) *storage = std::make_unique<OleStorage>(root, nullptr);
  return hr;
}

std::string HResultMessage(HRESULT code) {
  char text[1024];
  DWORD n = ::FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                             static_cast<DWORD>(code), 0, text, sizeof text, nullptr);
  std::string message(text, n);
  while (!message.empty() && (message.back() == ' ' || message.back() == '.' ||
                              message.back() == '\r' || message.back() == '\n')) {
    message.pop_back();
  }
  return message.empty() ? Format("Unknown error 0x%08X", static_cast<uint32_t>(code)) : message;
}

}  // namespace slv2::stg

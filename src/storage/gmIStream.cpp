// TgmIStream, the adapter part of gmStrmUtil.
#include <algorithm>

#include "storage/gmStrmUtil.h"
#include "sys/Format.h"

namespace slv2 {

TgmIStream::TgmIStream(std::unique_ptr<stg::IStream> stream, uint32_t mode)
    : FStream(std::move(stream)), FMode(mode) {
  SLV2_ASSERT(FStream != nullptr, "gmStrmUtil");
}

int32_t TgmIStream::Read(void* buffer, int32_t count) {
  if (count <= 0) return 0;
  uint32_t done = 0;
  Check(FStream->Read(buffer, static_cast<uint32_t>(count), &done), "Read()",
        {stg::kS_OK, stg::kS_FALSE});
  return static_cast<int32_t>(done);
}

int32_t TgmIStream::Write(const void* buffer, int32_t count) {
  if (count <= 0) return 0;
  uint32_t done = 0;
  Check(FStream->Write(buffer, static_cast<uint32_t>(count), &done), "Write()");
  return static_cast<int32_t>(done);
}

int64_t TgmIStream::Seek(int64_t offset, fs::SeekOrigin origin) {
  uint64_t position = 0;
  Check(FStream->Seek(offset, static_cast<uint32_t>(origin), &position), "Seek()");
  return static_cast<int64_t>(position);
}

void TgmIStream::SetSize(int64_t size) {
  Check(FStream->SetSize(static_cast<uint64_t>(size)), "SetSize()");
}

void TgmIStream::Check(stg::HRESULT result, const char* operation,
                       std::initializer_list<stg::HRESULT> accepted) {
  FLastResult = result;
  if (std::find(accepted.begin(), accepted.end(), result) == accepted.end()) {
    Error(Format("%s failed", operation), result);
  }
}

void TgmIStream::Error(const std::string& message, stg::HRESULT code) {
  throw EgmIStream(ErrorText(message, code));
}

std::string TgmIStream::ErrorText(const std::string& message, stg::HRESULT code) {
  return Format("%s (%d, 0x%X) %s", message.c_str(), code, static_cast<uint32_t>(code),
                stg::HResultMessage(code).c_str());
}

}  // namespace slv2

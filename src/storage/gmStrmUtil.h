// Stream adapters: TgmIStream turns a platform stream (a stream element of a
// compound file) into a byte stream whose failures raise EgmIStream; plus the
// whole-content operations that move a file or stream into a string and back.
// TWinFileStream (the retrying file stream) lives in storage/WinFileStream.h.
//
// Positions and sizes are 64-bit throughout, so that stream elements past
// 2 GB (compound-file streams reach 4 GiB - 1) stay readable.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <memory>
#include <string>

#include "storage/StgApi.h"
#include "storage/Stream.h"
#include "storage/WinFileStream.h"
#include "sys/Exception.h"

namespace slv2 {

SLV2_DECLARE_EXCEPTION(EgmIStream, Exception);

class TgmIStream : public TStream {
 public:
  // Takes ownership of `stream` (required: an assertion otherwise); `mode` is
  // the STGM mode it was opened with, kept for information.
  TgmIStream(std::unique_ptr<stg::IStream> stream, uint32_t mode);

  // Read accepts S_OK and S_FALSE, so reading at the end gives 0 bytes; every
  // other result, and any failure of Write, Seek and SetSize, goes to Error.
  int32_t Read(void* buffer, int32_t count) override;
  int32_t Write(const void* buffer, int32_t count) override;
  int64_t Seek(int64_t offset, fs::SeekOrigin origin) override;
  void SetSize(int64_t size) override;

  // Records `result`; unless it is one of `accepted`, calls Error with
  // "<operation> failed".
  void Check(stg::HRESULT result, const char* operation,
             std::initializer_list<stg::HRESULT> accepted = {stg::kS_OK});
  // Raises EgmIStream with "<message> (<code>, 0x<CODE>) <platform text>".
  [[noreturn]] virtual void Error(const std::string& message, stg::HRESULT code);

  stg::HRESULT LastResult() const { return FLastResult; }
  uint32_t Mode() const { return FMode; }

 protected:
  // The text every adapter failure carries, whatever class raises it.
  static std::string ErrorText(const std::string& message, stg::HRESULT code);

 private:
  std::unique_ptr<stg::IStream> FStream;
  stg::HRESULT FLastResult = 0;
  uint32_t FMode;
};

// The whole stream (or its first `maxLength` bytes when that is not 0) into
// `out`, read from the beginning; true when every byte came.
bool StreamToString(TStream& stream, std::string& out, int64_t maxLength = 0);
// Makes the stream hold exactly `text`; true when every byte went.
bool StringToStream(const std::string& text, TStream& stream);
// A whole file into `out`, opened for reading (others may read too) with up
// to `attempts` attempts `delayMs` apart. False, with `out` empty, for a
// missing file, a folder, or any failure.
bool ReadFileToString(const std::string& fileName, std::string& out, int attempts = 1,
                      uint32_t delayMs = 0, int64_t maxLength = 0);
// Makes the file (created when missing) hold exactly `text`; false on any
// failure.
bool WriteStringToFile(const std::string& fileName, const std::string& text, int attempts = 1,
                       uint32_t delayMs = 0);

}  // namespace slv2

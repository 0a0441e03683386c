#include "storage/gmStrmUtil.h"

#include <algorithm>

#include "sys/Format.h"

namespace slv2 {

namespace {

// Whole-content reads and writes go through blocks of this size, so that a
// count always fits the streams' 32-bit transfer size.
constexpr int64_t kBlock = 1 << 30;

}  // namespace

bool StreamToString(TStream& stream, std::string& out, int64_t maxLength) {
  int64_t length = stream.Size();
  if (maxLength > 0) length = std::min(length, maxLength);
  out.assign(static_cast<size_t>(std::max<int64_t>(length, 0)), '\0');
  stream.SetPosition(0);
  int64_t done = 0;
  while (done < length) {
    auto n = static_cast<int32_t>(std::min(length - done, kBlock));
    int32_t got = stream.Read(out.data() + done, n);
    if (got <= 0) break;
    done += got;
  }
  return done == length;
}

bool StringToStream(const std::string& text, TStream& stream) {
  auto length = static_cast<int64_t>(text.size());
  stream.SetSize(length);
  stream.SetPosition(0);
  int64_t done = 0;
  while (done < length) {
    auto n = static_cast<int32_t>(std::min(length - done, kBlock));
    int32_t put = stream.Write(text.data() + done, n);
    if (put <= 0) break;
    done += put;
  }
  return done == length;
}

bool ReadFileToString(const std::string& fileName, std::string& out, int attempts, uint32_t delayMs,
                      int64_t maxLength) {
  bool ok = false;
  try {
    uint32_t attributes =
        fileName.empty() ? fs::kInvalidFileAttributes : fs::GetFileAttributes(fileName);
    if (attributes != fs::kInvalidFileAttributes && !(attributes & fs::kAttrDirectory)) {
      TWinFileStream file(fileName, fs::kGenericRead, fs::kShareRead, fs::kOpenExisting, attempts,
                          delayMs);
      ok = StreamToString(file, out, maxLength);
    }
  } catch (const std::exception&) {
    ok = false;  // the contract: any failure is a false result
  }
  if (!ok) out.clear();
  return ok;
}

bool WriteStringToFile(const std::string& fileName, const std::string& text, int attempts,
                       uint32_t delayMs) {
  try {
    TWinFileStream file(fileName, fs::kGenericRead | fs::kGenericWrite,
                        fs::kShareRead | fs::kShareWrite, fs::kOpenAlways, attempts, delayMs);
    return StringToStream(text, file);
  } catch (const std::exception&) {
    return false;  // the contract: any failure is a false result
  }
}

}  // namespace slv2

#include "storage/UnpackLimits.h"

#include "storage/FileUtil.h"
#include "storage/gmZLibUtil.h"
#include "sys/FileLayer.h"
#include "sys/Format.h"
#include "sys/WinError.h"

namespace slv2 {

void CheckUnpackLimits(TgmStorage& storage, const std::vector<std::string>& streams,
                       const std::string& folder, uint64_t extraBytes,
                       const TUnpackLimits& limits) {
  if (streams.size() > limits.maxStreams) {
    throw EgmUnpackLimit(Format("%llu streams, more than the %llu allowed",
                                static_cast<unsigned long long>(streams.size()),
                                static_cast<unsigned long long>(limits.maxStreams)));
  }
  uint64_t needed = extraBytes;
  for (const std::string& path : streams) {
    std::unique_ptr<TgmStgStream> stream = storage.CreateStream(path, stg::kStgmShareDenyWrite);
    TgmZHeader header;
    needed += ReadHeader(*stream, &header) ? header.UncompressedSize()
                                           : static_cast<uint64_t>(stream->Size());
  }
  // The folder may be made by the unpacking: its nearest existing parent
  // lies on the same volume.
  uint64_t available = 0;
  std::string existing = TgmFileUtil::ExcludeTrailingDelimiters(folder);
  bool known = fs::GetDiskFreeSpace(existing, &available);
  while (!known &&
         (fs::LastError() == kErrorPathNotFound || fs::LastError() == kErrorFileNotFound)) {
    std::string parent =
        TgmFileUtil::ExcludeTrailingDelimiters(TgmFileUtil::ExtractFilePath(existing));
    if (parent.empty() || parent == existing) break;
    existing = parent;
    known = fs::GetDiskFreeSpace(existing, &available);
  }
  if (!known) {
    throw EgmUnpackLimit(Format("the free space of \"%s\" is unknown", folder.c_str()),
                         fs::LastError());
  }
  if (needed + limits.reserveBytes > available) {
    throw EgmUnpackLimit(Format("%llu bytes to write, %llu free on the volume with %llu kept",
                                static_cast<unsigned long long>(needed),
                                static_cast<unsigned long long>(available),
                                static_cast<unsigned long long>(limits.reserveBytes)));
  }
}

}  // namespace slv2

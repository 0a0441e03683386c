#include "publish/ReleaseTree.h"

#include <cstring>
#include <filesystem>
#include <memory>
#include <system_error>

#include "publish/PublishError.h"
#include "storage/FileUtil.h"
#include "storage/WinFileStream.h"
#include "sys/Cp1251.h"
#include "sys/FileLayer.h"
#include "sys/WinError.h"

namespace slv2::publish {
namespace {

// "?" is what a character without a Windows-1251 code becomes.
bool WindowsName(const std::string& name) {
  for (char c : name) {
    auto u = static_cast<unsigned char>(c);
    if (u < 0x20 || u == 0x7F || std::strchr("<>:\"\\|?*", c)) return false;
  }
  return !name.empty() && name.back() != '.' && name.back() != ' ';
}

// The path with every link resolved, "" when it leads nowhere.
std::string Resolved(const std::string& path) {
  std::error_code error;
  std::filesystem::path canonical =
      std::filesystem::canonical(std::filesystem::path(fs::NativePath(path)), error);
  return error ? std::string() : fs::FromNativeName(canonical.generic_string());
}

bool Below(const std::string& folder, const std::string& path) {
  return path == folder || path.starts_with(folder + "/");
}

// Whether the file opens for reading: FIFOs, devices and sockets do not.
bool OpensAsFile(const std::string& path) {
  return fs::FileHandle::Open(path, fs::kGenericRead, fs::kShareRead, fs::kOpenExisting).Valid() ||
         fs::LastError() != kErrorCantAccessFile;
}

class TWalker {
 public:
  TWalker(TTreeReading& reading, TFileTree& tree)
      : reading_(reading), tree_(tree), within_(Resolved(reading.within)) {}

  void Walk(const std::string& folder, const std::string& prefix) {
    fs::DirListing listing(folder + "/*");
    fs::FindData entry;
    while (listing.Next(&entry)) {
      if (entry.name == "." || entry.name == "..") continue;
      std::string path = prefix + entry.name;
      std::string full = folder + "/" + entry.name;
      if (!WindowsName(entry.name)) {
        Problem(full, "the name holds a character that Windows-1251 or a Windows name cannot");
        continue;
      }
      if ((entry.attributes & fs::kAttrReparsePoint) && !Followed(full, entry)) continue;
      if (entry.attributes & fs::kAttrDirectory) {
        Walk(full, path + "/");
        continue;
      }
      if (entry.size == 0 && !OpensAsFile(full)) {
        Problem(full, "a FIFO, device or socket, not a file");
        continue;
      }
      auto [at, added] = tree_.try_emplace(FileKey(path), TReleaseFile{path, full, entry.size});
      if (!added) Problem(full, "its name differs only in case from " + at->second.fullPath);
    }
    if (listing.Error() != kErrorNoMoreFiles && listing.Error() != kErrorFileNotFound &&
        !(prefix.empty() && listing.Error() == kErrorPathNotFound)) {
      throw EPublishError("Cannot list " + folder + ": " + SysErrorMessage(listing.Error()));
    }
  }

 private:
  // Whether the link is read as what it points to; else it is an offender.
  bool Followed(const std::string& full, fs::FindData& entry) {
    if (!reading_.followLinks) {
      Problem(full, "a link; --follow-links copies what it points to inside the release");
      return false;
    }
    std::string target = Resolved(full);
    if (target.empty()) {
      Problem(full, "a link to nothing");
    } else if (within_.empty() || !Below(within_, target)) {
      Problem(full, "a link to " + target + ", outside the release");
    } else if ((entry.attributes & fs::kAttrDirectory) &&
               Below(target, Resolved(TgmFileUtil::ExtractFilePath(full)))) {
      Problem(full, "a link to a folder that holds it");
    } else {
      if (!(entry.attributes & fs::kAttrDirectory)) {
        entry.size = static_cast<uint64_t>(
            TWinFileStream(full, fs::kGenericRead, fs::kShareRead, fs::kOpenExisting).Size());
      }
      return true;
    }
    return false;
  }

  void Problem(const std::string& full, const std::string& why) {
    reading_.problems.push_back(full + ": " + why);
  }

  TTreeReading& reading_;
  TFileTree& tree_;
  std::string within_;
};

}  // namespace

std::string FileKey(const std::string& path) {
  return AnsiUpperCase(path);
}

TFileTree ReadFileTree(const std::string& folder, TTreeReading& reading) {
  TFileTree tree;
  TWalker(reading, tree).Walk(TgmFileUtil::ExcludeTrailingDelimiters(folder), "");
  return tree;
}

TFileTree ReadFileTree(const std::string& folder) {
  TTreeReading reading;
  TFileTree tree = ReadFileTree(folder, reading);
  ThrowProblems(reading.problems);
  return tree;
}

TRelease ReadRelease(const std::string& folder, TTreeReading& reading) {
  std::string root = TgmFileUtil::ExcludeTrailingDelimiters(folder);
  if (!TgmFileUtil::DirectoryExists(root)) throw EPublishError("Not a folder: " + folder);
  reading.within = root;
  fs::DirListing listing(root + "/*");
  fs::FindData entry;
  while (listing.Next(&entry)) {
    if (entry.name == "." || entry.name == "..") continue;
    bool part = (entry.attributes & fs::kAttrDirectory) &&
                (AnsiSameText(entry.name, kPartNames[kProductPart]) ||
                 AnsiSameText(entry.name, kPartNames[kShellPart]));
    if (!part) {
      reading.problems.push_back(root + "/" + entry.name +
                                 ": a release holds only the folders product and solvane");
    }
  }
  TRelease release;
  for (int part : {kProductPart, kShellPart})
    release.parts[part] = ReadFileTree(root + "/" + kPartNames[part], reading);
  return release;
}

TRelease ReadRelease(const std::string& folder, bool followLinks) {
  TTreeReading reading;
  reading.followLinks = followLinks;
  TRelease release = ReadRelease(folder, reading);
  ThrowProblems(reading.problems);
  return release;
}

void ThrowProblems(const std::vector<std::string>& problems) {
  if (problems.empty()) return;
  std::string text;
  for (const std::string& problem : problems)
    text += problem + "\n";
  throw EPublishError(text + std::to_string(problems.size()) +
                      (problems.size() == 1 ? " file cannot go" : " files cannot go") +
                      " into an update as they are");
}

bool SameContent(const std::string& a, const std::string& b) {
  TWinFileStream first(a, fs::kGenericRead, fs::kShareRead, fs::kOpenExisting);
  TWinFileStream second(b, fs::kGenericRead, fs::kShareRead, fs::kOpenExisting);
  if (first.Size() != second.Size()) return false;
  constexpr int32_t kBlock = 1 << 20;
  auto x = std::make_unique_for_overwrite<char[]>(kBlock);
  auto y = std::make_unique_for_overwrite<char[]>(kBlock);
  for (;;) {
    int32_t n = first.Read(x.get(), kBlock);
    if (n < 0 || second.Read(y.get(), n) != n) throw EPublishError("Cannot read " + a + " or " + b);
    if (std::memcmp(x.get(), y.get(), size_t(n)) != 0) return false;
    if (n < kBlock) return true;
  }
}

}  // namespace slv2::publish

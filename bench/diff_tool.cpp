// diff_tool sizes OLD NEW     : "<alignment> <raw bytes> <stored bytes> <encode ms>" for the
//                               adaptive and the fixed block choice; stored is the zlib
//                               level 9 size behind the 16-byte compressed-stream header.
// diff_tool apply OLD DIFF OUT : ApplyDiffFile, as the updater calls it; exit status 1
//                               when it returns false.
#include <zlib.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>

#include "patch/DiffEncoder.h"
#include "patch/DiffUtil.h"

namespace {

std::string Load(const char* path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error(std::string("cannot read ") + path);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

size_t StoredSize(const std::string& data) {
  uLongf size = compressBound(uLong(data.size()));
  std::string out(size, '\0');
  compress2(reinterpret_cast<Bytef*>(out.data()), &size,
            reinterpret_cast<const Bytef*>(data.data()), uLong(data.size()), 9);
  return size + 16;
}

void Sizes(const char* oldFile, const char* newFile) {
  std::string oldData = Load(oldFile), newData = Load(newFile);
  for (auto [name, alignment] : {std::pair{"adaptive", slv2::TDiffAlignment::kAdaptive},
                                 std::pair{"fixed", slv2::TDiffAlignment::kFixed}}) {
    slv2::TMemoryStream oldStream, newStream, diff;
    oldStream.WriteBuffer(oldData.data(), int32_t(oldData.size()));
    oldStream.SetPosition(0);
    newStream.WriteBuffer(newData.data(), int32_t(newData.size()));
    newStream.SetPosition(0);
    auto start = std::chrono::steady_clock::now();
    slv2::CreateDiffStream(oldStream, newStream, diff, {alignment});
    auto ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start);
    std::printf("%s %lld %zu %.0f\n", name, static_cast<long long>(diff.Size()),
                StoredSize(diff.ToString()), ms.count());
  }
}

}  // namespace

int main(int argc, char** argv) {
  try {
    if (argc == 4 && std::strcmp(argv[1], "sizes") == 0) {
      Sizes(argv[2], argv[3]);
      return 0;
    }
    if (argc == 5 && std::strcmp(argv[1], "apply") == 0) {
      return slv2::ApplyDiffFile(argv[2], argv[4], argv[3]) ? 0 : 1;
    }
  } catch (const std::exception& e) {
    std::fprintf(stderr, "diff_tool: %s\n", e.what());
    return 1;
  }
  std::fprintf(stderr, "usage: diff_tool sizes OLD NEW | diff_tool apply OLD DIFF OUT\n");
  return 2;
}

// Helpers of the engine's tests: whole-tree listings of compound files, as the
// engine sees them and as two implementations no one here wrote (olefile and
// libgsf's gsf tool) see them, and small stream helpers.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "storage/StgApi.h"

namespace slv2::cfb::test {

// One element: its path from the root (UTF-8, "/" between names) and, for a
// stream, its size and CRC-32.
struct Element {
  std::string path;
  bool storage = false;
  uint64_t size = 0;
  uint32_t crc = 0;
  bool operator==(const Element&) const = default;
};
std::ostream& operator<<(std::ostream& out, const Element& e);

// Every element below `storage`, sorted by path.
std::vector<Element> Walk(stg::IStorage& storage);
// The same for a file opened read-only; fails the test when it cannot open.
std::vector<Element> WalkFile(const std::string& path);
// Whether the foreign readers are installed.
bool HaveOlefile();
bool HaveGsf();
// The listings of olefile and of gsf, sorted by path; nothing when the tool
// is not installed. gsf cannot tell an empty storage from an empty stream and
// lists it as a stream.
std::optional<std::vector<Element>> ReadWithOlefile(const std::string& path);
std::optional<std::vector<Element>> ReadWithGsf(const std::string& path);

// Writes a new stream (replacing one of the same name) and reads a whole one.
void PutStream(stg::IStorage& storage, std::u16string_view name, std::string_view data);
std::string GetStream(stg::IStorage& storage, std::u16string_view name);
std::string ReadAll(stg::IStream& stream);
// Deterministic bytes of any length.
std::string Pattern(size_t size, uint32_t seed = 1);

constexpr uint32_t kCreateMode = stg::kStgmCreate | stg::kStgmReadWrite | stg::kStgmShareExclusive;
constexpr uint32_t kWriteMode = stg::kStgmReadWrite | stg::kStgmShareExclusive;
constexpr uint32_t kReadMode = stg::kStgmRead | stg::kStgmShareDenyWrite;
constexpr uint32_t kNestedRead = stg::kStgmRead | stg::kStgmShareExclusive;

}  // namespace slv2::cfb::test

// SHA-256 (FIPS 180-4), for the checksums the run report gives of the
// update storages, so that an administrator can tell which storage a machine
// ran.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace slv2 {

class TSha256 {
 public:
  TSha256();
  void Update(const void* data, size_t size);
  // The digest in lower-case hexadecimal; the object is spent afterwards.
  std::string HexDigest();

 private:
  void Block(const uint8_t* block);

  std::array<uint32_t, 8> state_;
  std::array<uint8_t, 64> buffer_{};
  size_t buffered_ = 0;
  uint64_t length_ = 0;
};

std::string Sha256Hex(std::string_view data);
// "" when the file cannot be read.
std::string FileSha256(const std::string& fileName);

}  // namespace slv2

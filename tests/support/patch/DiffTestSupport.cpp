#include "DiffTestSupport.h"

#include <random>

#include "patch/DiffFormat.h"

namespace slv2::test {

std::string U32(uint32_t value) {
  uint8_t field[4];
  diff::PutU32(field, value);
  return std::string(reinterpret_cast<char*>(field), 4);
}

std::string Commands(const std::vector<Cmd>& commands) {
  std::string table;
  for (const Cmd& c : commands) {
    uint8_t field[2];
    diff::PutU16(field, c.length);
    table += std::string(reinterpret_cast<char*>(field), 2) + U32(c.source) + U32(c.target);
  }
  return table;
}

std::string Stored(std::string_view data, uint32_t skip) {
  return U32(skip) + '\0' + U32(uint32_t(data.size())) + U32(Crc(data)) + std::string(data);
}

std::string Delta(std::string_view sourceChunk, std::string_view rebuilt, std::string_view literals,
                  const std::vector<Cmd>& commands) {
  std::string table = Commands(commands);
  return U32(uint32_t(sourceChunk.size())) + '\1' + U32(Crc(rebuilt)) + U32(Crc(sourceChunk)) +
         U32(uint32_t(literals.size())) + U32(uint32_t(table.size())) + std::string(literals) +
         table;
}

TextStream::TextStream(std::string_view content) {
  WriteBuffer(content.data(), int32_t(content.size()));
  SetPosition(0);
}

int64_t ForwardOnlyStream::Seek(int64_t offset, fs::SeekOrigin origin) {
  ADD_FAILURE() << "stream sought (" << offset << ", " << origin << ")";
  return TextStream::Seek(offset, origin);
}

std::string RandomBytes(size_t size, uint32_t seed) {
  std::mt19937 random(seed);
  std::string bytes(size, '\0');
  for (char& c : bytes)
    c = static_cast<char>(random());
  return bytes;
}

}  // namespace slv2::test

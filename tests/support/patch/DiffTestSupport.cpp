#include "DiffTestSupport.h"

#include <gtest/gtest.h>

#include <random>

#include "patch/DiffFormat.h"
#include "sys/Crc32.h"

namespace slv2::test {

DiffText& DiffText::U32(uint32_t value) {
  uint8_t field[4];
  diff::PutU32(field, value);
  text_.append(reinterpret_cast<char*>(field), 4);
  return *this;
}

DiffText& DiffText::Bytes(std::string_view bytes) {
  text_.append(bytes);
  return *this;
}

DiffText& DiffText::Stored(std::string_view data, uint32_t skip) {
  return U32(skip)
      .Bytes(std::string(1, '\0'))
      .U32(uint32_t(data.size()))
      .U32(Crc(data))
      .Bytes(data);
}

DiffText& DiffText::Delta(std::string_view sourceChunk, std::string_view rebuilt,
                          std::string_view literals, std::initializer_list<Cmd> commands) {
  std::string table = Commands(commands);
  return U32(uint32_t(sourceChunk.size()))
      .Bytes(std::string(1, '\1'))
      .U32(Crc(rebuilt))
      .U32(Crc(sourceChunk))
      .U32(uint32_t(literals.size()))
      .U32(uint32_t(table.size()))
      .Bytes(literals)
      .Bytes(table);
}

DiffText& DiffText::End() {
  return Bytes(std::string(9, '\0'));
}

std::string Commands(std::initializer_list<Cmd> commands) {
  std::string table;
  for (const Cmd& c : commands) {
    uint8_t field[10];
    diff::PutU16(field, c.length);
    diff::PutU32(field + 2, c.source);
    diff::PutU32(field + 6, c.target);
    table.append(reinterpret_cast<char*>(field), 10);
  }
  return table;
}

uint32_t Crc(std::string_view bytes) {
  return CalcCRC32(bytes.data(), bytes.size());
}

TextStream::TextStream(std::string_view content) {
  WriteBuffer(content.data(), int32_t(content.size()));
  SetPosition(0);
}

ForwardOnlyStream::ForwardOnlyStream(std::string_view content) {
  TMemoryStream::WriteBuffer(content.data(), int32_t(content.size()));
  TMemoryStream::Seek(0, fs::kSeekBegin);
}

int64_t ForwardOnlyStream::Seek(int64_t offset, fs::SeekOrigin origin) {
  ADD_FAILURE() << "stream sought (" << offset << ", " << origin << ")";
  return TMemoryStream::Seek(offset, origin);
}

std::string RandomBytes(size_t size, uint32_t seed) {
  std::mt19937 random(seed);
  std::string bytes(size, '\0');
  for (char& c : bytes)
    c = static_cast<char>(random());
  return bytes;
}

}  // namespace slv2::test

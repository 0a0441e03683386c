// A growable byte buffer for building a text piece by piece, as the replace
// loops do: appends are amortised (the block at least doubles when it grows),
// and the text is copied out once at the end.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

#include "sys/Exception.h"

namespace slv2 {

SLV2_DECLARE_EXCEPTION(EStringBuffer, Exception);

class TStringBuffer {
 public:
  // The first block holds max(2, capacity) bytes.
  explicit TStringBuffer(int capacity = 16);

  void append(std::string_view text);
  // Appends `count` bytes from `chars`; a count below 1 means up to the
  // terminating zero byte.
  void appendChars(const char* chars, int count);
  // The byte at a 1-based index; EStringBuffer "TStringBuffer.getChar():
  // invalid index (<index>)" outside 1..length.
  char getChar(int index) const;
  std::string toString() const { return std::string(data_.get(), length_); }

  size_t length() const { return length_; }
  size_t capacity() const { return capacity_; }

 private:
  void Reserve(size_t needed);

  size_t capacity_;
  size_t length_ = 0;
  std::unique_ptr<char[]> data_;
};

}  // namespace slv2

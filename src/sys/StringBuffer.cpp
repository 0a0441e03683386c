#include "sys/StringBuffer.h"

#include <algorithm>
#include <cstring>

#include "sys/Format.h"

namespace slv2 {

TStringBuffer::TStringBuffer(int capacity)
    : capacity_(static_cast<size_t>(std::max(2, capacity))),
      data_(std::make_unique<char[]>(capacity_)) {}

void TStringBuffer::Reserve(size_t needed) {
  if (needed <= capacity_) return;
  size_t grown = std::max((capacity_ + 1) * 2, needed);
  auto block = std::make_unique<char[]>(grown);
  std::memcpy(block.get(), data_.get(), length_);
  data_ = std::move(block);
  capacity_ = grown;
}

void TStringBuffer::append(std::string_view text) {
  if (text.empty()) return;
  Reserve(length_ + text.size());
  std::memcpy(data_.get() + length_, text.data(), text.size());
  length_ += text.size();
}

void TStringBuffer::appendChars(const char* chars, int count) {
  append(count < 1 ? std::string_view(chars) : std::string_view(chars, static_cast<size_t>(count)));
}

char TStringBuffer::getChar(int index) const {
  if (index < 1 || static_cast<size_t>(index) > length_) {
    throw EStringBuffer(Format("%s.%s(): invalid index (%d)", "TStringBuffer", "getChar", index));
  }
  return data_[static_cast<size_t>(index) - 1];
}

}  // namespace slv2

// Builds a binary file's bytes in order: numbers least significant byte first as Windows' file
// formats store them (PNG's most significant first), four-character tags and RIFF chunks.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <utility>
#include <vector>

namespace pivora {

class ByteWriter {
 public:
  void U8(std::uint8_t v) { data_.push_back(v); }
  void U16(std::uint16_t v) {
    U8(static_cast<std::uint8_t>(v));
    U8(static_cast<std::uint8_t>(v >> 8));
  }
  void U32(std::uint32_t v) {
    U16(static_cast<std::uint16_t>(v));
    U16(static_cast<std::uint16_t>(v >> 16));
  }
  void I32(std::int32_t v) { U32(static_cast<std::uint32_t>(v)); }
  // PNG stores its numbers most significant byte first.
  void BigU32(std::uint32_t v) {
    for (int shift = 24; shift >= 0; shift -= 8) U8(static_cast<std::uint8_t>(v >> shift));
  }
  void Tag(std::string_view four) {
    for (char c : four) U8(static_cast<std::uint8_t>(c));
  }
  void Append(const std::vector<std::uint8_t>& more) {
    data_.insert(data_.end(), more.begin(), more.end());
  }

  // Starts a RIFF chunk whose size is filled in by EndChunk.
  std::size_t BeginChunk(std::string_view tag) {
    Tag(tag);
    U32(0);
    return data_.size();
  }
  void EndChunk(std::size_t start) {
    const auto size = static_cast<std::uint32_t>(data_.size() - start);
    for (int i = 0; i < 4; ++i) data_[start - 4 + i] = static_cast<std::uint8_t>(size >> (8 * i));
    // Chunks start on even offsets; the pad byte is not counted in the size.
    if (data_.size() % 2 != 0) U8(0);
  }

  const std::vector<std::uint8_t>& data() const { return data_; }
  std::vector<std::uint8_t> Take() { return std::move(data_); }

 private:
  std::vector<std::uint8_t> data_;
};

}  // namespace pivora

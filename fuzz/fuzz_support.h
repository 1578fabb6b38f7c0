// Shared helpers of the fuzz targets: a private working folder and files
// written from fuzzer input.
#pragma once

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

namespace gf3mq::fuzz {

// Moves the process into a fresh temporary folder (the readers under test
// take names relative to the working directory).
// The folder is removed when the process exits normally.
inline void enter_scratch_folder() {
  static char pattern[] = "/tmp/gf3mq-fuzz-XXXXXX";
  if (mkdtemp(pattern) == nullptr || chdir(pattern) != 0) std::abort();
  std::atexit([] {
    std::error_code ignored;
    std::filesystem::remove_all(pattern, ignored);
  });
}

inline void write_file(const char* name, const std::uint8_t* data, std::size_t size) {
  std::FILE* f = std::fopen(name, "wb");
  if (f == nullptr) std::abort();
  if (size != 0 && std::fwrite(data, 1, size, f) != size) std::abort();
  std::fclose(f);
}

// A file of `count` digits made from data: byte i of the file is the digit of
// data[i mod size] mod 3 (all zeros for empty data).
inline void write_digits(const char* name, const std::uint8_t* data, std::size_t size, std::size_t count) {
  std::string text(count, '0');
  for (std::size_t i = 0; size != 0 && i < count; ++i) text[i] = static_cast<char>('0' + data[i % size] % 3);
  write_file(name, reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
}

// Reads fuzzer input front to back.
class Input {
 public:
  Input(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
  std::uint8_t byte() { return pos_ < size_ ? data_[pos_++] : 0; }
  // The next n bytes (fewer at the end).
  std::string take(std::size_t n) {
    const std::size_t k = std::min(n, size_ - pos_);
    std::string s(reinterpret_cast<const char*>(data_ + pos_), k);
    pos_ += k;
    return s;
  }
  std::string rest() { return take(size_ - pos_); }

 private:
  const std::uint8_t* data_;
  std::size_t size_;
  std::size_t pos_ = 0;
};

}  // namespace gf3mq::fuzz

// Sources of random elements of GF(3), for the secret affine maps.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace gf3mq {

// A source of independent, uniformly distributed elements of GF(3).
class Gf3Source {
 public:
  virtual ~Gf3Source() = default;
  // Fills out[0..n) with elements 0, 1, 2. False when the source failed;
  // error() then says why.
  virtual bool fill(std::uint8_t* out, std::size_t n) = 0;
  virtual std::string error() const { return error_; }

 protected:
  std::string error_;  // why the source failed, set by the sources that can
};

// The operating system's secure generator (getrandom(2)). Bytes of 255 are
// rejected before the residue mod 3 is taken, so the draw has no bias.
class SystemGf3Source : public Gf3Source {
 public:
  bool fill(std::uint8_t* out, std::size_t n) override;
};

// A deterministic source for tests and benchmarks: SplitMix64 from a seed,
// with the same rejection of bytes of 255.
class SeededGf3Source : public Gf3Source {
 public:
  explicit SeededGf3Source(std::uint64_t seed) : state_(seed) {}
  bool fill(std::uint8_t* out, std::size_t n) override;

 private:
  std::uint64_t next_word();
  std::uint64_t state_;
};

// A deterministic source keyed by a text, for key sets that can be made
// again: piece k of the byte stream is randombytes_buf_deterministic
// (ChaCha20) under the seed BLAKE2b(k, key BLAKE2b(text)), the pieces one
// after another, with the same rejection of bytes of 255. The elements are
// the same however fill() splits the draw. Whoever knows the text can make
// every element it gives: nothing drawn from it is secret.
class KeyedGf3Source : public Gf3Source {
 public:
  explicit KeyedGf3Source(const std::string& text);
  ~KeyedGf3Source() override;
  KeyedGf3Source(const KeyedGf3Source&) = delete;
  KeyedGf3Source& operator=(const KeyedGf3Source&) = delete;
  bool fill(std::uint8_t* out, std::size_t n) override;

  static constexpr std::size_t kPieceBytes = 4096;

 private:
  void next_piece();

  std::uint8_t key_[32];
  std::uint8_t piece_[kPieceBytes];
  std::uint64_t pieces_ = 0;        // pieces drawn so far
  std::size_t used_ = kPieceBytes;  // bytes of piece_ taken
};

}  // namespace gf3mq

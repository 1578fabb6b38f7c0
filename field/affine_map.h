// Random secret affine maps S(m) = M m + v of GF(3)^n and their augmented form.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "linalg/mat_zz_p.h"
#include "linalg/vec_zz_p.h"

namespace gf3mq {

// A source of independent, uniformly distributed elements of GF(3).
class Gf3Source {
 public:
  virtual ~Gf3Source() = default;
  // Fills out[0..n) with elements 0, 1, 2. False when the source failed;
  // error() then says why.
  virtual bool fill(std::uint8_t* out, std::size_t n) = 0;
  virtual std::string error() const { return {}; }
};

// The operating system's secure generator (getrandom(2)). Bytes of 255 are
// rejected before the residue mod 3 is taken, so the draw has no bias.
class SystemGf3Source : public Gf3Source {
 public:
  bool fill(std::uint8_t* out, std::size_t n) override;
  std::string error() const override { return error_; }

 private:
  std::string error_;
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

}  // namespace gf3mq

// Draws a random invertible M (row by row, redrawn whole until nonsingular
// accepts it) and then a random v, keeping the shapes M and v already have.
// Returns 0, or -1 when the source failed (M and v then hold no secret).
int random_affine_map(Mat_ZZ_p& M, Vec_ZZ_p& v, gf3mq::Gf3Source& source);

// The same with the operating system's secure generator.
int random_affine_map(Mat_ZZ_p& M, Vec_ZZ_p& v);

// A_X = [M | v], 257 x 258: row i is the affine form of coordinate i of
// M m + v, column 257 standing for the constant 1.
Mat_ZZ_p augment_affine_map(const Mat_ZZ_p& M, const Vec_ZZ_p& v);

#include "scheme/affine_map.h"

#include <algorithm>

#include "field/field_tables.h"

int gf3mq::random_affine_map(Mat_ZZ_p& M, Vec_ZZ_p& v, Gf3Source& source) {
  const std::size_t elements = static_cast<std::size_t>(M.num_rows()) * static_cast<std::size_t>(M.num_cols());
  do {
    // Row by row in one draw: the block is row-major.
    if (!source.fill(M.data(), elements)) {
      M.clear();
      return -1;
    }
  } while (nonsingular(M) == 0);
  if (!source.fill(v.data(), static_cast<std::size_t>(v.length()))) {
    M.clear();
    std::fill_n(v.data(), v.length(), std::uint8_t{0});
    return -1;
  }
  return 0;
}

int random_affine_map(Mat_ZZ_p& M, Vec_ZZ_p& v) {
  gf3mq::SystemGf3Source source;
  return gf3mq::random_affine_map(M, v, source);
}

Mat_ZZ_p augment_affine_map(const Mat_ZZ_p& M, const Vec_ZZ_p& v) {
  Mat_ZZ_p A_X(gf3mq::kDefaultSizes.n, gf3mq::kDefaultSizes.variables_and_one());
  for (int i = 0; i < M.num_rows(); ++i) {
    for (int j = 0; j < M.num_cols(); ++j) A_X.set(i, j, M.get(i, j));
    A_X.set(i, gf3mq::kDefaultSizes.n, v[i]);
  }
  return A_X;
}

Mat_ZZ_p gf3mq::augmented(const Mat_ZZ_p& M, const Vec_ZZ_p& v) {
  const int n = M.num_rows();
  require_length(v, n);
  Mat_ZZ_p A_X(n, n + 1);
  for (int i = 0; i < n; ++i) {
    std::copy_n(M.row(i), n, A_X.row(i));
    A_X.set(i, n, v[i]);
  }
  return A_X;
}

Vec_ZZ_p affine_inverse(const Mat_ZZ_p& M, const Vec_ZZ_p& y, const Vec_ZZ_p& v) { return M * (y - v); }

Vec_ZZ_p affine_apply(const Mat_ZZ_p& M, const Vec_ZZ_p& x, const Vec_ZZ_p& v) { return M * x + v; }

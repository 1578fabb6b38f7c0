// The public-key composition as the system defines it, routine by routine:
// symbolic powers, symbolic product, output map, corrections and folding.
// composition_fast.cpp computes the same forms in one pass.
#include "scheme/composition.h"

#include <algorithm>

#include "field/field_tables.h"
#include "linalg/gf3_rows.h"
#include "linalg/row_combination_tables.h"
#include "runtime/secure_wipe.h"

namespace {

using gf3mq::ByteList;
using gf3mq::FormList;
using gf3mq::kDefaultSizes;

using gf3mq::Sizes;  // every size below is n's: n coefficients, n + 1 positions of a form

// dst row p += sum over k in [first, n) of y_k[p] * src row k (mod 3),
// where y_k = table row row_of(k). Sums stay in 16 bits until the end.
template <typename RowOf>
void spread_rows(Sizes s, const Mat_ZZ_p& src, const Mat_ZZ_p& table, int first, RowOf row_of, Mat_ZZ_p& dst) {
  const int width = s.variables_and_one();
  gf3mq::SecretVector<std::uint16_t> acc(static_cast<std::size_t>(s.n) * static_cast<std::size_t>(width), 0);
  for (int k = first; k < s.n; ++k) {
    const std::uint8_t* y = table.row(row_of(k));
    const std::uint8_t* source = src.row(k);
    for (int p = 0; p < s.n; ++p) {
      const unsigned c = y[p];
      if (c == 0) continue;
      std::uint16_t* target = acc.data() + static_cast<std::size_t>(p) * width;
      for (int l = 0; l < width; ++l) target[l] = static_cast<std::uint16_t>(target[l] + c * source[l]);
    }
  }
  for (int p = 0; p < s.n; ++p) {
    std::uint8_t* target = dst.row(p);
    const std::uint16_t* sum = acc.data() + static_cast<std::size_t>(p) * width;
    for (int l = 0; l < width; ++l) target[l] = static_cast<std::uint8_t>((target[l] + sum[l]) % 3u);
  }
}

// The n x (n + 1) affine forms of m, rows packed n + 1 bytes apart whatever
// m's own row length: out[j * (n + 1) + k] = m(j, k).
gf3mq::SecretVector<std::uint8_t> packed_forms(Sizes s, const Mat_ZZ_p& m) {
  const std::size_t width = static_cast<std::size_t>(s.variables_and_one());
  gf3mq::SecretVector<std::uint8_t> packed(static_cast<std::size_t>(s.n) * width);
  for (int j = 0; j < s.n; ++j) std::copy_n(m.row(j), width, &packed[static_cast<std::size_t>(j) * width]);
  return packed;
}

// The forms of m transposed, (n + 1) x n: out(k, j) = m(j, k).
Mat_ZZ_p transposed_forms(Sizes s, const Mat_ZZ_p& m) {
  Mat_ZZ_p t(s.variables_and_one(), s.n);
  for (int j = 0; j < s.n; ++j) {
    const std::uint8_t* row = m.row(j);
    for (int k = 0; k < s.variables_and_one(); ++k) t.data()[static_cast<std::size_t>(k) * s.n + j] = row[k];
  }
  return t;
}

// 2 * m (mod 3), element by element.
gf3mq::SecretVector<std::uint8_t> doubled(const std::uint8_t* m, std::size_t n) {
  gf3mq::SecretVector<std::uint8_t> d(n);
  gf3mq::scale_row(d.data(), m, 2, n);
  return d;
}

// X^q for q = 3 or 27: rows r with q r < n move to row q r; the others are
// spread over the coefficients by the table row of x^(q r) (row_of).
template <typename RowOf>
void symbolic_frobenius(Sizes s, int q, const Mat_ZZ_p& src, const Mat_ZZ_p& table, int table_rows, RowOf row_of,
                        Mat_ZZ_p& dst) {
  const int last_direct = (s.n - 1) / q, width = s.variables_and_one();
  // The shape checks in the order in which the element-by-element form meets
  // them: src rows 0..n-1 and table rows up to table_rows - 1 are read, rows
  // 0..q last_direct of dst are written directly, and then an n x (n + 1) sum
  // is added to dst.
  gf3mq::require_at_least(src, s.n, width);
  gf3mq::require_at_least(table, table_rows, s.n);
  gf3mq::require_at_least(dst, q * last_direct + 1, width);
  gf3mq::require_shape_of_sum(dst, s.n, width);
  for (int r = 0; r <= last_direct; ++r) std::copy_n(src.row(r), width, dst.row(q * r));
  spread_rows(s, src, table, last_direct + 1, row_of, dst);
}

void symbolic_cube_at(Sizes s, const Mat_ZZ_p& src, const Mat_ZZ_p& table, Mat_ZZ_p& dst) {
  symbolic_frobenius(
      s, 3, src, table, 2 * s.n - 2, [s](int k) { return 3 * k - s.n; }, dst);
}

void symbolic_pow27_at(Sizes s, const Mat_ZZ_p& src, const Mat_ZZ_p& table, Mat_ZZ_p& dst) {
  symbolic_frobenius(
      s, 27, src, table, s.n, [](int k) { return k; }, dst);
}

void symbolic_product_at(Sizes s, const Mat_ZZ_p& a, const Mat_ZZ_p& b, const Mat_ZZ_p& table, FormList& out) {
  const int n = s.n, width = s.variables_and_one();
  gf3mq::require_at_least(a, n, width);
  gf3mq::require_at_least(b, n, width);
  gf3mq::require_at_least(table, n - 1, n);
  // S_e = sum over j + t = e of a_j^T b_t; row k of S_e = sum over j of a(j, k) b_(e-j).
  const Mat_ZZ_p aT = transposed_forms(s, a);  // aT(k, j) = a(j, k)
  const gf3mq::SecretVector<std::uint8_t> b1 = packed_forms(s, b);
  const gf3mq::SecretVector<std::uint8_t> b2 = doubled(b1.data(), b1.size());
  const std::size_t first = out.size();
  for (int r = 0; r < n; ++r) out.emplace_back(width, width);
  std::vector<int> pending(static_cast<std::size_t>(n), 0);  // unreduced terms per form of out

  Mat_ZZ_p S(width, width);
  for (int e = 0; e <= 2 * (n - 1); ++e) {
    const int j_lo = std::max(0, e - (n - 1)), j_hi = std::min(e, n - 1);
    // Terms t = e - j for t = t_lo..t_hi pair row b_t with a(e - t, k): the
    // coefficients run backwards through row k of aT.
    const int t_lo = e - j_hi;
    const std::size_t terms = static_cast<std::size_t>(j_hi - j_lo + 1);
    const std::size_t offset = static_cast<std::size_t>(t_lo) * static_cast<std::size_t>(width);
    for (int k = 0; k < width; ++k)
      gf3mq::combine_rows(S.row(k), aT.row(k) + j_hi, -1, b1.data() + offset, b2.data() + offset, terms,
                          static_cast<std::size_t>(width), static_cast<std::size_t>(width));
    if (e < n) {
      out[first + static_cast<std::size_t>(e)] = S;
      continue;
    }
    // x^e = table row e - n: add y[p] * S_e to form p.
    const std::uint8_t* y = table.row(e - n);
    const gf3mq::SecretVector<std::uint8_t> S2 = doubled(S.data(), s.form_digits());
    for (int p = 0; p < n; ++p) {
      if (y[p] == 0) continue;
      Mat_ZZ_p& form = out[first + static_cast<std::size_t>(p)];
      gf3mq::accumulate_row(form.data(), y[p] == 1 ? S.data() : S2.data(), s.form_digits());
      if (++pending[static_cast<std::size_t>(p)] == gf3mq::kAccumulateLimit)
        gf3mq::reduce_row(form.data(), s.form_digits()), pending[static_cast<std::size_t>(p)] = 0;
    }
  }
  for (int p = 0; p < n; ++p) gf3mq::reduce_row(out[first + static_cast<std::size_t>(p)].data(), s.form_digits());
}

FormList apply_output_map_at(Sizes s, const Mat_ZZ_p& M, const Vec_ZZ_p& v, const FormList& forms) {
  // Every form is added, scaled, to an (n + 1) x (n + 1) sum, whatever its
  // factor: a missing one ends through the list's checked subscript, a
  // misshapen one through the sum's abort.
  const int n = s.n, width = s.variables_and_one();
  gf3mq::require_at_least(M, n, n);
  for (int j = 0; j < n; ++j) gf3mq::require_shape_of_sum(forms.at(static_cast<std::size_t>(j)), width, width);
  gf3mq::require_length(v, n);
  FormList Pk;
  Pk.reserve(static_cast<std::size_t>(n));
  gf3mq::SecretVector<std::uint16_t> acc(s.form_digits());
  for (int i = 0; i < n; ++i) {
    std::fill(acc.begin(), acc.end(), std::uint16_t{0});
    for (int j = 0; j < n; ++j) {
      const unsigned c = M.get(i, j);
      if (c == 0) continue;
      const std::uint8_t* form = forms[static_cast<std::size_t>(j)].data();
      for (std::size_t x = 0; x < s.form_digits(); ++x) acc[x] = static_cast<std::uint16_t>(acc[x] + c * form[x]);
    }
    Mat_ZZ_p sum(width, width);
    for (std::size_t x = 0; x < s.form_digits(); ++x) sum.data()[x] = static_cast<std::uint8_t>(acc[x] % 3u);
    sum.set(n, n, static_cast<unsigned char>(sum.get(n, n) + v[i]));
    Pk.push_back(std::move(sum));
  }
  return Pk;
}

}  // namespace

void symbolic_cube(const Mat_ZZ_p& src, const Mat_ZZ_p& table, Mat_ZZ_p& dst) {
  symbolic_cube_at(kDefaultSizes, src, table, dst);
}

void symbolic_pow27(Mat_ZZ_p src, const Mat_ZZ_p& table, Mat_ZZ_p& dst) {
  symbolic_pow27_at(kDefaultSizes, src, table, dst);
}

int symbolic_product(const Mat_ZZ_p& a, const Mat_ZZ_p& b, const Mat_ZZ_p& table, FormList& out) {
  symbolic_product_at(kDefaultSizes, a, b, table, out);
  return 1;
}

FormList apply_output_map(const Mat_ZZ_p& M, const Vec_ZZ_p& v, const FormList& forms) {
  return apply_output_map_at(kDefaultSizes, M, v, forms);
}

void gf3mq::symbolic_powers(const Mat_ZZ_p& A_X, const Mat_ZZ_p& reduction, const Mat_ZZ_p& frobenius,
                            Mat_ZZ_p& A_X3_Sum, Mat_ZZ_p& A_X27_Sum) {
  const Sizes s{reduction.num_cols()};
  A_X3_Sum = Mat_ZZ_p(s.n, s.variables_and_one());
  A_X27_Sum = Mat_ZZ_p(s.n, s.variables_and_one());
  symbolic_cube_at(s, A_X, reduction, A_X3_Sum);
  symbolic_pow27_at(s, A_X, frobenius, A_X27_Sum);
}

FormList gf3mq::symbolic_public_forms(const Mat_ZZ_p& mat_A, const Vec_ZZ_p& V1, const Mat_ZZ_p& A_X,
                                      const Mat_ZZ_p& reduction, const Mat_ZZ_p& frobenius) {
  const Sizes s{reduction.num_cols()};
  Mat_ZZ_p A_X3_Sum(1, 1), A_X27_Sum(1, 1);
  symbolic_powers(A_X, reduction, frobenius, A_X3_Sum, A_X27_Sum);
  FormList A_X30_Sum;
  symbolic_product_at(s, A_X27_Sum, A_X3_Sum, reduction, A_X30_Sum);
  return apply_output_map_at(s, mat_A, V1, A_X30_Sum);
}

ByteList diagonal_sums(const FormList& forms) {
  ByteList Sk;
  Sk.reserve(kDefaultSizes.n);
  for (int i = 0; i < kDefaultSizes.n; ++i) Sk.push_back(gf3mq::diagonal_sum(forms.at(static_cast<std::size_t>(i))));
  return Sk;
}

namespace gf3mq {

unsigned char diagonal_sum(const Mat_ZZ_p& form, int positions) {
  unsigned sum1 = 0;
  for (int j = 0; j < positions; ++j) sum1 = (sum1 + form.get(j, j)) % 3;
  return static_cast<unsigned char>(sum1);
}

void fold_form(Mat_ZZ_p& Q, int positions) {
  // Tiles of kTile x kTile: an upper tile is copied transposed into a small
  // buffer, cleared, and added row by row onto its mirror tile below the
  // diagonal. Tiles on the diagonal fold their own upper half.
  constexpr std::size_t kTile = 32;
  std::uint8_t tile[kTile][kTile];
  (void)Q.get(positions - 1, positions - 1);  // the form must reach (n, n)
  std::uint8_t* q = Q.data();
  const std::size_t stride = static_cast<std::size_t>(Q.num_cols()), side = static_cast<std::size_t>(positions);
  for (std::size_t j = 0; j < side; ++j) q[j * stride + j] = 0;
  for (std::size_t tj = 0; tj < side; tj += kTile) {
    const std::size_t j_end = std::min<std::size_t>(tj + kTile, side);
    for (std::size_t k = tj; k < j_end; ++k) {  // the diagonal tile
      std::uint8_t* lower = q + k * stride;
      for (std::size_t j = tj; j < k; ++j) {
        std::uint8_t& upper = q[j * stride + k];
        lower[j] = gf3mq::mod3(static_cast<unsigned>(upper) + lower[j]);
        upper = 0;
      }
    }
    for (std::size_t tk = tj + kTile; tk < side; tk += kTile) {
      const std::size_t k_end = std::min<std::size_t>(tk + kTile, side);
      const std::size_t width = j_end - tj, height = k_end - tk;
      for (std::size_t j = 0; j < width; ++j) {
        std::uint8_t* upper = q + (tj + j) * stride + tk;
        for (std::size_t k = 0; k < height; ++k) tile[k][j] = upper[k];
        std::fill_n(upper, height, std::uint8_t{0});
      }
      for (std::size_t k = 0; k < height; ++k) gf3mq::add_row(q + (tk + k) * stride + tj, tile[k], width);
    }
  }
  gf3mq::secure_wipe(tile, sizeof tile);
}

}  // namespace gf3mq

int fold_public_key(FormList& forms) {
  for (int i = 0; i < kDefaultSizes.n; ++i) gf3mq::fold_form(forms.at(static_cast<std::size_t>(i)));
  return 1;
}

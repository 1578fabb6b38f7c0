// The public-key composition as the system defines it, routine by routine:
// symbolic powers, symbolic product, output map, corrections and folding.
// composition_fast.cpp computes the same forms in one pass.
#include "scheme/composition.h"

#include <algorithm>

#include "field/field_tables.h"
#include "linalg/gf3_rows.h"
#include "linalg/row_combination_tables.h"
#include "linalg/secure_wipe.h"

namespace {

using gf3mq::kDegree;
using gf3mq::kVariablesAndOne;

constexpr std::size_t kFormBytes = static_cast<std::size_t>(kVariablesAndOne) * kVariablesAndOne;

// dst row p += sum over k in [first, 257) of y_k[p] * src row k (mod 3),
// where y_k = table row row_of(k). Sums stay in 16 bits until the end.
template <typename RowOf>
void spread_rows(const Mat_ZZ_p& src, const Mat_ZZ_p& table, int first, RowOf row_of, Mat_ZZ_p& dst) {
  gf3mq::SecretVector<std::uint16_t> acc(static_cast<std::size_t>(kDegree) * kVariablesAndOne, 0);
  for (int k = first; k < kDegree; ++k) {
    const std::uint8_t* y = table.row(row_of(k));
    const std::uint8_t* source = src.row(k);
    for (int p = 0; p < kDegree; ++p) {
      const unsigned c = y[p];
      if (c == 0) continue;
      std::uint16_t* target = acc.data() + static_cast<std::size_t>(p) * kVariablesAndOne;
      for (int l = 0; l < kVariablesAndOne; ++l) target[l] = static_cast<std::uint16_t>(target[l] + c * source[l]);
    }
  }
  for (int p = 0; p < kDegree; ++p) {
    std::uint8_t* target = dst.row(p);
    const std::uint16_t* sum = acc.data() + static_cast<std::size_t>(p) * kVariablesAndOne;
    for (int l = 0; l < kVariablesAndOne; ++l) target[l] = static_cast<std::uint8_t>((target[l] + sum[l]) % 3u);
  }
}

// Rows 0..last of src copied to rows q * r of dst.
void place_unreduced_rows(const Mat_ZZ_p& src, int last, int q, Mat_ZZ_p& dst) {
  for (int r = 0; r <= last; ++r) std::copy_n(src.row(r), kVariablesAndOne, dst.row(q * r));
}

// The 257 x 258 affine forms of m, rows packed 258 bytes apart whatever
// m's own row length: out[j * 258 + k] = m(j, k).
gf3mq::SecretVector<std::uint8_t> packed_forms(const Mat_ZZ_p& m) {
  gf3mq::SecretVector<std::uint8_t> packed(static_cast<std::size_t>(kDegree) * kVariablesAndOne);
  for (int j = 0; j < kDegree; ++j) std::copy_n(m.row(j), kVariablesAndOne, &packed[static_cast<std::size_t>(j) * kVariablesAndOne]);
  return packed;
}

// The forms of m transposed, 258 x 257: out(k, j) = m(j, k).
Mat_ZZ_p transposed_forms(const Mat_ZZ_p& m) {
  Mat_ZZ_p t(kVariablesAndOne, kDegree);
  for (int j = 0; j < kDegree; ++j) {
    const std::uint8_t* row = m.row(j);
    for (int k = 0; k < kVariablesAndOne; ++k) t.data()[static_cast<std::size_t>(k) * kDegree + j] = row[k];
  }
  return t;
}

// The shape checks of the symbolic powers, in the order in which their
// element-by-element form meets them: src rows 0..256 and table rows up to
// table_rows - 1 are read, rows 0..placed_rows - 1 of dst are written
// directly, and then a 257 x 258 sum is added to dst.
void require_power_shapes(const Mat_ZZ_p& src, const Mat_ZZ_p& table, int table_rows, const Mat_ZZ_p& dst,
                          int placed_rows) {
  gf3mq::require_at_least(src, kDegree, kVariablesAndOne);
  gf3mq::require_at_least(table, table_rows, kDegree);
  gf3mq::require_at_least(dst, placed_rows, kVariablesAndOne);
  gf3mq::require_shape_of_sum(dst, kDegree, kVariablesAndOne);
}

// 2 * m (mod 3), element by element.
gf3mq::SecretVector<std::uint8_t> doubled(const std::uint8_t* m, std::size_t n) {
  gf3mq::SecretVector<std::uint8_t> d(n);
  gf3mq::scale_row(d.data(), m, 2, n);
  return d;
}


}  // namespace

void symbolic_cube(const Mat_ZZ_p& src, const Mat_ZZ_p& table, Mat_ZZ_p& dst) {
  require_power_shapes(src, table, gf3mq::kReductionRows, dst, 3 * 85 + 1);
  place_unreduced_rows(src, 85, 3, dst);
  spread_rows(
      src, table, 86, [](int k) { return 3 * k - kDegree; }, dst);
}

void symbolic_pow27(Mat_ZZ_p src, const Mat_ZZ_p& table, Mat_ZZ_p& dst) {
  require_power_shapes(src, table, gf3mq::kFrobeniusRows, dst, 27 * 9 + 1);
  place_unreduced_rows(src, 9, 27, dst);
  spread_rows(
      src, table, 10, [](int k) { return k; }, dst);
}

int symbolic_product(const Mat_ZZ_p& a, const Mat_ZZ_p& b, const Mat_ZZ_p& table, FormList& out) {
  gf3mq::require_at_least(a, kDegree, kVariablesAndOne);
  gf3mq::require_at_least(b, kDegree, kVariablesAndOne);
  gf3mq::require_at_least(table, kDegree - 1, kDegree);
  // S_e = sum over j + t = e of a_j^T b_t; row k of S_e = sum over j of a(j, k) b_(e-j).
  const Mat_ZZ_p aT = transposed_forms(a);  // aT(k, j) = a(j, k)
  const gf3mq::SecretVector<std::uint8_t> b1 = packed_forms(b);
  const gf3mq::SecretVector<std::uint8_t> b2 = doubled(b1.data(), b1.size());
  const std::size_t first = out.size();
  for (int r = 0; r < kDegree; ++r) out.emplace_back(kVariablesAndOne, kVariablesAndOne);
  std::vector<int> pending(kDegree, 0);  // unreduced terms per form of out

  Mat_ZZ_p S(kVariablesAndOne, kVariablesAndOne);
  for (int e = 0; e <= 2 * (kDegree - 1); ++e) {
    const int j_lo = std::max(0, e - (kDegree - 1)), j_hi = std::min(e, kDegree - 1);
    // Terms t = e - j for t = t_lo..t_hi pair row b_t with a(e - t, k): the
    // coefficients run backwards through row k of aT.
    const int t_lo = e - j_hi;
    const std::size_t n = static_cast<std::size_t>(j_hi - j_lo + 1);
    const std::size_t offset = static_cast<std::size_t>(t_lo) * kVariablesAndOne;
    for (int k = 0; k < kVariablesAndOne; ++k)
      gf3mq::combine_rows(S.row(k), aT.row(k) + j_hi, -1, b1.data() + offset, b2.data() + offset, n, kVariablesAndOne,
                          kVariablesAndOne);
    if (e < kDegree) {
      out[first + e] = S;
      continue;
    }
    // x^e = table row e - 257: add y[p] * S_e to form p.
    const std::uint8_t* y = table.row(e - kDegree);
    const gf3mq::SecretVector<std::uint8_t> S2 = doubled(S.data(), kFormBytes);
    for (int p = 0; p < kDegree; ++p) {
      if (y[p] == 0) continue;
      Mat_ZZ_p& form = out[first + p];
      gf3mq::accumulate_row(form.data(), y[p] == 1 ? S.data() : S2.data(), kFormBytes);
      if (++pending[p] == gf3mq::kAccumulateLimit) gf3mq::reduce_row(form.data(), kFormBytes), pending[p] = 0;
    }
  }
  for (int p = 0; p < kDegree; ++p) gf3mq::reduce_row(out[first + p].data(), kFormBytes);
  return 1;
}

FormList apply_output_map(const Mat_ZZ_p& M, const Vec_ZZ_p& v, const FormList& forms) {
  // Every form is added, scaled, to a 258 x 258 sum, whatever its factor:
  // a missing one ends through the list's checked subscript, a misshapen
  // one through the sum's abort.
  gf3mq::require_at_least(M, kDegree, kDegree);
  for (int j = 0; j < kDegree; ++j)
    gf3mq::require_shape_of_sum(forms.at(static_cast<std::size_t>(j)), kVariablesAndOne, kVariablesAndOne);
  gf3mq::require_length(v, kDegree);
  FormList Pk;
  Pk.reserve(kDegree);
  gf3mq::SecretVector<std::uint16_t> acc(kFormBytes);
  for (int i = 0; i < kDegree; ++i) {
    std::fill(acc.begin(), acc.end(), std::uint16_t{0});
    for (int j = 0; j < kDegree; ++j) {
      const unsigned c = M.get(i, j);
      if (c == 0) continue;
      const std::uint8_t* form = forms[static_cast<std::size_t>(j)].data();
      for (std::size_t x = 0; x < kFormBytes; ++x) acc[x] = static_cast<std::uint16_t>(acc[x] + c * form[x]);
    }
    Mat_ZZ_p sum(kVariablesAndOne, kVariablesAndOne);
    for (std::size_t x = 0; x < kFormBytes; ++x) sum.data()[x] = static_cast<std::uint8_t>(acc[x] % 3u);
    sum.set(kDegree, kDegree, static_cast<unsigned char>(sum.get(kDegree, kDegree) + v[i]));
    Pk.push_back(std::move(sum));
  }
  return Pk;
}

ByteList diagonal_sums(const FormList& forms) {
  ByteList Sk;
  Sk.reserve(kDegree);
  for (int i = 0; i < kDegree; ++i) Sk.push_back(gf3mq::diagonal_sum(forms.at(static_cast<std::size_t>(i))));
  return Sk;
}

namespace gf3mq {

unsigned char diagonal_sum(const Mat_ZZ_p& form) {
  unsigned sum1 = 0;
  for (int j = 0; j < kVariablesAndOne; ++j) sum1 = (sum1 + form.get(j, j)) % 3;
  return static_cast<unsigned char>(sum1);
}

void fold_form(Mat_ZZ_p& Q) {
  // Tiles of kTile x kTile: an upper tile is copied transposed into a small
  // buffer, cleared, and added row by row onto its mirror tile below the
  // diagonal. Tiles on the diagonal fold their own upper half.
  constexpr std::size_t kTile = 32;
  std::uint8_t tile[kTile][kTile];
  (void)Q.get(kVariablesAndOne - 1, kVariablesAndOne - 1);  // the form must reach (257, 257)
  std::uint8_t* q = Q.data();
  const std::size_t stride = static_cast<std::size_t>(Q.num_cols());
  for (std::size_t j = 0; j < kVariablesAndOne; ++j) q[j * stride + j] = 0;
  for (std::size_t tj = 0; tj < kVariablesAndOne; tj += kTile) {
    const std::size_t j_end = std::min<std::size_t>(tj + kTile, kVariablesAndOne);
    for (std::size_t k = tj; k < j_end; ++k) {  // the diagonal tile
      std::uint8_t* lower = q + k * stride;
      for (std::size_t j = tj; j < k; ++j) {
        std::uint8_t& upper = q[j * stride + k];
        lower[j] = gf3mq::mod3(static_cast<unsigned>(upper) + lower[j]);
        upper = 0;
      }
    }
    for (std::size_t tk = tj + kTile; tk < kVariablesAndOne; tk += kTile) {
      const std::size_t k_end = std::min<std::size_t>(tk + kTile, kVariablesAndOne);
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
  for (int i = 0; i < kDegree; ++i) gf3mq::fold_form(forms.at(static_cast<std::size_t>(i)));
  return 1;
}

// The public forms in one pass (compose_public_forms, for_each_public_form):
// the same forms that symbolic_product followed by apply_output_map gives
// (composition.cpp), computed as two tabulated products per form.
#include <algorithm>

#include "field/composition.h"
#include "field/field_tables.h"
#include "linalg/gf3_rows.h"
#include "linalg/row_combination_tables.h"
#include "linalg/secure_wipe.h"

namespace {

using gf3mq::kDegree;
using gf3mq::kPositions;

// Row e of the extended reduction: x^e mod f for e = 0..512.
const std::uint8_t* power_residue(const Mat_ZZ_p& table, const std::vector<std::uint8_t>& units, int e) {
  return e < kDegree ? units.data() + static_cast<std::size_t>(e) * kDegree : table.row(e - kDegree);
}

}  // namespace

FormList compose_public_forms(const Mat_ZZ_p& M, const Vec_ZZ_p& v, const Mat_ZZ_p& a27, const Mat_ZZ_p& a3,
                              const Mat_ZZ_p& table) {
  FormList forms;
  forms.reserve(kDegree);
  for_each_public_form(M, v, a27, a3, table, [&forms](int, Mat_ZZ_p& form) { forms.push_back(std::move(form)); });
  return forms;
}

void for_each_public_form(const Mat_ZZ_p& M, const Vec_ZZ_p& v, const Mat_ZZ_p& a27, const Mat_ZZ_p& a3,
                          const Mat_ZZ_p& table, const std::function<void(int, Mat_ZZ_p&)>& consume) {
  constexpr int kExponents = 2 * kDegree - 1;  // x^0 .. x^512
  gf3mq::require_at_least(M, kDegree, kDegree);
  gf3mq::require_length(v, kDegree);
  gf3mq::require_at_least(a27, kDegree, kPositions);
  gf3mq::require_at_least(a3, kDegree, kPositions);
  gf3mq::require_at_least(table, kDegree - 1, kDegree);  // rows 0..255 are read
  // h(i, e) = sum over r of M(i, r) (x^e mod f)_r
  std::vector<std::uint8_t> units(static_cast<std::size_t>(kDegree) * kDegree, 0);
  for (int e = 0; e < kDegree; ++e) units[static_cast<std::size_t>(e) * kDegree + e] = 1;
  gf3mq::SecretVector<std::uint8_t> h(static_cast<std::size_t>(kDegree) * kExponents);
  for (int i = 0; i < kDegree; ++i)
    for (int e = 0; e < kExponents; ++e)
      h[static_cast<std::size_t>(i) * kExponents + e] =
          static_cast<std::uint8_t>(gf3mq::dot_row(M.row(i), power_residue(table, units, e), kDegree) % 3u);

  // Form i = G_i a3 with G_i = a27^T H_i. H_i is symmetric, so G_i^T = H_i a27:
  // row t of G_i^T combines the rows of a27 with the coefficients h_i(t + j).
  // Both products thus combine rows of a fixed matrix (a27, then a3), each
  // tabulated once for all forms.
  constexpr std::size_t kRow = gf3mq::kPaddedRow;
  gf3mq::RowCombinationTables a27_tables, a3_tables;
  a27_tables.assign(a27.data(), kDegree, static_cast<std::size_t>(a27.num_cols()), kPositions);
  a3_tables.assign(a3.data(), kDegree, static_cast<std::size_t>(a3.num_cols()), kPositions);
  const std::size_t groups = a27_tables.groups();  // 86: rows 3g, 3g + 1, 3g + 2 (the last has two)

  // Table indices of the windows of h_i: window[e] = h(e) + 3 h(e + 1) + 9 h(e + 2),
  // and for the last group, of rows 255 and 256 only, h(e) + 3 h(e + 1).
  gf3mq::SecretVector<std::uint8_t> window3(kExponents), window2(kExponents), indices(groups);
  gf3mq::SecretVector<std::uint8_t> Gt(static_cast<std::size_t>(kDegree) * kRow);  // G_i^T, 257 x 258
  gf3mq::SecretVector<std::uint8_t> G_index(groups * kRow);                        // table indices of G_i's rows
  gf3mq::SecretVector<std::uint8_t> row(kRow);
  Mat_ZZ_p form(kPositions, kPositions);
  for (int i = 0; i < kDegree; ++i) {
    const std::uint8_t* hi = h.data() + static_cast<std::size_t>(i) * kExponents;
    for (int e = 0; e < kExponents; ++e) {
      const unsigned next = e + 1 < kExponents ? hi[e + 1] : 0, after = e + 2 < kExponents ? hi[e + 2] : 0;
      window2[e] = static_cast<std::uint8_t>(hi[e] + 3 * next);
      window3[e] = static_cast<std::uint8_t>(hi[e] + 3 * next + 9 * after);
    }
    for (int t = 0; t < kDegree; ++t) {
      for (std::size_t g = 0; g < groups; ++g)
        indices[g] = 3 * g + 2 < kDegree ? window3[t + 3 * g] : window2[t + 3 * g];
      a27_tables.combine_indexed(&Gt[t * kRow], indices.data(), 1);
    }
    // Row k of G_i is column k of G_i^T: its index for group g combines rows
    // 3g, 3g + 1, 3g + 2 of G_i^T, for all k at once.
    for (std::size_t g = 0; g < groups; ++g) {
      std::uint8_t* index_row = &G_index[g * kRow];
      const std::uint8_t* r0 = &Gt[3 * g * kRow];
      for (std::size_t k = 0; k < kRow; ++k) index_row[k] = r0[k];
      if (3 * g + 1 < kDegree)
        for (std::size_t k = 0; k < kRow; ++k)
          index_row[k] = static_cast<std::uint8_t>(index_row[k] + 3 * r0[kRow + k]);
      if (3 * g + 2 < kDegree)
        for (std::size_t k = 0; k < kRow; ++k)
          index_row[k] = static_cast<std::uint8_t>(index_row[k] + 9 * r0[2 * kRow + k]);
    }
    if (!form.has_storage()) form = Mat_ZZ_p(kPositions, kPositions);  // the last one was moved away
    for (int k = 0; k < kPositions; ++k) {                             // every element of the form is written
      a3_tables.combine_indexed(row.data(), &G_index[k], kRow);
      std::copy_n(row.data(), kPositions, form.row(k));
    }
    form.set(kDegree, kDegree, static_cast<unsigned char>(form.get(kDegree, kDegree) + v.data()[i]));
    consume(i, form);
  }
}

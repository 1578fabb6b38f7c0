// The public forms in one pass (make_public_forms_in_parallel, and
// compose_public_forms collecting them): the same forms that symbolic_product
// followed by apply_output_map gives (composition.cpp), computed as two
// tabulated products per form.
#include <algorithm>
#include <atomic>
#include <thread>

#include "field/field_tables.h"
#include "linalg/gf3_rows.h"
#include "linalg/packed_combination_tables.h"
#include "linalg/packed_rows.h"
#include "runtime/secure_wipe.h"
#include "runtime/worker_threads.h"
#include "scheme/composition.h"

namespace {

// Row e of the extended reduction: x^e mod f for e = 0..2n-2.
const std::uint8_t* power_residue(int n, const Mat_ZZ_p& table, const std::vector<std::uint8_t>& units, int e) {
  return e < n ? units.data() + static_cast<std::size_t>(e) * static_cast<std::size_t>(n) : table.row(e - n);
}

// Form i = G_i a3 with G_i = a27^T H_i and the Hankel matrix H_i(j, t) =
// h_i(j + t), h_i(e) = sum over r of M(i, r) (x^e mod f)_r. H_i is
// symmetric, so G_i^T = H_i a27: row t of G_i^T combines the rows of a27 with
// the coefficients h_i(t + j). Both products thus combine rows of a fixed
// matrix (a27, then a3), each tabulated once for all forms, bit-sliced.
// Sizes are n's: n + 1 positions, exponents 0..2n-2.
//
// The tables of a matrix are cut into blocks of groups that stay in a
// core's cache: each product takes one block at a time over all its rows,
// subtracting the block's combinations from rows that start at zero, so the
// rows end as the products negated (read with their planes swapped).
class PublicFormMaker {
 public:
  // What one thread needs of its own to make forms.
  struct Scratch {
    using Bytes = gf3mq::SecretVector<std::uint8_t>;
    using Words = gf3mq::SecretVector<std::uint64_t>;
    Scratch(std::size_t n, std::size_t row_words)
        : window3(2 * n - 1 + 3),
          window_last(2 * n - 1),
          Gt(n * row_words),
          column(3 * (n + 1)),
          G_index((n + 2) / 3 * (n + 1)),
          rows((n + 1) * row_words) {}
    Bytes window3, window_last;  // table indices of the windows of h_i
    Words Gt;                    // -G_i^T, n packed rows of n + 1
    Bytes column;                // three rows of G_i^T as elements
    Bytes G_index;               // table indices of G_i's rows
    Words rows;                  // -form i, n + 1 packed rows
  };

  PublicFormMaker(int n, const Mat_ZZ_p& M, const Vec_ZZ_p& v, const Mat_ZZ_p& a27, const Mat_ZZ_p& a3,
                  const Mat_ZZ_p& table)
      : n_(n), exponents_(2 * n_ - 1), v_(v), h_(static_cast<std::size_t>(n_) * static_cast<std::size_t>(exponents_)) {
    const std::size_t width = static_cast<std::size_t>(n_);
    std::vector<std::uint8_t> units(width * width, 0);
    for (std::size_t e = 0; e < width; ++e) units[e * width + e] = 1;
    gf3mq::for_each_item(width, 0, [&](std::size_t i) {
      for (int e = 0; e < exponents_; ++e)
        h_[i * exponents_ + e] = static_cast<std::uint8_t>(
            gf3mq::dot_row(M.row(static_cast<int>(i)), power_residue(n_, table, units, e), width) % 3u);
    });
    a27_blocks_ = blocks_of(packed_forms(a27));
    a3_blocks_ = blocks_of(packed_forms(a3));
  }

  Scratch scratch() const { return Scratch(static_cast<std::size_t>(n_), 2 * plane_words()); }

  // Form i into form ((n + 1) x (n + 1); every element is written).
  void make(int i, Scratch& w, Mat_ZZ_p& form) const {
    const std::size_t n = static_cast<std::size_t>(n_), positions = n + 1, groups = (n + 2) / 3;
    const std::size_t plane = plane_words(), row_words = 2 * plane;
    // Table indices of the windows of h_i: window3[e] = h(e) + 3 h(e + 1) +
    // 9 h(e + 2), so that row t takes window3[t + 3g] for its group g (step
    // 3); a last group of fewer than three rows takes window_last instead.
    const std::uint8_t* hi = h_.data() + static_cast<std::size_t>(i) * exponents_;
    for (int e = 0; e < exponents_; ++e) {
      const unsigned next = e + 1 < exponents_ ? hi[e + 1] : 0, after = e + 2 < exponents_ ? hi[e + 2] : 0;
      w.window3[e] = static_cast<std::uint8_t>(hi[e] + 3 * next + 9 * after);
      w.window_last[e] = static_cast<std::uint8_t>(n % 3 == 2 ? hi[e] + 3 * next : hi[e]);
    }
    std::fill(w.Gt.begin(), w.Gt.end(), std::uint64_t{0});
    for (const Block& block : a27_blocks_) {
      const std::uint8_t* windows = block.full_groups == 0 ? w.window_last.data() : w.window3.data();
      for (std::size_t t = 0; t < n; ++t) {
        std::uint64_t* row = &w.Gt[t * row_words];
        block.tables.subtract_indexed(row, row + plane, plane, windows + t + 3 * block.first_group, 3);
      }
    }
    // Row k of G_i is column k of G_i^T: its index for group g combines rows
    // 3g, 3g + 1, 3g + 2 of G_i^T, for all k at once.
    for (std::size_t g = 0; g < groups; ++g) {
      const std::size_t rows = std::min<std::size_t>(3, n - 3 * g);
      for (std::size_t r = 0; r < rows; ++r) {
        const std::uint64_t* packed = &w.Gt[(3 * g + r) * row_words];
        gf3mq::unpack_elements(packed + plane, packed, positions, &w.column[r * positions]);
      }
      std::uint8_t* index_row = &w.G_index[g * positions];
      const std::uint8_t* c = w.column.data();
      std::fill_n(index_row, positions, std::uint8_t{0});
      for (std::size_t r = rows; r-- > 0;)  // c0 + 3 c1 + 9 c2, by Horner's rule
        for (std::size_t k = 0; k < positions; ++k)
          index_row[k] = static_cast<std::uint8_t>(3 * index_row[k] + c[r * positions + k]);
    }
    std::fill(w.rows.begin(), w.rows.end(), std::uint64_t{0});
    for (const Block& block : a3_blocks_)
      for (std::size_t k = 0; k < positions; ++k) {
        std::uint64_t* row = &w.rows[k * row_words];
        block.tables.subtract_indexed(row, row + plane, plane, &w.G_index[block.first_group * positions + k],
                                      positions);
      }
    for (std::size_t k = 0; k < positions; ++k) {
      const std::uint64_t* row = &w.rows[k * row_words];
      gf3mq::unpack_elements(row + plane, row, positions, form.row(static_cast<int>(k)));
    }
    form.set(n_, n_, static_cast<unsigned char>(form.get(n_, n_) + v_.data()[i]));
  }

 private:
  // Tables of the groups [first_group, first_group + tables.groups()).
  struct Block {
    std::size_t first_group;
    std::size_t full_groups;  // of three rows
    gf3mq::PackedCombinationTables tables;
  };
  // The bytes of tables a block may hold to stay in a core's cache beside the rows it works on.
  static constexpr std::size_t kBlockBytes = std::size_t{192} << 10;

  std::size_t plane_words() const { return a27_blocks_.front().tables.plane_words(); }

  // The n affine forms of m (its first n + 1 columns), packed.
  gf3mq::PackedMatrix packed_forms(const Mat_ZZ_p& m) const {
    const std::size_t positions = static_cast<std::size_t>(n_) + 1;
    gf3mq::PackedMatrix packed(static_cast<std::size_t>(n_), positions);
    for (int j = 0; j < n_; ++j) packed.set_row(static_cast<std::size_t>(j), m.row(j), positions);
    return packed;
  }

  // The tables of m's rows in blocks of whole groups; a last group of fewer
  // than three rows is a block of its own.
  std::vector<Block> blocks_of(const gf3mq::PackedMatrix& m) const {
    const std::size_t rows = m.rows(), full = rows / 3;
    const std::size_t entry_bytes = 27 * 2 * ((m.words() + gf3mq::kChunkWords - 1) / gf3mq::kChunkWords) *
                                    gf3mq::kChunkWords * sizeof(std::uint64_t);
    const std::size_t per_block = std::max<std::size_t>(1, kBlockBytes / entry_bytes);
    std::vector<Block> blocks;
    for (std::size_t g = 0; g < full; g += per_block) {
      const std::size_t count = std::min(per_block, full - g);
      blocks.push_back({g, count, {}});
      blocks.back().tables.assign(m, 3 * g, 3 * count, 0, m.words());
    }
    if (rows % 3 != 0) {
      blocks.push_back({full, 0, {}});
      blocks.back().tables.assign(m, 3 * full, rows % 3, 0, m.words());
    }
    return blocks;
  }

  int n_, exponents_;
  const Vec_ZZ_p& v_;
  gf3mq::SecretVector<std::uint8_t> h_;  // h_i(e), n x (2n - 1)
  std::vector<Block> a27_blocks_, a3_blocks_;
};

// Table rows 0..n-2 (x^n .. x^(2n-2)) are read.
void require_public_form_shapes(int n, const Mat_ZZ_p& M, const Vec_ZZ_p& v, const Mat_ZZ_p& a27, const Mat_ZZ_p& a3,
                                const Mat_ZZ_p& table) {
  gf3mq::require_at_least(M, n, n);
  gf3mq::require_length(v, n);
  gf3mq::require_at_least(a27, n, n + 1);
  gf3mq::require_at_least(a3, n, n + 1);
  gf3mq::require_at_least(table, n - 1, n);
}

}  // namespace

void gf3mq::make_public_forms_in_parallel(const Mat_ZZ_p& M, const Vec_ZZ_p& v, const Mat_ZZ_p& a27, const Mat_ZZ_p& a3,
                                          const Mat_ZZ_p& table, const std::function<void(int, Mat_ZZ_p&)>& consume,
                                          int n) {
  require_public_form_shapes(n, M, v, a27, a3, table);
  const PublicFormMaker maker(n, M, v, a27, a3, table);
  std::atomic<int> next{0};  // the next form no thread has taken yet
  auto work = [&] {
    PublicFormMaker::Scratch scratch = maker.scratch();
    Mat_ZZ_p form(n + 1, n + 1);
    for (int i = next++; i < n; i = next++) {
      maker.make(i, scratch, form);
      consume(i, form);
    }
  };
  std::vector<std::thread> helpers = gf3mq::start_threads(gf3mq::worker_threads() - 1, work);
  work();  // the calling thread takes forms too, so any number of helpers will do
  for (std::thread& helper : helpers) helper.join();
}

gf3mq::FormList gf3mq::compose_public_forms(const Mat_ZZ_p& M, const Vec_ZZ_p& v, const Mat_ZZ_p& a27,
                                            const Mat_ZZ_p& a3, const Mat_ZZ_p& table, int n) {
  FormList forms(static_cast<std::size_t>(n), Mat_ZZ_p(n + 1, n + 1));
  make_public_forms_in_parallel(
      M, v, a27, a3, table, [&forms](int i, Mat_ZZ_p& form) { std::swap(forms[static_cast<std::size_t>(i)], form); },
      n);
  return forms;
}

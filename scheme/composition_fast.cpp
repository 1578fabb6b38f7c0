// The public forms in one pass (compose_public_forms, for_each_public_form):
// the same forms that symbolic_product followed by apply_output_map gives
// (composition.cpp), computed as two tabulated products per form.
#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "scheme/composition.h"
#include "field/field_tables.h"
#include "linalg/gf3_rows.h"
#include "linalg/packed_combination_tables.h"
#include "linalg/packed_rows.h"
#include "linalg/secure_wipe.h"
#include "linalg/worker_threads.h"

namespace {

using gf3mq::kDegree;
using gf3mq::kVariablesAndOne;

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

namespace {

// Form i = G_i a3 with G_i = a27^T H_i and the Hankel matrix H_i(j, t) =
// h_i(j + t), h_i(e) = sum over r of M(i, r) (x^e mod f)_r. H_i is
// symmetric, so G_i^T = H_i a27: row t of G_i^T combines the rows of a27 with
// the coefficients h_i(t + j). Both products thus combine rows of a fixed
// matrix (a27, then a3), each tabulated once for all forms, bit-sliced.
class PublicFormMaker {
 public:
  static constexpr int kExponents = 2 * kDegree - 1;  // x^0 .. x^512
  static constexpr std::size_t kGroups = (kDegree + 2) / 3;  // 86: rows 3g, 3g + 1, 3g + 2 (the last has two)
  static constexpr std::size_t kRowWords = 2 * gf3mq::kPlaneWords;  // a packed row: ones, then twos

  // What one thread needs of its own to make forms.
  struct Scratch {
    using Bytes = gf3mq::SecretVector<std::uint8_t>;
    using Words = gf3mq::SecretVector<std::uint64_t>;
    Bytes window3 = Bytes(kExponents), window2 = Bytes(kExponents), indices = Bytes(kGroups);
    Words Gt = Words(static_cast<std::size_t>(kDegree) * kRowWords);  // G_i^T, 257 packed rows of 258
    Bytes column = Bytes(3 * static_cast<std::size_t>(kVariablesAndOne));   // three rows of G_i^T as elements
    Bytes G_index = Bytes(kGroups * kVariablesAndOne);                      // table indices of G_i's rows
    Words row = Words(kRowWords);
  };

  PublicFormMaker(const Mat_ZZ_p& M, const Vec_ZZ_p& v, const Mat_ZZ_p& a27, const Mat_ZZ_p& a3,
                  const Mat_ZZ_p& table)
      : v_(v), h_(static_cast<std::size_t>(kDegree) * kExponents) {
    std::vector<std::uint8_t> units(static_cast<std::size_t>(kDegree) * kDegree, 0);
    for (int e = 0; e < kDegree; ++e) units[static_cast<std::size_t>(e) * kDegree + e] = 1;
    for (int i = 0; i < kDegree; ++i)
      for (int e = 0; e < kExponents; ++e)
        h_[static_cast<std::size_t>(i) * kExponents + e] =
            static_cast<std::uint8_t>(gf3mq::dot_row(M.row(i), power_residue(table, units, e), kDegree) % 3u);
    a27_tables_.assign(packed_forms(a27));
    a3_tables_.assign(packed_forms(a3));
  }

  // Form i into form (258 x 258; every element is written).
  void make(int i, Scratch& w, Mat_ZZ_p& form) const {
    // Table indices of the windows of h_i: window[e] = h(e) + 3 h(e + 1) + 9 h(e + 2),
    // and for the last group, of rows 255 and 256 only, h(e) + 3 h(e + 1).
    const std::uint8_t* hi = h_.data() + static_cast<std::size_t>(i) * kExponents;
    for (int e = 0; e < kExponents; ++e) {
      const unsigned next = e + 1 < kExponents ? hi[e + 1] : 0, after = e + 2 < kExponents ? hi[e + 2] : 0;
      w.window2[e] = static_cast<std::uint8_t>(hi[e] + 3 * next);
      w.window3[e] = static_cast<std::uint8_t>(hi[e] + 3 * next + 9 * after);
    }
    for (int t = 0; t < kDegree; ++t) {
      for (std::size_t g = 0; g < kGroups; ++g)
        w.indices[g] = 3 * g + 2 < kDegree ? w.window3[t + 3 * g] : w.window2[t + 3 * g];
      std::uint64_t* row = &w.Gt[static_cast<std::size_t>(t) * kRowWords];
      a27_tables_.combine_indexed(row, row + gf3mq::kPlaneWords, w.indices.data(), 1);
    }
    // Row k of G_i is column k of G_i^T: its index for group g combines rows
    // 3g, 3g + 1, 3g + 2 of G_i^T, for all k at once.
    for (std::size_t g = 0; g < kGroups; ++g) {
      const std::size_t rows = std::min<std::size_t>(3, kDegree - 3 * g);
      for (std::size_t r = 0; r < rows; ++r) {
        const std::uint64_t* packed = &w.Gt[(3 * g + r) * kRowWords];
        gf3mq::unpack_elements(packed, packed + gf3mq::kPlaneWords, kVariablesAndOne, &w.column[r * kVariablesAndOne]);
      }
      std::uint8_t* index_row = &w.G_index[g * kVariablesAndOne];
      const std::uint8_t* c = w.column.data();
      for (std::size_t k = 0; k < kVariablesAndOne; ++k) index_row[k] = c[k];
      if (rows > 1)
        for (std::size_t k = 0; k < kVariablesAndOne; ++k)
          index_row[k] = static_cast<std::uint8_t>(index_row[k] + 3 * c[kVariablesAndOne + k]);
      if (rows > 2)
        for (std::size_t k = 0; k < kVariablesAndOne; ++k)
          index_row[k] = static_cast<std::uint8_t>(index_row[k] + 9 * c[2 * kVariablesAndOne + k]);
    }
    if (!form.has_storage()) form = Mat_ZZ_p(kVariablesAndOne, kVariablesAndOne);  // consumed forms may be moved away
    for (int k = 0; k < kVariablesAndOne; ++k) {
      a3_tables_.combine_indexed(w.row.data(), w.row.data() + gf3mq::kPlaneWords, &w.G_index[k], kVariablesAndOne);
      gf3mq::unpack_elements(w.row.data(), w.row.data() + gf3mq::kPlaneWords, kVariablesAndOne, form.row(k));
    }
    form.set(kDegree, kDegree, static_cast<unsigned char>(form.get(kDegree, kDegree) + v_.data()[i]));
  }

 private:
  // The 257 affine forms of m (its first 258 columns), packed.
  static gf3mq::PackedMatrix packed_forms(const Mat_ZZ_p& m) {
    gf3mq::PackedMatrix packed(kDegree, kVariablesAndOne);
    for (int j = 0; j < kDegree; ++j) packed.set_row(static_cast<std::size_t>(j), m.row(j), kVariablesAndOne);
    return packed;
  }

  const Vec_ZZ_p& v_;
  gf3mq::SecretVector<std::uint8_t> h_;  // h_i(e), 257 x 513
  gf3mq::PackedCombinationTables a27_tables_, a3_tables_;
};

// Forms made by up to `helpers` worker threads, taken in order, into a ring
// of slots; the calling thread consumes them in order as they are done. A
// worker waits for its slot to be consumed before it fills it; the forms
// before it are all taken, so every wait ends. With no worker at all (the
// system gave none) the calling thread makes them itself.
void make_in_parallel(const PublicFormMaker& maker, unsigned helpers,
                      const std::function<void(int, Mat_ZZ_p&)>& consume) {
  const std::size_t slots = 2 * static_cast<std::size_t>(helpers);
  std::vector<Mat_ZZ_p> ring;
  for (std::size_t s = 0; s < slots; ++s) ring.emplace_back(kVariablesAndOne, kVariablesAndOne);
  std::mutex mutex;
  std::condition_variable changed;
  std::vector<int> made(slots, -1);  // the form a slot holds, -1 when none
  int consumed = 0;                  // forms 0 .. consumed - 1 are done with
  std::atomic<int> next{0};          // the next form no worker has taken
  auto work = [&] {
    PublicFormMaker::Scratch scratch;
    for (int i = next++; i < kDegree; i = next++) {
      const std::size_t slot = static_cast<std::size_t>(i) % slots;
      {
        std::unique_lock<std::mutex> lock(mutex);
        changed.wait(lock, [&] { return consumed > i - static_cast<int>(slots); });  // its last form is consumed
      }
      maker.make(i, scratch, ring[slot]);
      {
        std::lock_guard<std::mutex> lock(mutex);
        made[slot] = i;
      }
      changed.notify_all();
    }
  };
  std::vector<std::thread> workers = gf3mq::start_threads(helpers, work);
  if (workers.empty()) {
    PublicFormMaker::Scratch scratch;
    for (int i = 0; i < kDegree; ++i) {
      maker.make(i, scratch, ring[0]);
      consume(i, ring[0]);
    }
    return;
  }
  for (int i = 0; i < kDegree; ++i) {
    const std::size_t slot = static_cast<std::size_t>(i) % slots;
    {
      std::unique_lock<std::mutex> lock(mutex);
      changed.wait(lock, [&] { return made[slot] == i; });
    }
    consume(i, ring[slot]);
    {
      std::lock_guard<std::mutex> lock(mutex);
      consumed = i + 1;
    }
    changed.notify_all();
  }
  for (std::thread& worker : workers) worker.join();
}

void require_public_form_shapes(const Mat_ZZ_p& M, const Vec_ZZ_p& v, const Mat_ZZ_p& a27, const Mat_ZZ_p& a3,
                                const Mat_ZZ_p& table) {
  gf3mq::require_at_least(M, kDegree, kDegree);
  gf3mq::require_length(v, kDegree);
  gf3mq::require_at_least(a27, kDegree, kVariablesAndOne);
  gf3mq::require_at_least(a3, kDegree, kVariablesAndOne);
  gf3mq::require_at_least(table, kDegree - 1, kDegree);  // rows 0..255 are read
}

}  // namespace

void gf3mq::make_public_forms_in_parallel(const Mat_ZZ_p& M, const Vec_ZZ_p& v, const Mat_ZZ_p& a27,
                                          const Mat_ZZ_p& a3, const Mat_ZZ_p& table,
                                          const std::function<void(int, Mat_ZZ_p&)>& consume) {
  require_public_form_shapes(M, v, a27, a3, table);
  const PublicFormMaker maker(M, v, a27, a3, table);
  std::atomic<int> next{0};  // the next form no thread has taken yet
  auto work = [&] {
    PublicFormMaker::Scratch scratch;
    Mat_ZZ_p form(kVariablesAndOne, kVariablesAndOne);
    for (int i = next++; i < kDegree; i = next++) {
      maker.make(i, scratch, form);
      consume(i, form);
    }
  };
  std::vector<std::thread> helpers = gf3mq::start_threads(gf3mq::worker_threads() - 1, work);
  work();  // the calling thread takes forms too, so any number of helpers will do
  for (std::thread& helper : helpers) helper.join();
}

void for_each_public_form(const Mat_ZZ_p& M, const Vec_ZZ_p& v, const Mat_ZZ_p& a27, const Mat_ZZ_p& a3,
                          const Mat_ZZ_p& table, const std::function<void(int, Mat_ZZ_p&)>& consume) {
  require_public_form_shapes(M, v, a27, a3, table);
  const PublicFormMaker maker(M, v, a27, a3, table);
  const unsigned threads = gf3mq::worker_threads();
  if (threads >= 2) {
    make_in_parallel(maker, threads, consume);
    return;
  }
  PublicFormMaker::Scratch scratch;
  Mat_ZZ_p form(kVariablesAndOne, kVariablesAndOne);
  for (int i = 0; i < kDegree; ++i) {
    maker.make(i, scratch, form);
    consume(i, form);
  }
}

#include "linalg/packed_echelon.h"

#include <algorithm>
#include <atomic>

#include "linalg/packed_combination_tables.h"
#include "linalg/packed_rows.h"
#include "linalg/packed_transpose.h"
#include "runtime/worker_threads.h"

namespace gf3mq {

namespace {

constexpr std::size_t kWordBits = 64;

// Pivots per panel, tabulated three at a time (27 combinations each): every
// other row is then read and written once per panel, with one combination
// of the tables subtracted. Enough rows pay for the tables.
constexpr int kMaxPanel = 48;
static_assert(kMaxPanel % 3 == 0 && kMaxPanel <= 64,
              "a run of a panel's pivot columns is read as one word of each plane");
// Pivot rows substituted back at a time: 32 groups of 27 entries as wide as
// the free columns (216 KB for 1021 of them).
constexpr std::size_t kSubstitutionRows = 96;
// Rows a thread takes at a time in the substitution.
constexpr std::size_t kSubstitutionChunkRows = 256;

// Pivot columns indexed at once (pivot_indices): 128 bits of each plane.
constexpr std::size_t kMaxIndexed = 2 * kWordBits;
static_assert(kMaxPanel <= kMaxIndexed && kSubstitutionRows <= kMaxIndexed);

int panel_size(std::size_t rows) {
  if (rows >= 2000) return kMaxPanel;
  if (rows >= 200) return 12;
  return 3;
}

// The value at column c of row r once the block's pivots found so far are
// cleared from it (each pivot row holds 1 at its own column and 0 at the
// others of the block).
unsigned reduced_value(const PackedMatrix& m, std::size_t r, std::size_t c, const std::size_t* pivot_rows,
                       const std::size_t* pivot_cols, int found) {
  unsigned v = m.get(r, c);
  for (int i = 0; i < found; ++i) v += 3 * 3 - m.get(r, pivot_cols[i]) * m.get(pivot_rows[i], c);
  return v % 3;
}

// Fewest rows per thread for an elimination to go to several threads.
constexpr std::size_t kEliminationRowsPerThread = 512;
// Rows are claimed by chunks of 64, up to 8 chunks at a time while many
// are left (a quarter of a thread's share of those left), so that the words
// of the tables a block needs (below) serve many rows.
constexpr std::size_t kEliminationChunkRows = 64;
constexpr std::uint64_t kMaxClaimedChunks = 8;
constexpr std::size_t kMaxClaimedRows = kMaxClaimedChunks * kEliminationChunkRows;
// Words of a row cleared at a time: the tables' words for such a block, 16
// groups of 27 entries of two planes, stay in a core's second-level cache
// while each claimed row reads them, and the next row's block is fetched
// meanwhile.
constexpr std::size_t kClearBlockWords = 64;
static_assert(kClearBlockWords % kChunkWords == 0 &&
                  kMaxPanel / 3 * 27 * 2 * kClearBlockWords * sizeof(std::uint64_t) <= 512 * 1024,
              "a block of the tables fits half of a 1 MiB cache");

// The pivots of one panel: up to `block` columns from col on (col moves past
// them), their rows brought to rank, rank + 1, ..., reduced against one
// another. Returns how many were found.
int find_block(PackedMatrix& m, std::size_t& col, std::size_t rank, int block, std::size_t* pivot_rows,
               std::size_t* pivot_cols) {
  int found = 0;
  for (; col < m.cols() && found < block && rank + static_cast<std::size_t>(found) < m.rows(); ++col) {
    std::size_t r = rank + static_cast<std::size_t>(found);
    while (r < m.rows() && reduced_value(m, r, col, pivot_rows, pivot_cols, found) == 0) ++r;
    if (r == m.rows()) continue;  // no pivot: a free column
    const std::size_t here = rank + static_cast<std::size_t>(found);
    m.swap_rows(r, here);
    for (int i = 0; i < found; ++i) m.add_row_multiple(here, pivot_rows[i], 3 - m.get(here, pivot_cols[i]));
    if (m.get(here, col) == 2) std::swap_ranges(m.ones(here), m.twos(here), m.twos(here));  // times 2: now 1
    for (int i = 0; i < found; ++i) m.add_row_multiple(pivot_rows[i], here, 3 - m.get(pivot_rows[i], col));
    pivot_rows[found] = here;
    pivot_cols[found] = col;
    ++found;
  }
  return found;
}

// The elements of a row at up to kMaxIndexed pivot columns, bit i of each
// plane for pivot i.
__extension__ typedef unsigned __int128 PivotBits;

// A run of pivot columns side by side: `count` (at most 64) from column
// `col` on, pivots `first` to first + count - 1.
struct PivotRun {
  std::size_t col, first;
  int count;
};

// The runs of the pivot columns p[0..count), ascending.
std::vector<PivotRun> pivot_runs(const std::size_t* p, std::size_t count) {
  std::vector<PivotRun> runs;
  for (std::size_t i = 0, j; i < count; i = j) {
    for (j = i + 1; j < count && p[j] == p[j - 1] + 1 && j - i < kWordBits;) ++j;
    runs.push_back({p[i], i, static_cast<int>(j - i)});
  }
  return runs;
}

// index(g) = e(r, p_3g) + 3 e(r, p_3g+1) + 9 e(r, p_3g+2) for the `count`
// pivot columns p_i of `runs`; false when all are zero.
bool pivot_indices(const PackedMatrix& e, std::size_t r, const std::vector<PivotRun>& runs, std::size_t count,
                   std::uint8_t* index) {
  PivotBits ones = 0, twos = 0;
  for (const PivotRun& run : runs) {
    ones |= PivotBits{bits_from(e.ones(r), e.words(), run.col, run.count)} << run.first;
    twos |= PivotBits{bits_from(e.twos(r), e.words(), run.col, run.count)} << run.first;
  }
  if ((ones | twos) == 0) return false;
  for (std::size_t g = 0; 3 * g < count; ++g, ones >>= 3, twos >>= 3)
    index[g] = static_cast<std::uint8_t>(kTritsOfBits[ones & 7] + 2 * kTritsOfBits[twos & 7]);
  return true;
}

// Rows [first, end) but the panel's own lose their entries at its pivot
// columns. The panel's rows (rank, rank + 1, ...) hold 1 at their own pivot
// column and 0 at the others', so a row r becomes r - sum of r(c_i) times
// pivot row i, with r's own elements at the pivot columns: one combination
// from the tables, over the words from the first pivot's on. The rows'
// indices come first; then the rows are cleared kClearBlockWords words at a
// time, so that the tables' words for a block stay in the core's cache
// while every row reads them.
void clear_panel(PackedMatrix& m, const PackedCombinationTables& tables, std::size_t first_word, std::size_t first,
                 std::size_t end, std::size_t rank, int found, const std::vector<PivotRun>& runs) {
  const std::size_t width = m.words() - first_word;
  constexpr std::size_t kGroups = kMaxPanel / 3;
  std::uint8_t indices[kMaxClaimedRows][kGroups];
  std::size_t rows[kMaxClaimedRows], count = 0;
  for (std::size_t r = first; r < end; ++r) {
    if (r >= rank && r < rank + static_cast<std::size_t>(found)) continue;
    std::uint8_t* index = indices[count];
    if (runs.size() == 1) {  // pivot columns side by side, as a rule: one word of each plane
      const std::uint64_t ones = bits_from(m.ones(r), m.words(), runs[0].col, found),
                          twos = bits_from(m.twos(r), m.words(), runs[0].col, found);
      if ((ones | twos) == 0) continue;
      for (int g = 0; 3 * g < found; ++g)
        index[g] =
            static_cast<std::uint8_t>(kTritsOfBits[(ones >> (3 * g)) & 7] + 2 * kTritsOfBits[(twos >> (3 * g)) & 7]);
    } else if (!pivot_indices(m, r, runs, static_cast<std::size_t>(found), index)) {
      continue;
    }
    rows[count++] = r;
  }
  for (std::size_t from = 0; from < width; from += kClearBlockWords) {
    const std::size_t to = std::min(width, from + kClearBlockWords);
    for (std::size_t i = 0; i < count; ++i) {
      if (i + 1 < count)  // the next row's block on its way from memory while this one is cleared
        for (std::size_t w = from; w < to; w += kChunkWords) {
          __builtin_prefetch(m.ones(rows[i + 1]) + first_word + w, 1);
          __builtin_prefetch(m.twos(rows[i + 1]) + first_word + w, 1);
        }
      tables.subtract_indexed(m.ones(rows[i]) + first_word, m.twos(rows[i]) + first_word, to, indices[i], 1, from);
    }
  }
}

// The pivots by panels, each clearing the rows below it and, when
// `reduced`, those above it.
std::vector<std::size_t> eliminate(PackedMatrix& m, bool reduced, const PhaseProgress& progress, unsigned threads) {
  if (threads == 0) threads = worker_threads();
  threads =
      static_cast<unsigned>(std::clamp<std::size_t>(m.rows() / kEliminationRowsPerThread, 1, std::max(1u, threads)));
  const int block = panel_size(m.rows());
  std::vector<std::size_t> pivots;
  std::size_t rank = 0, col = 0, first_word = 0, lowest = 0, pivot_rows[kMaxPanel], pivot_cols[kMaxPanel];
  int found = 0;
  std::vector<PivotRun> runs;
  PackedCombinationTables tables;
  // The calling thread finds each panel's pivots and tabulates them; then
  // every thread takes chunks of rows to clear until none are left. A
  // chunk is claimed with the panel's number (high half of `claim`) and the
  // chunk's (low half), so that a thread late for a panel claims nothing of
  // the next; the caller waits only for the chunks claimed, never for an
  // idle thread. Each row gets the same operations whichever thread clears
  // it: the same form on any number of threads.
  const std::uint64_t chunks = (m.rows() + kEliminationChunkRows - 1) / kEliminationChunkRows;
  std::atomic<std::uint64_t> claim{0};
  std::atomic<std::uint64_t> cleared{0};
  std::atomic<bool> finished{false};
  const auto clear_chunks = [&](std::uint64_t panel) {
    for (std::uint64_t c = claim.load(std::memory_order_acquire); c >> 32 == panel && (c & 0xFFFFFFFFu) < chunks;) {
      const std::uint64_t take =
          std::clamp<std::uint64_t>((chunks - (c & 0xFFFFFFFFu)) / (4 * threads), 1, kMaxClaimedChunks);
      if (!claim.compare_exchange_weak(c, c + take, std::memory_order_acq_rel, std::memory_order_acquire)) continue;
      const std::size_t first = static_cast<std::size_t>(c & 0xFFFFFFFFu) * kEliminationChunkRows;
      clear_panel(m, tables, first_word, std::max(first, lowest),
                  std::min<std::size_t>(first + take * kEliminationChunkRows, m.rows()), rank, found, runs);
      cleared.fetch_add(take, std::memory_order_release);
      c = claim.load(std::memory_order_acquire);
    }
  };
  const auto help = [&] {
    for (std::uint64_t seen = 0;;) {
      const std::uint64_t c = claim.load(std::memory_order_acquire);
      if (finished.load(std::memory_order_acquire)) return;
      if (c >> 32 == seen) {
        claim.wait(c, std::memory_order_acquire);
        continue;
      }
      seen = c >> 32;
      clear_chunks(seen);
    }
  };
  std::vector<std::thread> helpers;
  if (threads > 1) helpers = start_threads(threads - 1, help);
  threads = static_cast<unsigned>(helpers.size()) + 1;  // those the system gave; read once a panel is out
  for (std::uint64_t panel = 1;; ++panel) {
    found = col < m.cols() && rank < m.rows() ? find_block(m, col, rank, block, pivot_rows, pivot_cols) : 0;
    if (found == 0) break;
    first_word = pivot_cols[0] / kWordBits;
    runs = pivot_runs(pivot_cols, static_cast<std::size_t>(found));
    tables.assign(m, rank, static_cast<std::size_t>(found), first_word, m.words() - first_word);
    // Rows above the panel too for the reduced form; for the row echelon
    // form only those below it, from the chunk that holds the first.
    lowest = reduced ? 0 : rank + static_cast<std::size_t>(found);
    const std::uint64_t first_chunk = lowest / kEliminationChunkRows;
    cleared.store(first_chunk, std::memory_order_relaxed);
    claim.store(panel << 32 | first_chunk, std::memory_order_release);
    claim.notify_all();
    clear_chunks(panel);
    while (cleared.load(std::memory_order_acquire) < chunks) std::this_thread::yield();
    pivots.insert(pivots.end(), pivot_cols, pivot_cols + found);
    rank += static_cast<std::size_t>(found);
    if (col < m.cols())
      report_progress(progress, kEliminationPhase, static_cast<double>(col) / static_cast<double>(m.cols()));
  }
  finished.store(true, std::memory_order_release);
  claim.fetch_add(std::uint64_t{1} << 32, std::memory_order_release);
  claim.notify_all();
  for (std::thread& t : helpers) t.join();
  report_progress(progress, kEliminationPhase, 1.0);
  return pivots;
}

}  // namespace

std::vector<std::size_t> reduce_to_echelon(PackedMatrix& m, const PhaseProgress& progress, unsigned threads) {
  return eliminate(m, true, progress, threads);
}

std::vector<std::size_t> reduce_to_row_echelon(PackedMatrix& m, const PhaseProgress& progress, unsigned threads) {
  return eliminate(m, false, progress, threads);
}

namespace {

std::vector<std::size_t> free_columns(std::size_t cols, const std::vector<std::size_t>& pivots) {
  std::vector<bool> is_pivot(cols, false);
  for (std::size_t p : pivots) is_pivot[p] = true;
  std::vector<std::size_t> free;
  for (std::size_t c = 0; c < cols; ++c)
    if (!is_pivot[c]) free.push_back(c);
  return free;
}

// reduced(i, k) = echelon(i, free[k]) for i < reduced.rows(): each run of
// free columns side by side copied as bits.
void take_free_columns(const PackedMatrix& echelon, const std::vector<std::size_t>& free, PackedMatrix& reduced,
                       unsigned threads) {
  const std::vector<PivotRun> runs = pivot_runs(free.data(), free.size());
  for_each_item((reduced.rows() + kSubstitutionChunkRows - 1) / kSubstitutionChunkRows, threads, [&](std::size_t item) {
    for (std::size_t i = item * kSubstitutionChunkRows;
         i < std::min(reduced.rows(), (item + 1) * kSubstitutionChunkRows); ++i)
      for (const PivotRun& run : runs) {
        place_bits(reduced.ones(i), run.first, bits_from(echelon.ones(i), echelon.words(), run.col, run.count),
                   run.count);
        place_bits(reduced.twos(i), run.first, bits_from(echelon.twos(i), echelon.words(), run.col, run.count),
                   run.count);
      }
  });
}

// Row k: 1 at free[k], -reduced(i, k) at pivots[i], 0 elsewhere; reduced(i, k)
// is the reduced echelon form's element at (i, free[k]). Column k of
// reduced is row k of its transpose, whose runs of pivots side by side are
// copied as bits, the planes exchanged (-x).
PackedMatrix kernel_from(std::size_t cols, const std::vector<std::size_t>& pivots, const std::vector<std::size_t>& free,
                         const PackedMatrix& reduced) {
  PackedMatrix kernel(free.size(), cols);
  if (free.empty()) return kernel;
  const PackedMatrix columns = transpose(reduced);
  const std::vector<PivotRun> runs = pivot_runs(pivots.data(), pivots.size());
  for (std::size_t k = 0; k < free.size(); ++k) {
    kernel.set(k, free[k], 1);
    for (const PivotRun& run : runs) {
      place_bits(kernel.twos(k), run.col, bits_from(columns.ones(k), columns.words(), run.first, run.count), run.count);
      place_bits(kernel.ones(k), run.col, bits_from(columns.twos(k), columns.words(), run.first, run.count), run.count);
    }
  }
  return kernel;
}

}  // namespace

PackedMatrix kernel_of_echelon(const PackedMatrix& echelon, const std::vector<std::size_t>& pivots) {
  const std::vector<std::size_t> free = free_columns(echelon.cols(), pivots);
  PackedMatrix reduced(pivots.size(), free.size());
  take_free_columns(echelon, free, reduced, 1);
  return kernel_from(echelon.cols(), pivots, free, reduced);
}

PackedMatrix kernel_of_row_echelon(const PackedMatrix& echelon, const std::vector<std::size_t>& pivots,
                                   unsigned threads) {
  const std::vector<std::size_t> free = free_columns(echelon.cols(), pivots);
  const std::size_t rank = pivots.size();
  // The reduced form's row i at the free columns: row i of the echelon form
  // less sum over j > i of e(i, p_j) times reduced row j, from the last
  // pivot row up, a block of rows at a time: those of the block among
  // themselves, then every row above it at once from the block's tables.
  PackedMatrix reduced(rank, free.size());
  take_free_columns(echelon, free, reduced, threads);
  PackedCombinationTables tables;
  for (std::size_t end = rank; end > 0 && !free.empty();) {
    const std::size_t start = end - std::min(end, kSubstitutionRows);
    for (std::size_t i = end - 1; i + 1 > start; --i)
      for (std::size_t j = i + 1; j < end; ++j)
        if (const unsigned v = echelon.get(i, pivots[j]); v != 0) reduced.add_row_multiple(i, j, 3 - v);
    if (start > 0) {
      tables.assign(reduced, start, end - start, 0, reduced.words());
      const std::vector<PivotRun> runs = pivot_runs(pivots.data() + start, end - start);
      for_each_item((start + kSubstitutionChunkRows - 1) / kSubstitutionChunkRows, threads, [&](std::size_t item) {
        std::uint8_t index[kSubstitutionRows / 3];
        for (std::size_t r = item * kSubstitutionChunkRows; r < std::min(start, (item + 1) * kSubstitutionChunkRows);
             ++r)
          if (pivot_indices(echelon, r, runs, end - start, index))
            tables.subtract_indexed(reduced.ones(r), reduced.twos(r), reduced.words(), index, 1);
      });
    }
    end = start;
  }
  return kernel_from(echelon.cols(), pivots, free, reduced);
}

PackedMatrix kernel_in_place(PackedMatrix& m, const PhaseProgress& progress, unsigned threads) {
  if (m.rows() < kRowEchelonFromRows) return kernel_of_echelon(m, reduce_to_echelon(m, progress, threads));
  const std::vector<std::size_t> pivots = reduce_to_row_echelon(m, progress, threads);
  return kernel_of_row_echelon(m, pivots, threads);
}

PackedMatrix kernel_basis(const PackedMatrix& m, const PhaseProgress& progress, unsigned threads) {
  PackedMatrix echelon = m;
  return kernel_in_place(echelon, progress, threads);
}

bool solve(const PackedMatrix& m, const std::vector<std::uint8_t>& b, std::vector<std::uint8_t>& x,
           PackedMatrix* kernel) {
  const std::size_t n = m.cols();
  PackedMatrix augmented(m.rows(), n + 1);
  for (std::size_t r = 0; r < m.rows(); ++r) {
    for (std::size_t c = 0; c < n; ++c) augmented.set(r, c, m.get(r, c));
    augmented.set(r, n, b.at(r));
  }
  std::vector<std::size_t> pivots = reduce_to_echelon(augmented);
  if (!pivots.empty() && pivots.back() == n) return false;  // 0 = 1 among the equations
  x.assign(n, 0);
  for (std::size_t i = 0; i < pivots.size(); ++i) x[pivots[i]] = augmented.get(i, n);
  if (kernel != nullptr) {
    // The kernel of m: free columns among the first n only.
    PackedMatrix full = kernel_of_echelon(augmented, pivots);
    PackedMatrix restricted(full.rows() - 1, n);  // the free column n is b's, not m's
    std::size_t k = 0;
    for (std::size_t r = 0; r < full.rows(); ++r) {
      if (full.get(r, n) != 0) continue;
      for (std::size_t c = 0; c < n; ++c) restricted.set(k, c, full.get(r, c));
      ++k;
    }
    *kernel = restricted;
  }
  return true;
}

}  // namespace gf3mq

#include "scheme/decrypt.h"

#include <algorithm>

#include "field/field.h"
#include "field/field_tables.h"
#include "runtime/locked_pages.h"
#include "scheme/encrypt.h"
#include "scheme/encrypt_batch.h"
#include "scheme/key_files.h"

namespace gf3mq {

SecretKeyFiles::SecretKeyFiles(const Sizes& s)
    : sizes(s),
      mat_A(s.n, s.n),
      mat_B(s.n, s.n),
      A_Inv(s.n, s.n),
      B_Inv(s.n, s.n),
      reduction(make_reduction_table(s.n)),
      V1(s.n),
      V2(s.n),
      sk(s.elements()) {}

bool SecretKeyFiles::read(std::initializer_list<Part> parts, FileProblem* problem) {
  const auto read_part = [&](Part part) {
    if (part == Part::reduction) return load_reduction_table(sizes.n, reduction, problem);
    const std::size_t p = static_cast<std::size_t>(part);  // files and digits in the order of Part
    const char* const files[] = {kMatAFile, kV1File, kMatBFile, kV2File, kInvAFile, kInvBFile, kSecretKeyFile};
    std::uint8_t* const digits[] = {mat_A.data(), V1.data(),    mat_B.data(), V2.data(),
                                    A_Inv.data(), B_Inv.data(), sk.data()};
    const bool vector = part == Part::V1 || part == Part::V2 || part == Part::sk;
    return read_key_file(sizes, files[p], digits[p], vector ? sizes.elements() : sizes.matrix_digits(), problem,
                         kReductionTableFile);
  };
  return std::all_of(parts.begin(), parts.end(), read_part);
}

SecretMaps::SecretMaps(const Sizes& s) : SecretKeyFiles(s) {}

SecretMaps::~SecretMaps() = default;

bool SecretMaps::load(FileProblem* problem) {
  locked_.clear();  // wipes and unlocks the maps loaded before, if any
  if (!read({Part::A_Inv, Part::B_Inv, Part::V1, Part::V2, Part::reduction}, problem)) return false;
  field_ = std::make_unique<Field>(reduction);
  return true;
}

void SecretMaps::keep_out_of_swap() {
  if (!locked_.empty()) return;  // still locked since the last load
  const std::size_t n = sizes.elements();
  for (const Mat_ZZ_p* m : {&A_Inv, &B_Inv}) locked_.push_back(std::make_unique<LockedPages>(m->data(), n * n));
  for (const Vec_ZZ_p* v : {&V1, &V2}) locked_.push_back(std::make_unique<LockedPages>(v->data(), n));
}

void SecretMaps::decrypt(const unsigned char* sk, const unsigned char* c, unsigned char* m) const {
  const int n = sizes.n;
  Vec_ZZ_p corrected(n);
  for (int i = 0; i < n; ++i) corrected.set(i, static_cast<unsigned char>((c[i] + sk[i]) % 3));
  const auto [m1, m2] = decryption_candidates(*field_, corrected, A_Inv, V1, B_Inv, V2);
  std::copy_n(m1.data(), n, m);
  std::copy_n(m2.data(), n, m + n);
}

std::pair<Vec_ZZ_p, Vec_ZZ_p> decryption_candidates(const Field& field, const Vec_ZZ_p& corrected,
                                                    const Mat_ZZ_p& A_Inv, const Vec_ZZ_p& V1, const Mat_ZZ_p& B_Inv,
                                                    const Vec_ZZ_p& V2) {
  const int n = field.n();
  const Vec_ZZ_p y = A_Inv * (corrected - V1);
  require_length(y, n);
  Vec_ZZ_p root(n);  // Y^d
  field.central_map_root(y.data(), root.data());
  return {B_Inv * (root - V2), B_Inv * (2 * root - V2)};
}

bool decrypt_at(const Sizes& sizes, const unsigned char* sk, const unsigned char* c, unsigned char* m,
                FileProblem* problem) {
  SecretMaps maps(sizes);
  if (!maps.load(problem)) return false;
  maps.decrypt(sk, c, m);
  return true;
}

namespace {

// Only plaintexts over {1, 2} can encrypt back: the stored key is exact for them alone.
bool over_one_and_two(const unsigned char* x, std::size_t n) {
  return std::all_of(x, x + n, [](unsigned char e) { return e == 1 || e == 2; });
}

// The answer of message_index from whether each candidate encrypts back and
// whether the two are the same plaintext (one message, x0).
int index_of(bool first, bool second, bool same) {
  if (first && second) return same ? 0 : kAmbiguousMessage;
  if (first) return 0;
  return second ? 1 : kNoMessage;
}

}  // namespace

int message_index(const Sizes& sizes, const unsigned char* pk, const unsigned char* c, const unsigned char* m) {
  const std::size_t n = sizes.elements();
  bool back[2] = {false, false};
  for (std::size_t candidate = 0; candidate < 2; ++candidate) {
    const unsigned char* x = m + candidate * n;
    if (!over_one_and_two(x, n)) continue;
    unsigned char again[kLargestDegree];
    encrypt_at(sizes, pk, x, again);
    back[candidate] = std::equal(again, again + n, c);
  }
  return index_of(back[0], back[1], std::equal(m, m + n, m + n));
}

void message_indices(const Sizes& sizes, const unsigned char* pk, const unsigned char* c, const unsigned char* m,
                     std::size_t count, int* out) {
  const std::size_t n = sizes.elements();
  if (count < kBatchWorthwhile) {
    for (std::size_t t = 0; t < count; ++t) out[t] = message_index(sizes, pk, c + t * n, m + t * 2 * n);
    return;
  }
  // Every candidate that can encrypt back, as (ciphertext, candidate),
  // encrypted in batches.
  std::vector<std::size_t> tried;
  SecretVector<unsigned char> plaintexts;
  for (std::size_t k = 0; k < 2 * count; ++k) {
    const unsigned char* x = m + k * n;
    if (!over_one_and_two(x, n)) continue;
    tried.push_back(k);
    plaintexts.insert(plaintexts.end(), x, x + n);
  }
  std::vector<unsigned char> again(plaintexts.size());
  PreparedPublicKey(sizes, pk).encrypt(plaintexts.data(), tried.size(), again.data());
  std::vector<std::uint8_t> back(2 * count, 0);
  for (std::size_t i = 0; i < tried.size(); ++i) {
    const std::size_t t = tried[i] / 2;
    back[tried[i]] = std::equal(again.data() + i * n, again.data() + (i + 1) * n, c + t * n);
  }
  for (std::size_t t = 0; t < count; ++t) {
    const unsigned char* pair = m + t * 2 * n;
    out[t] = index_of(back[2 * t] != 0, back[2 * t + 1] != 0, std::equal(pair, pair + n, pair + n));
  }
}

}  // namespace gf3mq

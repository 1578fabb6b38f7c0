#include "scheme/decrypt.h"

#include <algorithm>

#include "field/field.h"
#include "field/field_elem.h"
#include "field/field_tables.h"
#include "runtime/locked_pages.h"
#include "scheme/encrypt.h"
#include "scheme/encrypt_batch.h"
#include "scheme/key_files.h"

using gf3mq::kAmbiguousMessage;
using gf3mq::kDegree;
using gf3mq::kNoMessage;

namespace {

// Central map inverse up to sign: b1 = Y^d for the coefficients of y.
FieldElem central_root(const Vec_ZZ_p& y, const Mat_ZZ_p& reduction) {
  gf3mq::require_length(y, kDegree);  // y = A_Inv (c + sk - V1) has A_Inv's rows
  FieldElem a;
  std::copy_n(y.data(), kDegree, a.coef);
  return central_map_root(a, reduction);
}

Vec_ZZ_p as_vector(const FieldElem& e) {
  Vec_ZZ_p v(kDegree);
  for (int k = 0; k < kDegree; ++k) v.set(k, e.coef[k]);
  return v;
}

// Steps shared by both forms: returns m1 and m2. sk_at(i) gives sk[i].
template <typename SkAt>
std::pair<Vec_ZZ_p, Vec_ZZ_p> candidates(const Vec_ZZ_p& c, SkAt sk_at, const Mat_ZZ_p& A_Inv, const Vec_ZZ_p& V1,
                                         const Mat_ZZ_p& B_Inv, const Vec_ZZ_p& V2, const Mat_ZZ_p& Xi_modIrred) {
  Vec_ZZ_p chiper_trans1(kDegree);
  for (int i = 0; i < kDegree; ++i) chiper_trans1.set(i, static_cast<unsigned char>((c[i] + sk_at(i)) % 3));
  const Vec_ZZ_p chiper_trans2 = affine_inverse(A_Inv, chiper_trans1, V1);
  const FieldElem b1 = central_root(chiper_trans2, Xi_modIrred);
  const FieldElem b2 = field_negate(b1);
  return {affine_inverse(B_Inv, as_vector(b1), V2), affine_inverse(B_Inv, as_vector(b2), V2)};
}

}  // namespace

namespace gf3mq {

SecretMaps::SecretMaps(const Sizes& s)
    : sizes(s), A_Inv(s.n, s.n), B_Inv(s.n, s.n), reduction(make_reduction_table(s.n)), V1(s.n), V2(s.n) {}

SecretMaps::~SecretMaps() = default;

bool SecretMaps::load(FileProblem* problem) {
  locked_.clear();  // wipes and unlocks the maps loaded before, if any
  const char* measured_by = kReductionTableFile;
  if (!read_key_matrix(sizes, kInvAFile, A_Inv, problem, measured_by) ||
      !read_key_matrix(sizes, kInvBFile, B_Inv, problem, measured_by) ||
      !read_key_vector(sizes, kV1File, V1, problem, measured_by) ||
      !read_key_vector(sizes, kV2File, V2, problem, measured_by) || !load_reduction_table(sizes.n, reduction, problem))
    return false;
  if (sizes.n != kDefaultDegree) field_ = std::make_unique<Field>(reduction);
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
  Vec_ZZ_p cipher(n);
  for (int i = 0; i < n; ++i) cipher.set(i, c[i]);
  if (field_ == nullptr) {  // the default n: the system's own decryption
    const auto [m1, m2] = candidates(
        cipher, [sk](int i) { return sk[i]; }, A_Inv, V1, B_Inv, V2, reduction);
    std::copy_n(m1.data(), n, m);
    std::copy_n(m2.data(), n, m + n);
    return;
  }
  Vec_ZZ_p corrected(n);
  for (int i = 0; i < n; ++i) corrected.set(i, static_cast<unsigned char>((c[i] + sk[i]) % 3));
  const Vec_ZZ_p y = affine_inverse(A_Inv, corrected, V1);
  const Element root = field_->central_map_root(Element(y.data(), y.data() + n));
  Vec_ZZ_p plus(n), minus(n);
  for (int i = 0; i < n; ++i) {
    plus.set(i, root[static_cast<std::size_t>(i)]);
    minus.set(i, static_cast<unsigned char>(3 - root[static_cast<std::size_t>(i)]));
  }
  const Vec_ZZ_p m1 = affine_inverse(B_Inv, plus, V2), m2 = affine_inverse(B_Inv, minus, V2);
  std::copy_n(m1.data(), n, m);
  std::copy_n(m2.data(), n, m + n);
}

}  // namespace gf3mq

int decrypt(const unsigned char* sk, const unsigned char* c, std::uint64_t clen, unsigned char* m, std::uint64_t* mlen,
            gf3mq::FileProblem* problem) {
  if (sk == nullptr || c == nullptr || m == nullptr || mlen == nullptr || clen != gf3mq::kMessageBytes) return -1;
  gf3mq::SecretMaps maps;
  if (!maps.load(problem)) return -1;
  unsigned char candidates[gf3mq::kDecryptedBytes];
  maps.decrypt(sk, c, candidates);
  *mlen = gf3mq::kDecryptedBytes;
  std::copy_n(candidates, gf3mq::kDecryptedBytes, m);
  gf3mq::secure_wipe(candidates, sizeof candidates);
  return 0;
}

bool gf3mq::decrypt_at(const Sizes& sizes, const unsigned char* sk, const unsigned char* c, unsigned char* m,
                       FileProblem* problem) {
  if (sizes.n == kDefaultDegree) {
    std::uint64_t mlen = 0;
    return decrypt(sk, c, kMessageBytes, m, &mlen, problem) == 0;
  }
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

int message_index(const unsigned char* pk, const unsigned char* c, const unsigned char* m) {
  return gf3mq::message_index(gf3mq::kDefaultSizes, pk, c, m);
}

void message_indices(const unsigned char* pk, const unsigned char* c, const unsigned char* m, std::size_t count,
                     int* out) {
  gf3mq::message_indices(gf3mq::kDefaultSizes, pk, c, m, count, out);
}

int gf3mq::message_index(const Sizes& sizes, const unsigned char* pk, const unsigned char* c, const unsigned char* m) {
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

void gf3mq::message_indices(const Sizes& sizes, const unsigned char* pk, const unsigned char* c, const unsigned char* m,
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

int decrypt_vec(const Vec_ZZ_p& c, const ByteList& sk, const Mat_ZZ_p& A_Inv, const Vec_ZZ_p& V1, const Mat_ZZ_p& B_Inv,
                const Vec_ZZ_p& V2, const Mat_ZZ_p& Xi_modIrred, std::vector<Vec_ZZ_p>& out) {
  auto [m1, m2] = candidates(
      c, [&sk](int i) { return sk.at(static_cast<std::size_t>(i)); }, A_Inv, V1, B_Inv, V2, Xi_modIrred);
  out.push_back(std::move(m1));
  out.push_back(std::move(m2));
  return 0;
}

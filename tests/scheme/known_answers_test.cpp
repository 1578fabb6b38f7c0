// Known answers: key generation, encryption and both decryption candidates
// from fixed seeds, and the field's fixed-size functions on altered tables,
// hashed and compared with the digests pinned in tests/known_answers.txt, at
// each kernel width.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <map>
#include <memory>
#include <random>
#include <sstream>

#include "field/field_elem.h"
#include "scheme/decrypt.h"
#include "scheme/encrypt.h"
#include "scheme/key_files.h"
#include "scheme/keygen.h"
#include "tests/test_support.h"

namespace {

using namespace gf3mq::test;

// "<name> <hex digest>" lines; '#' starts a comment.
std::map<std::string, std::string> pinned_answers() {
  std::map<std::string, std::string> answers;
  std::ifstream in(GF3MQ_KNOWN_ANSWERS);
  for (std::string line; std::getline(in, line);) {
    if (line.empty() || line[0] == '#') continue;
    std::istringstream fields(line);
    std::string name, digest;
    if (fields >> name >> digest) answers[name] = digest;
  }
  return answers;
}

std::string hex(std::uint64_t digest) {
  char text[17];
  std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(digest));
  return text;
}

std::uint64_t digest_of(const std::vector<unsigned char>& bytes) {
  return fnv1a(std::string(bytes.begin(), bytes.end()));
}

// What one key set at n computes, as digests by name: through the system's
// own entry points at 257, their forms at n elsewhere.
std::map<std::string, std::string> answers_of(const gf3mq::Sizes& sizes, const std::string& poly_name,
                                              std::uint64_t seed) {
  const std::size_t n = sizes.elements();
  const bool standard = sizes.n == gf3mq::kDefaultSizes.n;
  std::map<std::string, std::string> answers;
  const std::string suffix = "." + poly_name + ".seed" + std::to_string(seed);
  for (const char* name : {"new Mat_A.txt", "new V1.txt", "new Mat_B.txt", "new V2.txt", "new Inv_A.txt",
                           "new Inv_B.txt", "new pk.txt", "new sk.txt"})
    std::remove(name);
  std::vector<unsigned char> pk(sizes.public_key_digits()), sk(n);
  gf3mq::SeededGf3Source source(seed);
  const int made =
      standard ? keygen(pk.data(), sk.data(), source) : gf3mq::generate_key_set(sizes, pk.data(), sk.data(), source);
  if (made != 0) return answers;
  answers["keygen" + suffix] = hex(fnv1a(read_file("new sk.txt"), fnv1a(read_file("new pk.txt"))));
  std::uint64_t secret = fnv1a("");
  for (const char* name :
       {"new Mat_A.txt", "new V1.txt", "new Mat_B.txt", "new V2.txt", "new Inv_A.txt", "new Inv_B.txt"})
    secret = fnv1a(read_file(name), secret);
  answers["secret" + suffix] = hex(secret);

  std::mt19937 rng(1);
  std::vector<unsigned char> ciphertexts, candidates;
  std::vector<std::vector<unsigned char>> to_decrypt;
  for (int t = 0; t < 48; ++t) {
    std::vector<unsigned char> x(n), c(n);
    for (unsigned char& e : x) e = static_cast<unsigned char>(t < 32 ? 1 + rng() % 2 : rng() % 3);
    std::uint64_t clen = 0;
    if (t < 40) {
      if (standard) {
        encrypt(pk.data(), x.data(), 257, c.data(), &clen);
      } else {
        gf3mq::encrypt_at(sizes, pk.data(), x.data(), c.data());
      }
      ciphertexts.insert(ciphertexts.end(), c.begin(), c.end());
      to_decrypt.push_back(c);
    } else {
      to_decrypt.push_back(x);  // not made by encryption
    }
  }
  for (const auto& c : to_decrypt) {
    std::vector<unsigned char> m(2 * n);
    std::uint64_t mlen = 0;
    if (standard) {
      decrypt(sk.data(), c.data(), 257, m.data(), &mlen);
    } else {
      gf3mq::decrypt_at(sizes, sk.data(), c.data(), m.data(), nullptr);
    }
    candidates.insert(candidates.end(), m.begin(), m.end());
  }
  answers["encrypt" + suffix] = hex(digest_of(ciphertexts));
  answers["decrypt" + suffix] = hex(digest_of(candidates));
  return answers;
}

// The field's fixed-size functions on a table with one digit altered in row
// 100 (read by products and cubes) or row 400 (cubes only), so that the way
// each reduces (g of row 0 alone, the rows as given, the chain to Y^d) shows.
std::map<std::string, std::string> field_answers_of(const std::string& poly_name, const std::string& poly) {
  std::map<std::string, std::string> answers;
  auto bytes = [](const FieldElem& e) { return std::string(e.coef, e.coef + 257); };
  for (int row : {100, 400}) {
    Mat_ZZ_p table = reduction_table_of(poly);
    table.set(row, 7, static_cast<unsigned char>(table.get(row, 7) + 1));
    std::mt19937 rng(static_cast<unsigned>(row));
    std::string products, inverses, roots;
    for (int t = 0; t < 4; ++t) {
      const FieldElem a = random_field_element(rng), b = random_field_element(rng);
      FieldElem out, y = a;
      field_mul(a, b, table, out);
      products += bytes(out);
      Mat_ZZ_p powers(257, 257);
      frobenius_powers(y, table, powers);
      central_map_inverse(powers, table, out);
      inverses += std::string(powers.data(), powers.data() + 257 * 257) + bytes(y) + bytes(out);
      roots += bytes(central_map_root(a, table));
    }
    const std::string suffix = "." + poly_name + ".row" + std::to_string(row);
    answers["field_mul" + suffix] = hex(fnv1a(products));
    answers["central_map_inverse" + suffix] = hex(fnv1a(inverses));
    answers["central_map_root" + suffix] = hex(fnv1a(roots));
  }
  return answers;
}

// Key generation, encryption and decryption, once at each kernel width.
using KnownAnswerAtWidthTest = KernelWidthTest;
GF3MQ_AT_EVERY_KERNEL_WIDTH(KnownAnswerAtWidthTest);

TEST_P(KnownAnswerAtWidthTest, KeygenEncryptAndDecryptMatchThePinnedDigests) {
  const std::map<std::string, std::string> pinned = pinned_answers();
  ASSERT_FALSE(pinned.empty()) << "cannot read " << GF3MQ_KNOWN_ANSWERS;
  std::size_t checked = 0;
  auto check = [&](const std::map<std::string, std::string>& computed) {
    for (const auto& [name, digest] : computed) {
      const auto found = pinned.find(name);
      if (found == pinned.end()) {
        ADD_FAILURE() << "no known answer for " << name << " (computed " << digest << ")";
        continue;
      }
      EXPECT_EQ(digest, found->second) << name;
      ++checked;
    }
  };
  // Other sizes, each with its default f.
  for (int n : {5, 7, 31, 127, 509}) {
    ScratchDir dir;
    write_tables_of_degree(n);
    const auto computed = answers_of(gf3mq::Sizes{n}, "degree" + std::to_string(n), 2026);
    ASSERT_EQ(computed.size(), 4u) << "key generation failed at " << n;
    check(computed);
  }
  for (const auto& [poly_name, poly] : {std::pair{"polyA", kPolyA}, std::pair{"polyB", kPolyB}}) {
    ScratchDir dir;
    write_tables_here(poly);
    for (std::uint64_t seed : {std::uint64_t{2026}, std::uint64_t{7}}) {
      const auto computed = answers_of(gf3mq::kDefaultSizes, poly_name, seed);
      ASSERT_EQ(computed.size(), 4u) << "key generation failed";
      check(computed);
    }
  }
  for (const auto& [poly_name, poly] : {std::pair{"polyA", kPolyA}, std::pair{"dense", kPolyDense}})
    check(field_answers_of(poly_name, poly));
  EXPECT_EQ(checked, pinned.size());
}

}  // namespace

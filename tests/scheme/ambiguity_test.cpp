// Plaintexts that cannot be told from their ciphertexts: with V2 = 0 the two
// candidates are x and -x, both over {1, 2}, and both encrypt back. The
// library says so, gf3mq-decrypt and gf3mq-attack refuse to choose, the
// demonstration warns and gf3mq-check fails the key set. Key generation draws
// such a key again and makes one only when asked by name
// (keygen_skipping_ambiguity_rule). Two equal candidates (X = 0) are one
// message.
#include <gtest/gtest.h>

#include <memory>
#include <random>
#include <tuple>

#include "scheme/decrypt.h"
#include "scheme/encrypt.h"
#include "scheme/encrypt_batch.h"
#include "scheme/key_files.h"
#include "scheme/keygen.h"
#include "tests/test_support.h"

namespace {

using namespace gf3mq::test;
using namespace std::string_literals;

// A seeded source that draws every vector (V1 and V2) as zeros.
class ZeroVectors : public gf3mq::Gf3Source {
 public:
  bool fill(std::uint8_t* out, std::size_t n) override {
    if (n == 257) {
      std::fill_n(out, n, std::uint8_t{0});
      return true;
    }
    return seeded_.fill(out, n);
  }

 private:
  gf3mq::SeededGf3Source seeded_{11};
};

class AmbiguityTest : public testing::Test {
 protected:
  void SetUp() override {
    write_tables_here(kPolyA);
    ZeroVectors source;
    ASSERT_EQ(gf3mq::keygen_skipping_ambiguity_rule(pk.get(), sk.get(), source), 0);
  }
  // count plaintexts over {1, 2}, their ciphertexts and candidates.
  void encrypt_and_decrypt(std::size_t count) {
    std::mt19937 rng(3);
    x.resize(count * 257);
    c.resize(count * 257);
    m.resize(count * 514);
    for (auto& e : x) e = static_cast<unsigned char>(1 + rng() % 2);
    for (std::size_t t = 0; t < count; ++t) {
      std::uint64_t clen = 0, mlen = 0;
      ASSERT_EQ(encrypt(pk.get(), &x[t * 257], 257, &c[t * 257], &clen), 0);
      ASSERT_EQ(decrypt(sk.get(), &c[t * 257], clen, &m[t * 514], &mlen), 0);
    }
  }
  ScratchDir dir;
  std::unique_ptr<unsigned char[]> pk{new unsigned char[gf3mq::kPublicKeyBytes]};
  std::unique_ptr<unsigned char[]> sk{new unsigned char[257]};
  std::vector<unsigned char> x, c, m;
};

TEST_F(AmbiguityTest, BothCandidatesEncryptBackAndTheLibrarySaysSo) {
  const std::size_t count = gf3mq::kBatchWorthwhile + 4;  // the batch route
  encrypt_and_decrypt(count);
  std::vector<int> batch(count, 7);
  gf3mq::message_indices(gf3mq::kDefaultSizes, pk.get(), c.data(), m.data(), count, batch.data());
  for (std::size_t t = 0; t < count; ++t) {
    // The candidates are x and -x: the message is one of them, and both qualify.
    EXPECT_TRUE(std::equal(&x[t * 257], &x[t * 257] + 257, &m[t * 514]) ||
                std::equal(&x[t * 257], &x[t * 257] + 257, &m[t * 514 + 257]));
    EXPECT_EQ(gf3mq::message_index(gf3mq::kDefaultSizes, pk.get(), &c[t * 257], &m[t * 514]), gf3mq::kAmbiguousMessage)
        << t;
    EXPECT_EQ(batch[t], gf3mq::kAmbiguousMessage) << t;
  }
  gf3mq::message_indices(gf3mq::kDefaultSizes, pk.get(), c.data(), m.data(), 3, batch.data());  // few: one at a time
  EXPECT_EQ(batch[0], gf3mq::kAmbiguousMessage);
}

TEST_F(AmbiguityTest, DecryptRefusesToChooseUnlessAskedForBoth) {
  encrypt_and_decrypt(3);
  std::string lines;
  for (std::size_t t = 0; t < 3; ++t) {
    for (std::size_t i = 0; i < 257; ++i) lines.push_back(static_cast<char>('0' + c[t * 257 + i]));
    lines.push_back('\n');
  }
  write_file("cipher.txt", lines);
  CommandResult run = run_command(program("gf3mq-decrypt") + " cipher.txt");
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.out, "");
  EXPECT_NE(run.err.find("\"cipher.txt\", line 1: both candidates encrypt back, so the plaintext cannot be told"),
            std::string::npos)
      << run.err;
  run = run_command(program("gf3mq-decrypt") + " --both cipher.txt");
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.err.find("\"cipher.txt\", line 3: both candidates encrypt back, so the plaintext is ambiguous: both "
                         "are written"),
            std::string::npos)
      << run.err;
  std::string expected;
  for (std::size_t k = 0; k < 6; ++k) {
    for (std::size_t i = 0; i < 257; ++i) expected.push_back(static_cast<char>('0' + m[k * 257 + i]));
    expected.push_back('\n');
  }
  EXPECT_EQ(run.out, expected);
}

TEST_F(AmbiguityTest, TheDemonstrationWarnsAndCheckFailsTheKeySet) {
  CommandResult run = run_command(program("gf3mq-demo") + " --no-wait");
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(std::count(run.out.begin(), run.out.end(), '\n'), 9);  // the ten lines, the last without a break
  EXPECT_NE(run.err.find("warning: both candidates encrypt back to the ciphertext"), std::string::npos) << run.err;
  run = run_command(program("gf3mq-check"));
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.out.find("FAIL  \"new Inv_B.txt\" times \"new V2.txt\" has 0 non-zero elements: a plaintext is "
                         "ambiguous (both candidates encrypt back) with probability 2^-0, too likely"),
            std::string::npos)
      << run.out;
}

TEST_F(AmbiguityTest, KeygenRedrawsSuchAKeyAndRefusesASourceThatGivesNoOther) {
  const std::vector<std::string> names = list_dir(".");
  const std::string mat_b = read_file("new Mat_B.txt");
  ZeroVectors source;  // every V2 zero: no redraw can hold the rule
  gf3mq::FileProblem problem;
  EXPECT_EQ(keygen(pk.get(), sk.get(), source, &problem), -1);
  EXPECT_EQ(problem.message(),
            "the source of random elements gives no key set that passes gf3mq-check: \"new Inv_B.txt\" times \"new "
            "V2.txt\" had fewer than n/3 (here 86) non-zero elements in each of 101 draws of mat_B and V2; no key set "
            "was made");
  EXPECT_EQ(list_dir("."), names);
  EXPECT_TRUE(read_file("new Mat_B.txt") == mat_b);
}

// Folder "n<n>": a key set of degree n from --seed seed, its public key alone
// in "n<n>/public", and "cipher.txt" the ciphertexts of the plaintexts.
std::string ciphertexts_of(int n, const std::string& seed, const std::string& plaintexts) {
  const std::string keys = std::string("n") + std::to_string(n);
  const CommandResult run =
      run_command("mkdir -p " + keys + "/public && cd " + keys + " && " + program("gf3mq-tables") + " --degree " +
                  std::to_string(n) + " >/dev/null && " + program("gf3mq-keygen") + " --seed " + seed +
                  " --no-wait 2>/dev/null && cp 'new pk.txt' public/ && printf '%s\\n' " + plaintexts + " | " +
                  program("gf3mq-encrypt") + " > cipher.txt");
  EXPECT_EQ(run.status, 0) << run.err;
  return keys;
}

// Two plaintexts over {1, 2} of one ciphertext (the pair gf3mq-decrypt
// refuses): the attack refuses the line, or with --both writes both. At
// n = 7 they are searched for, at 15 solved for.
TEST(AttackAmbiguityTest, TwoPlaintextsOfACiphertextAreRefusedOrBothWritten) {
  ScratchDir dir;
  for (const auto& [n, ordinary, pair] :
       {std::tuple{7, "1111111\n"s, "1212112\n2112222\n"s},
        std::tuple{15, "121212121212121\n"s, "211121111211212\n212122222211212\n"s}}) {
    const std::string keys = ciphertexts_of(n, "class", ordinary.substr(0, n) + " " + pair.substr(n + 1, n));
    const std::string attack = program("gf3mq-attack") + " -C " + keys + "/public ";
    const std::string says =
        "line 2: two plaintexts over {1, 2} encrypt to this ciphertext under \"new pk.txt\", so the plaintext ";
    CommandResult run = run_command(attack + "../cipher.txt");
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, ordinary);
    EXPECT_NE(run.err.find(says + "cannot be told from the ciphertext (--both writes the two)"), std::string::npos);
    run = run_command(attack + "--both ../cipher.txt");
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, ordinary + pair);
    EXPECT_NE(run.err.find(says + "is ambiguous: both are written"), std::string::npos) << run.err;
  }
}

// X = mat_B x + V2 = 0 gives Y = 0 and both candidates x0 = -Inv_B V2: one
// message, which gf3mq-decrypt writes, its trace names and the attack finds
// (at n = 9, where every relation vanishes, where the lines of two other
// ciphertexts meet). The demonstration does not warn of it.
TEST(CentralZeroTest, XZeroIsOneMessage) {
  ScratchDir dir;
  for (const auto& [n, seed, x0] : {std::tuple{7, "s13", "1122112"s}, std::tuple{9, "t62", "121121112"s}}) {
    const std::string keys = ciphertexts_of(n, seed, x0);
    CommandResult run = run_command(program("gf3mq-decrypt") + " -C " + keys + " --trace cipher.txt");
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, x0 + "\n");
    EXPECT_NE(run.err.find("\nthe message is candidate 1, the same plaintext as candidate 2: Y = 0, so X = 0 = -X"),
              std::string::npos);
    run = run_command(program("gf3mq-attack") + " -C " + keys + "/public ../cipher.txt");
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, x0 + "\n");
  }
  // With Inv_A of zeros every Y is 0, and with a public key of zeros every
  // plaintext encrypts to 0: both candidates are x0 and encrypt back.
  write_file("n7/new Inv_A.txt", std::string(49, '0'));
  write_file("n7/new pk.txt", std::string(7 * 64, '0'));
  const CommandResult run = run_command(program("gf3mq-demo") + " -C n7 --no-wait");
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.err, "");
  EXPECT_NE(run.out.find("\n[1 1 2 2 1 1 2]\n[1 1 2 2 1 1 2]\n14 7\n"), std::string::npos) << run.out;
}

TEST(AmbiguityCheckTest, ARandomKeySetPassesWithItsCountOfNonZeroElements) {
  ScratchDir dir;
  write_tables_here(kPolyA);
  ASSERT_EQ(run_command(program("gf3mq-keygen") + " --no-wait").status, 0);
  const CommandResult run = run_command(program("gf3mq-check"));
  EXPECT_EQ(run.status, 0) << run.out;
  const auto at = run.out.find("ok    \"new Inv_B.txt\" times \"new V2.txt\" has ");
  ASSERT_NE(at, std::string::npos) << run.out;
  const int k = std::stoi(run.out.substr(at + 44));
  EXPECT_GE(3 * k, 257);
  EXPECT_NE(run.out.find("with probability 2^-" + std::to_string(k)), std::string::npos);
}

TEST(AmbiguityCheckTest, ASetNeedsAtLeastEightySixNonZeroElementsOfBInvTimesV2) {
  // With B_Inv the identity, B_Inv V2 is V2: k non-zero elements of V2 are
  // what the check counts. n/3 is 85.67: 86 holds, 85 fails.
  ScratchDir dir;
  write_tables_here(kPolyA);
  ASSERT_EQ(run_command(program("gf3mq-keygen") + " --no-wait").status, 0);
  std::string identity;
  for (int r = 0; r < 257; ++r) {
    for (int c = 0; c < 257; ++c) identity.push_back(r == c ? '1' : '0');
    identity.push_back('\n');
  }
  write_file("new Inv_B.txt", identity);
  for (const int k : {85, 86}) {
    std::string v2(257, '0');
    for (int i = 0; i < k; ++i) v2[static_cast<std::size_t>(3 * i)] = i % 2 == 0 ? '1' : '2';
    write_file("new V2.txt", v2);
    const CommandResult run = run_command(program("gf3mq-check"));
    const std::string says = "\"new Inv_B.txt\" times \"new V2.txt\" has " + std::to_string(k) + " non-zero elements";
    const std::string expected = (k == 86 ? "\nok    " : "\nFAIL  ") + says;
    EXPECT_NE(run.out.find(expected), std::string::npos) << k << "\n" << run.out;
  }
}

}  // namespace

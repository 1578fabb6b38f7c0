// Repeatable key sets: the generator keyed by a text, and gf3mq-keygen
// --seed TEXT making the same eight files again from the same TEXT.
#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <string>
#include <vector>

#include "scheme/gf3_source.h"
#include "tests/test_support.h"

namespace {

using namespace gf3mq::test;

const std::vector<std::string> kKeyFiles = {"new Mat_A.txt", "new V1.txt",    "new Mat_B.txt", "new V2.txt",
                                            "new Inv_A.txt", "new Inv_B.txt", "new pk.txt",    "new sk.txt"};

std::vector<std::uint8_t> draw(gf3mq::Gf3Source& source, std::size_t n) {
  std::vector<std::uint8_t> out(n, 9);
  EXPECT_TRUE(source.fill(out.data(), n)) << source.error();
  return out;
}

TEST(KeyedGf3SourceTest, TheSameElementsHoweverTheDrawIsSplit) {
  const std::size_t total = 3 * gf3mq::KeyedGf3Source::kPieceBytes + 100;  // across pieces
  gf3mq::KeyedGf3Source whole("class");
  const std::vector<std::uint8_t> expected = draw(whole, total);
  for (std::size_t step : {std::size_t{1}, std::size_t{7}, std::size_t{4095}, std::size_t{5000}}) {
    gf3mq::KeyedGf3Source pieces("class");
    std::vector<std::uint8_t> got;
    while (got.size() < total) {
      const std::vector<std::uint8_t> part = draw(pieces, std::min(step, total - got.size()));
      got.insert(got.end(), part.begin(), part.end());
    }
    EXPECT_EQ(got, expected) << "in draws of " << step;
  }
}

TEST(KeyedGf3SourceTest, EveryTextItsOwnStream) {
  gf3mq::KeyedGf3Source a("class"), b("class "), c("Class"), again("class");
  const std::vector<std::uint8_t> first = draw(a, 64);
  EXPECT_NE(first, draw(b, 64));
  EXPECT_NE(first, draw(c, 64));
  EXPECT_EQ(first, draw(again, 64));
  EXPECT_NE(draw(a, 64), first) << "the stream goes on; it does not start again";
}

TEST(KeyedGf3SourceTest, UniformOverGf3) {
  // Residues of bytes mod 3 without the rejection of 255 give 0 with
  // probability 86/256: about 7800 too many here, ten standard deviations.
  constexpr std::size_t kDraws = 3'000'000;
  gf3mq::KeyedGf3Source source("uniform");
  std::array<std::size_t, 3> counts{};
  for (std::uint8_t e : draw(source, kDraws)) {
    ASSERT_LT(e, 3);
    ++counts[e];
  }
  for (std::size_t count : counts) EXPECT_NEAR(static_cast<double>(count), kDraws / 3.0, 4000.0);
}

std::string files_of(const std::string& dir) {
  std::string all;
  for (const std::string& name : kKeyFiles) all += name + ":" + read_file(dir + "/" + name) + "\n";
  return all;
}

// Tables of degree n in folder dir, then a key set from `keygen_options`.
CommandResult make_key_set(const std::string& dir, int n, const std::string& keygen_options) {
  const CommandResult tables = run_command("mkdir -p '" + dir + "' && " + program("gf3mq-tables") + " -C '" + dir +
                                           "' --degree " + std::to_string(n) + " >/dev/null");
  EXPECT_EQ(tables.status, 0) << tables.err;
  return run_command(program("gf3mq-keygen") + " -C '" + dir + "' --no-wait " + keygen_options + " </dev/null");
}

class SeededKeygenTest : public testing::TestWithParam<int> {
 protected:
  ScratchDir dir;
};

TEST_P(SeededKeygenTest, TheSameTextGivesTheSameKeySetOtherTextsOthers) {
  const int n = GetParam();
  for (const char* folder : {"first", "second"}) {
    const CommandResult run = make_key_set(folder, n, "--seed 'a class of 2027'");
    ASSERT_EQ(run.status, 0) << run.err;
  }
  EXPECT_EQ(files_of("first"), files_of("second"));
  ASSERT_EQ(make_key_set("other", n, "--seed 'a class of 2028'").status, 0);
  ASSERT_EQ(make_key_set("unseeded", n, "").status, 0);
  for (const char* folder : {"other", "unseeded"})
    for (const std::string& name : {std::string("new Mat_A.txt"), std::string("new pk.txt")})
      EXPECT_NE(read_file("first/" + name), read_file(std::string(folder) + "/" + name)) << folder << ": " << name;
}

INSTANTIATE_TEST_SUITE_P(Sizes, SeededKeygenTest, testing::Values(7, 127));

TEST(SeededKeygenProgramTest, ASeededSetIsWholeAndDecryptsAndSaysItIsNotSecret) {
  ScratchDir dir;
  const CommandResult run = make_key_set(".", 7, "--seed class");
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.err.find("gf3mq-keygen: note: this key set is drawn from --seed TEXT, so it is not secret: anyone who "
                         "knows or guesses TEXT can make the same secret key; gf3mq-check cannot tell a seeded set "
                         "from a random one\n"),
            std::string::npos)
      << run.err;
  const CommandResult check = run_command(program("gf3mq-check"));
  EXPECT_EQ(check.status, 0) << check.out;
  // The demonstration decrypts a random plaintext and ends 0 only when a
  // candidate encrypts back to the ciphertext.
  const CommandResult demo = run_command(program("gf3mq-demo") + " --no-wait");
  EXPECT_EQ(demo.status, 0) << demo.err;
  // The key set of "class" at n = 7, pinned: the generator may not drift.
  EXPECT_EQ(read_file("new Mat_A.txt"), "2200210221111210202211210102222002121101021022202");
  EXPECT_EQ(fnv1a(files_of(".")), 0xd911955f3a3de459ull) << std::hex << fnv1a(files_of("."));
  // Without --seed, no note.
  const CommandResult unseeded = run_command(program("gf3mq-keygen") + " --no-wait </dev/null");
  ASSERT_EQ(unseeded.status, 0) << unseeded.err;
  EXPECT_EQ(unseeded.err, "");
}

TEST(SeededKeygenProgramTest, TextsWhoseFirstKeyTheCheckFailsGiveOneItPassesAgainAndAgain) {
  // The first (mat_B, V2) of each leaves Inv_B V2 with 2, 2 and 3 non-zero elements.
  ScratchDir dir;
  for (const auto& [n, text] : {std::pair{7, "s12"}, std::pair{7, "s55"}, std::pair{11, "amb"}}) {
    for (const char* folder : {"first", "again"}) {
      const CommandResult run = make_key_set(folder, n, std::string("--seed ") + text);
      ASSERT_EQ(run.status, 0) << text << ": " << run.err;
      const CommandResult check = run_command(program("gf3mq-check") + " -C " + folder);
      EXPECT_EQ(check.status, 0) << text << ":\n" << check.out;
    }
    EXPECT_EQ(files_of("first"), files_of("again")) << text;
    run_command("rm -r first again");
  }
}

TEST(SeededKeygenProgramTest, AnEmptyTextIsRefusedAndMakesNothing) {
  ScratchDir dir;
  const CommandResult run = make_key_set(".", 7, "--seed ''");
  EXPECT_EQ(run.status, 2);
  EXPECT_NE(run.err.find("--seed needs a TEXT that is not empty; no key set was made"), std::string::npos) << run.err;
  EXPECT_FALSE(file_exists("new pk.txt"));
  EXPECT_FALSE(file_exists("new Mat_A.txt"));
}

}  // namespace

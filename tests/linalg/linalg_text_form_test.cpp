// Element text files: save appends and creates, load skips whitespace, reads
// from the start and refuses short or corrupt files without changing anything.
#include <gtest/gtest.h>

#include <random>
#include <sstream>

#include "linalg/mat_zz_p.h"
#include "tests/test_support.h"

namespace {

using gf3mq::test::mat;
using gf3mq::test::text;

using gf3mq::test::read_file;
using gf3mq::test::ScratchDir;
using gf3mq::test::write_file;

Mat_ZZ_p sample() {
  Mat_ZZ_p m(2, 3);
  const int values[] = {1, 0, 2, 0, 1, 1};
  for (int i = 0; i < 6; ++i) m.set(i / 3, i % 3, static_cast<unsigned char>(values[i]));
  return m;
}

TEST(TextFormTest, SaveWritesDigitsAndLoadRestoresShapeFree) {
  ScratchDir dir;
  ASSERT_TRUE(sample().save("m.txt"));
  EXPECT_EQ(read_file("m.txt"), "102011");
  Mat_ZZ_p same(2, 3);
  ASSERT_TRUE(same.load("m.txt"));
  EXPECT_EQ(text(same), "[[1 0 2][0 1 1]]");
  Mat_ZZ_p other(3, 2);
  ASSERT_TRUE(other.load("m.txt"));
  EXPECT_EQ(text(other), "[[1 0][2 0][1 1]]");
  Vec_ZZ_p v(6);
  ASSERT_TRUE(v.load("m.txt"));  // a vector and a 1 x n matrix share the text
  std::ostringstream out;
  out << v;
  EXPECT_EQ(out.str(), "[1 0 2 0 1 1]");
  ASSERT_TRUE(v.save("v.txt"));
  EXPECT_EQ(read_file("v.txt"), "102011");
}

TEST(TextFormTest, WhitespaceIsSkippedAndExtraCharactersIgnored) {
  ScratchDir dir;
  write_file("m.txt", "1 0\t2\n0 1\r\n1\n");
  Mat_ZZ_p m(2, 3);
  ASSERT_TRUE(m.load("m.txt"));
  EXPECT_EQ(text(m), "[[1 0 2][0 1 1]]");
  write_file("long.txt", "102011xyz9");
  ASSERT_TRUE(m.load("long.txt"));
  EXPECT_EQ(text(m), "[[1 0 2][0 1 1]]");
}

TEST(TextFormTest, DoubleSaveAppendsAndLoadReadsTheFirst) {
  ScratchDir dir;
  std::mt19937 rng(9);
  const Mat_ZZ_p first = gf3mq::test::random_matrix(rng, 257, 257);
  const Mat_ZZ_p second = gf3mq::test::random_matrix(rng, 257, 257);
  ASSERT_TRUE(first.save("twice.txt"));
  ASSERT_TRUE(second.save("twice.txt"));
  EXPECT_EQ(read_file("twice.txt").size(), 2u * 257 * 257);
  Mat_ZZ_p loaded(257, 257);
  ASSERT_TRUE(loaded.load("twice.txt"));
  EXPECT_EQ(text(loaded), text(first));
}

TEST(TextFormTest, RefusalsLeaveObjectUnchanged) {
  ScratchDir dir;
  Mat_ZZ_p m = sample();
  Vec_ZZ_p v(3);
  v.set(0, 2);
  gf3mq::FileProblem problem;
  EXPECT_FALSE(m.load("missing.txt", &problem));
  EXPECT_EQ(problem.file, "missing.txt");
  EXPECT_NE(problem.problem.find("cannot be opened"), std::string::npos);
  write_file("short.txt", "10201");
  EXPECT_FALSE(m.load("short.txt", &problem));
  EXPECT_EQ(problem.problem, "is too short: it holds 5 of 6 digits");
  write_file("bad.txt", "1020x1");
  EXPECT_FALSE(m.load("bad.txt", &problem));
  EXPECT_NE(problem.problem.find("other than 0, 1 or 2"), std::string::npos);
  write_file("three.txt", "102311");
  EXPECT_FALSE(m.load("three.txt"));
  EXPECT_EQ(text(m), "[[1 0 2][0 1 1]]");
  write_file("vshort.txt", "12");
  EXPECT_FALSE(v.load("vshort.txt"));
  EXPECT_EQ(v[0], 2);
  EXPECT_EQ(v[1], 0);
}

TEST(TextFormTest, SaveIntoMissingFolderFails) {
  ScratchDir dir;
  EXPECT_FALSE(sample().save("no-such-folder/m.txt"));
  EXPECT_FALSE(Vec_ZZ_p(3).save("no-such-folder/v.txt"));
  EXPECT_FALSE(gf3mq::test::file_exists("no-such-folder"));
}

TEST(TextFormTest, ConsoleFormOfSmallestObjects) {
  std::ostringstream out;
  out << Mat_ZZ_p(1, 1);
  EXPECT_EQ(out.str(), "[[0]]");
}

}  // namespace

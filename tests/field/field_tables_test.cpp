// The field tables' row conventions, for tables of two polynomials, and the
// checked loading of the table files.
#include "field/field_tables.h"

#include <gtest/gtest.h>

#include "field/field_polynomial.h"
#include "tests/test_support.h"

namespace {

using namespace gf3mq::test;

class FieldTableTest : public testing::TestWithParam<const char*> {
 protected:
  const Mat_ZZ_p& reduction() const { return reduction_table_of(GetParam()); }
  const Mat_ZZ_p& frobenius() const { return frobenius_table_of(GetParam()); }
};

TEST_P(FieldTableTest, ReductionRowsFollowFromF) {
  gf3mq::Polynomial f;
  ASSERT_TRUE(gf3mq::parse_polynomial(GetParam(), f, nullptr));
  for (int c = 0; c < 257; ++c) EXPECT_EQ(reduction().get(0, c), (3 - f.coef[c]) % 3) << c;  // x^257 = -g
  for (int r = 0; r + 1 < 512; ++r) {
    // x * row r: shift up, fold the x^257 term back with row 0.
    const int top = reduction().get(r, 256);
    for (int c = 0; c < 257; ++c) {
      const int shifted = c == 0 ? 0 : reduction().get(r, c - 1);
      ASSERT_EQ(reduction().get(r + 1, c), (shifted + top * reduction().get(0, c)) % 3) << "row " << r + 1;
    }
  }
}

TEST_P(FieldTableTest, FrobeniusRowsArePowersOfX27) {
  for (int k = 0; k <= 9; ++k)
    for (int c = 0; c < 257; ++c) ASSERT_EQ(frobenius().get(k, c), c == 27 * k ? 1 : 0) << k;
  for (int c = 0; c < 257; ++c) EXPECT_EQ(frobenius().get(10, c), reduction().get(13, c));  // x^270
  for (int k = 0; k < 257; ++k) {
    const FieldElem cubed = cube_times(x_power(k), 3, reduction());
    ASSERT_TRUE(std::equal(cubed.coef, cubed.coef + 257, frobenius().row(k))) << "row " << k;
  }
}

INSTANTIATE_TEST_SUITE_P(TwoPolynomials, FieldTableTest, testing::Values(kPolyA, kPolyB));

TEST(FieldTableFileTest, LoadsCompleteFilesAndRefusesDamagedOnes) {
  ScratchDir dir;
  write_tables_here(kPolyB);
  Mat_ZZ_p reduction = gf3mq::make_reduction_table(), frobenius = gf3mq::make_frobenius_table();
  ASSERT_TRUE(gf3mq::load_reduction_table(reduction));
  ASSERT_TRUE(gf3mq::load_frobenius_table(frobenius, reduction));
  EXPECT_TRUE(std::equal(reduction.data(), reduction.data() + 512 * 257, reduction_table_of(kPolyB).data()));
  EXPECT_TRUE(std::equal(frobenius.data(), frobenius.data() + 257 * 257, frobenius_table_of(kPolyB).data()));

  gf3mq::FileProblem problem;
  std::string text = read_file("new Xe_mod_Irredfx.txt");
  write_file("new Xe_mod_Irredfx.txt", text.substr(0, text.size() - 1));
  Mat_ZZ_p untouched = gf3mq::make_reduction_table();
  EXPECT_FALSE(gf3mq::load_reduction_table(untouched, &problem));
  EXPECT_EQ(problem.message(), "\"new Xe_mod_Irredfx.txt\" is too short: it holds 131583 of 131584 digits");
  EXPECT_EQ(untouched.get(0, 0), 0);
  text[100] = '7';
  write_file("new X_27i_mod_Irredfx.txt", text);
  EXPECT_FALSE(gf3mq::load_frobenius_table(frobenius, reduction, &problem));
  EXPECT_EQ(problem.file, "new X_27i_mod_Irredfx.txt");
  std::remove("new X_27i_mod_Irredfx.txt");
  EXPECT_FALSE(gf3mq::load_frobenius_table(frobenius, reduction, &problem));
  EXPECT_NE(problem.problem.find("cannot be opened"), std::string::npos);
}

TEST(FieldTableCheckTest, ADamagedLastRowOfTheReductionTableIsRefused) {
  // x^768 mod f is the last row: a table whose other rows are all good but
  // whose last one is changed anywhere (its ends and its middle, or
  // replaced by zeros) describes no field.
  const Mat_ZZ_p& good = reduction_table_of(kPolyB);
  ASSERT_TRUE(gf3mq::check_reduction_table(good));
  std::vector<Mat_ZZ_p> damaged;
  for (int col : {0, 128, 256}) {
    damaged.push_back(good);
    damaged.back().set(511, col, static_cast<unsigned char>(good.get(511, col) + 1));
  }
  damaged.push_back(good);
  std::fill_n(damaged.back().row(511), 257, std::uint8_t{0});
  for (const Mat_ZZ_p& table : damaged) {
    gf3mq::FileProblem problem;
    EXPECT_FALSE(gf3mq::check_reduction_table(table, &problem, "tables/reduction.txt"));
    EXPECT_EQ(problem.message(), "\"tables/reduction.txt\" row 511 is not x^768 mod f");
  }
}

// Writes table's digits, with the digit at (row, col) moved on by one when row >= 0.
void save_changed(const Mat_ZZ_p& table, const char* name, int row, int col) {
  Mat_ZZ_p copy = table;
  if (row >= 0) copy.set(row, col, static_cast<unsigned char>(copy.get(row, col) + 1));
  std::remove(name);
  ASSERT_TRUE(copy.save(name));
}

TEST(FieldTableFileTest, LoadedTablesAreCheckedAsTheToolChecksThem) {
  ScratchDir dir;
  const Mat_ZZ_p& good_reduction = reduction_table_of(kPolyA);
  const Mat_ZZ_p& good_frobenius = frobenius_table_of(kPolyA);
  const std::vector<std::pair<int, std::string>> reduction_cases = {
      {300, "row 300 is not x^557 mod f"}, {511, "row 511 is not x^768 mod f"}, {1, "row 1 is not x^258 mod f"}};
  gf3mq::FileProblem problem;
  for (const auto& [row, message] : reduction_cases) {
    save_changed(good_reduction, "new Xe_mod_Irredfx.txt", row, 7);
    Mat_ZZ_p reduction = gf3mq::make_reduction_table();
    EXPECT_FALSE(gf3mq::load_reduction_table(reduction, &problem));
    EXPECT_EQ(problem.message(), "\"new Xe_mod_Irredfx.txt\" " + message);
    EXPECT_EQ(reduction.get(row, 7), 0);  // left as it was
  }
  // A changed row 0 is another f, whose other rows do not follow.
  save_changed(good_reduction, "new Xe_mod_Irredfx.txt", 0, 100);
  Mat_ZZ_p reduction = gf3mq::make_reduction_table();
  EXPECT_FALSE(gf3mq::load_reduction_table(reduction, &problem));
  EXPECT_NE(problem.problem.find("row 0 gives f = x^257 + "), std::string::npos) << problem.problem;

  // Whole, consistent tables of a reducible f.
  gf3mq::Polynomial reducible;
  ASSERT_TRUE(gf3mq::parse_polynomial("x^257 + x^22 + 1", reducible, nullptr));
  save_changed(gf3mq::build_reduction_table(reducible), "new Xe_mod_Irredfx.txt", -1, 0);
  EXPECT_FALSE(gf3mq::load_reduction_table(reduction, &problem));
  EXPECT_EQ(problem.problem, "row 0 gives f = x^257 + x^22 + 1, which is reducible");

  save_changed(good_reduction, "new Xe_mod_Irredfx.txt", -1, 0);
  ASSERT_TRUE(gf3mq::load_reduction_table(reduction, &problem));
  for (int row : {0, 10, 40, 256}) {
    save_changed(good_frobenius, "new X_27i_mod_Irredfx.txt", row, 3);
    Mat_ZZ_p frobenius = gf3mq::make_frobenius_table();
    EXPECT_FALSE(gf3mq::load_frobenius_table(frobenius, reduction, &problem));
    EXPECT_EQ(problem.message(), "\"new X_27i_mod_Irredfx.txt\" row " + std::to_string(row) + " is not x^" +
                                     std::to_string(27 * row) + " mod f");
  }
}

}  // namespace

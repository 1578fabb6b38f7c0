// gf3mq-study's report: the exponent fitted over the upper half of a
// curve's sizes, the CSV's empty cells, and the plot's titles.
#ifdef GF3MQ_HAVE_BENCH
#include "bench/study_report.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

using namespace gf3mq::study;

// t = n^3 from 63 on, n^1 below; recovery by search at 7.
std::vector<Point> cubic_points() {
  std::vector<Point> points;
  for (int n : {7, 15, 31, 63, 127, 257, 509}) {
    Point p;
    p.n = n;
    p.seconds[keygen] = n >= 63 ? 1e-9 * std::pow(n, 3) : 1e-3 * n;
    p.seconds[attack_recovery] = n == 7 ? 100 : 1e-6 * n * n;
    p.searched = n == 7;
    if (n >= 9) p.seconds[attack_elimination] = 1e-8 * std::pow(n, 4);
    p.peak_mb = 10;
    points.push_back(p);
  }
  return points;
}

TEST(StudyReportTest, ExponentsFromTheUpperHalfOfEachCurve) {
  const std::vector<Point> points = cubic_points();
  ASSERT_TRUE(fitted_exponent(points, keygen));
  EXPECT_NEAR(*fitted_exponent(points, keygen), 3.0, 1e-9);
  // Six sizes without the search at 7: 127, 257 and 509.
  EXPECT_NEAR(*fitted_exponent(points, attack_recovery), 2.0, 1e-9);
  EXPECT_NEAR(*fitted_exponent(points, attack_elimination), 4.0, 1e-9);
  EXPECT_FALSE(fitted_exponent(points, decrypt_one));  // never measured
  EXPECT_FALSE(fitted_exponent({points[0], points[1]}, keygen));
  EXPECT_NEAR(*fitted_exponent({points[4], points[5], points[6]}, keygen), 3.0, 1e-9);
}

TEST(StudyReportTest, CsvCellsAndPlotTitles) {
  const std::vector<Point> points = cubic_points();
  const std::string csv = csv_text(points);
  EXPECT_EQ(csv.substr(0, csv.find('\n')), csv_header());
  // n = 7: key generation, nothing of the relations, recovery by search.
  EXPECT_NE(csv.find("\n7,0.007,,,,,,,100,1,10.0\n"), std::string::npos) << csv;
  EXPECT_NE(csv.find("\n509,0.131872,,,,,671.23,,0.259081,0,10.0\n"), std::string::npos) << csv;
  const std::string script = gnuplot_script(points, "s.csv", "s.svg", "s.png");
  EXPECT_NE(script.find("title 'key generation (n^{3.00})'"), std::string::npos) << script;
  EXPECT_NE(script.find("title 'attack: elimination (n^{4.00})'"), std::string::npos) << script;
  EXPECT_NE(script.find("title 'one decryption'"), std::string::npos) << script;
  EXPECT_NE(script.find("set output 's.svg'"), std::string::npos);
  EXPECT_NE(script.find("set output 's.png'"), std::string::npos);
  EXPECT_NE(script.find("set xtics (7, 15, 31, 63, 127, 257, 509)\nset xrange [5.6:636.25]\n"), std::string::npos)
      << script;
  // The table marks the recovery of 7 alone as a search.
  const std::string table = markdown_table(points);
  EXPECT_NE(table.find("| 7 | 7 ms |  |  |  |  |  |  | 100 s (search) | 10 MiB |\n"), std::string::npos) << table;
  EXPECT_EQ(table.find("(search)"), table.rfind("(search)")) << table;
}

}  // namespace
#endif

// gf3mq-study's report: the exponent fitted over the three largest sizes of
// a curve, the CSV's empty cells and derived columns, and the plot's titles,
// point types and dash types.
#ifdef GF3MQ_HAVE_BENCH
#include "bench/study_report.h"

#include <gtest/gtest.h>

#include <cmath>
#include <set>
#include <sstream>

namespace {

using namespace gf3mq::study;

// t = n^3 from 127 on, n^1 below; recovery by search at 7.
std::vector<Point> cubic_points() {
  std::vector<Point> points;
  for (int n : {7, 15, 31, 63, 127, 257, 509}) {
    Point p;
    p.n = n;
    p.seconds[keygen] = n >= 127 ? 1e-9 * std::pow(n, 3) : 1e-3 * n;
    p.seconds[encrypt_one] = 1e-6 * n;
    p.seconds[attack_recovery] = n == 7 ? 100 : 1e-6 * n * n;
    p.searched = n == 7;
    if (n >= 9) p.seconds[attack_elimination] = 1e-8 * std::pow(n, 4);
    if (n >= 9) p.seconds[attack_equations] = p.seconds[attack_relations] = 1e-6 * n;
    p.peak_mb = 10;
    points.push_back(p);
  }
  return points;
}

TEST(StudyReportTest, ExponentsFromTheThreeLargestSizesOfEachCurve) {
  const std::vector<Point> points = cubic_points();
  ASSERT_TRUE(fitted_exponent(points, keygen));
  EXPECT_NEAR(*fitted_exponent(points, keygen), 3.0, 1e-9);
  // 127, 257 and 509 (63 would bend key generation's); the recovery's search at 7 left out.
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
  // n = 7: key generation, nothing of the relations, recovery by search,
  // which is the attack; exhaustive search 2^n encryptions.
  EXPECT_NE(csv.find("\n7,0.007,7e-06,,,,,,100,1,10.0,100,0.000896\n"), std::string::npos) << csv;
  EXPECT_NE(csv.find("\n509,0.131872,0.000509,,,0.000509,671.23,0.000509,0.259081,0,10.0,671.49,8.53072e+149\n"),
            std::string::npos)
      << csv;
  const std::string script = gnuplot_script(points, "s.csv", "s.svg", "s.png");
  EXPECT_NE(script.find("title 'key generation  n^{3.00}  (n^{4})'"), std::string::npos) << script;
  EXPECT_NE(script.find("title 'attack: elimination  n^{4.00}  (n^{4.5})'"), std::string::npos) << script;
  EXPECT_EQ(script.find("one decryption"), std::string::npos) << "never measured, no curve";
  EXPECT_NE(gnuplot_script({points[0], points[1]}, "s.csv", "s.svg", "s.png").find("title 'key generation  (n^{4})'"),
            std::string::npos)
      << "too few sizes for a fitted exponent";
  EXPECT_NE(script.find("set output 's.svg'"), std::string::npos);
  EXPECT_NE(script.find("set output 's.png'"), std::string::npos);
  EXPECT_NE(script.find("set xtics (7, 15, 31, 63, 127, 257, 509)\nset xrange [5.6:636.25]\n"), std::string::npos)
      << script;
  // The table marks the recovery of 7 alone as a search.
  const std::string table = markdown_table(points);
  EXPECT_NE(table.find("| 7 | 7 ms | 7 µs |  |  |  |  |  | 100 s (search) | 10 MiB |\n"), std::string::npos) << table;
  EXPECT_EQ(table.find("(search)"), table.rfind("(search)")) << table;
}

TEST(StudyReportTest, EveryCurveHasAPointTypeAndADashTypeOfItsOwn) {
  std::vector<Point> points = cubic_points();
  for (Point& p : points)
    for (double& s : p.seconds)
      if (std::isnan(s) && !p.searched) s = 1e-6 * p.n;
  const std::string script = gnuplot_script(points, "s.csv", "s.svg", "s.png");
  std::set<std::string> point_types, dash_types;
  std::size_t curves = 0;
  std::istringstream in(script);
  for (std::string line; std::getline(in, line);) {
    if (line.find(" with ") == std::string::npos || line.find(" title '") == std::string::npos) continue;
    const auto word_after = [&line](const std::string& key) {
      const std::size_t at = line.find(key);
      return at == std::string::npos ? ""
                                     : line.substr(at + key.size(), line.find(' ', at + key.size()) - at - key.size());
    };
    ++curves;
    if (line.find(" with lines ") == std::string::npos) {  // a curve with points
      EXPECT_TRUE(point_types.insert(word_after(" pt ")).second) << line;
    }
    EXPECT_TRUE(dash_types.insert(word_after(" dt ")).second) << line;
  }
  // Each quantity, exhaustive search, the attack, the peak memory, the public key.
  EXPECT_EQ(curves, kQuantities + 4u) << script;
  EXPECT_EQ(point_types.count(""), 0u) << script;
  EXPECT_EQ(dash_types.count(""), 0u) << script;
  EXPECT_NE(script.find(":13 with linespoints"), std::string::npos) << "the search's column: " << script;
}

}  // namespace
#endif

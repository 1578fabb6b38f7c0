#include "bench/study_report.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>

#include "field/sizes.h"

namespace gf3mq::study {

namespace {

// The attack's recovery comes from its relations, not from a search.
bool measured(const Point& p, Quantity q) {
  return std::isfinite(p.seconds[q]) && !(q == attack_recovery && p.searched);
}

std::string format(const char* pattern, double value) {
  char text[256];
  std::snprintf(text, sizeof text, pattern, value);
  return text;
}

std::string readable_time(double seconds) {
  if (!std::isfinite(seconds)) return "";
  if (seconds >= 1) return format("%.3g s", seconds);
  if (seconds >= 1e-3) return format("%.3g ms", seconds * 1e3);
  return format("%.3g µs", seconds * 1e6);
}

// Columns in the CSV, counted from 1 as gnuplot counts.
int column_of(Quantity q) { return 2 + static_cast<int>(q); }
constexpr int kSearchedColumn = 2 + kQuantities, kMemoryColumn = kSearchedColumn + 1, kAttackColumn = kMemoryColumn + 1,
              kExhaustiveColumn = kAttackColumn + 1;

}  // namespace

std::string csv_header() {
  std::string header = "n";
  for (const QuantityName& q : kQuantityNames) header += std::string(",") + q.column;
  return header + ",attack_by_search,peak_memory_mb,attack_s,exhaustive_search_s";
}

double attack_seconds(const Point& p) {
  if (p.searched) return p.seconds[attack_recovery];
  double sum = 0;
  for (Quantity q : {attack_equations, attack_elimination, attack_relations, attack_recovery}) sum += p.seconds[q];
  return sum;  // NaN when a phase was not measured
}

double search_seconds(const Point& p) { return std::ldexp(p.seconds[encrypt_one], p.n); }

std::string csv_text(const std::vector<Point>& points) {
  std::string text = csv_header() + "\n";
  const auto cell = [&text](double value, const char* pattern) {
    text += ',';
    if (std::isfinite(value)) text += format(pattern, value);
  };
  for (const Point& p : points) {
    text += std::to_string(p.n);
    for (double s : p.seconds) cell(s, "%.6g");
    text += p.searched ? ",1" : ",0";
    cell(p.peak_mb, "%.1f");
    cell(attack_seconds(p), "%.6g");
    cell(search_seconds(p), "%.6g");
    text += "\n";
  }
  return text;
}

std::optional<double> fitted_exponent(const std::vector<Point>& points, Quantity q) {
  std::vector<const Point*> used;
  for (const Point& p : points)
    if (measured(p, q) && p.seconds[q] > 0) used.push_back(&p);
  if (used.size() < kFittedSizes) return std::nullopt;
  std::sort(used.begin(), used.end(), [](const Point* a, const Point* b) { return a->n > b->n; });
  used.resize(kFittedSizes);  // the largest
  double sx = 0, sy = 0, sxx = 0, sxy = 0;
  for (const Point* p : used) {
    const double x = std::log(p->n), y = std::log(p->seconds[q]);
    sx += x, sy += y, sxx += x * x, sxy += x * y;
  }
  const double count = static_cast<double>(used.size());
  return (count * sxy - sx * sy) / (count * sxx - sx * sx);
}

namespace {

// How a curve is drawn: its colour (Okabe-Ito), point type and dash type,
// each its own (the reader tells the curves apart in black and white too).
struct Style {
  const char* colour;
  int point;
  const char* dash;
};

constexpr std::array<Style, kQuantities> kStyles = {{
    {"#000000", 7, "(24,4,4,4)"},      // black, filled circle
    {"#D55E00", 5, "2"},               // vermillion, filled square, dashes
    {"#56B4E9", 13, "3"},              // sky blue, filled diamond, dots
    {"#009E73", 9, "4"},               // bluish green, filled triangle, dash dot
    {"#E69F00", 11, "5"},              // orange, filled triangle down, dash dot dot
    {"#0072B2", 15, "(12,5)"},         // blue, filled pentagon
    {"#CC79A7", 3, "(3,6)"},           // reddish purple, star
    {"#666666", 2, "(16,4,3,4,3,4)"},  // grey, cross
}};
constexpr Style kExhaustiveStyle{"#D55E00", 6, "1"}, kAttackStyle{"#0072B2", 4, "(10,4)"},
    kMemoryStyle{"#000000", 8, "(6,3,1,3)"};
constexpr const char* kFaint = "#bbbbbb";
constexpr double kAgeOfTheUniverse = 4.35e17;  // seconds: 13.8 billion years

// One curve of a plot command: the column expression y against n.
std::string curve(const std::string& csv, const std::string& y, const Style& style, double width,
                  const std::string& title) {
  return "'" + csv + "' using 1:" + y + " with linespoints lc rgb '" + style.colour + "'" + format(" lw %g", width) +
         " pt " + std::to_string(style.point) + " ps 1.3 dt " + style.dash + " title '" + title + "'";
}

std::string plot_of(const std::vector<std::string>& curves) {
  std::string plot = "plot ";
  for (std::size_t i = 0; i < curves.size(); ++i) plot += (i == 0 ? "" : ", \\\n     ") + curves[i];
  return plot + "\n";
}

// "label  n^{fitted}  (n^{asymptotic})", the fitted one where there are enough sizes.
std::string curve_title(const std::vector<Point>& points, Quantity q) {
  const std::optional<double> k = fitted_exponent(points, q);
  return std::string(kQuantityNames[q].label) + (k ? format("  n^{%.2f}", *k) : "") + "  (n^{" +
         kQuantityNames[q].growth + "})";
}

// The y axis over the decades that hold every positive finite value, the
// top widened to a tic; a tic every step decades, at most eight of them.
std::string log_y_axis(const std::vector<double>& values) {
  double least = INFINITY, most = 0;
  for (double v : values)
    if (std::isfinite(v) && v > 0) least = std::min(least, v), most = std::max(most, v);
  if (!(most > 0)) return "set yrange [*:*]\nset ytics auto\n";
  int low = static_cast<int>(std::floor(std::log10(least))), high = static_cast<int>(std::ceil(std::log10(most)));
  if (high == low) ++high;
  int step = 1;
  for (int s : {1, 2, 5, 10, 20, 50, 100}) {
    step = s;
    if ((high - low + s - 1) / s <= 8) break;
  }
  const int first_tic = static_cast<int>(std::floor(low / static_cast<double>(step))) * step;
  high = static_cast<int>(std::ceil(high / static_cast<double>(step))) * step;
  return "set yrange [1e" + std::to_string(low) + ":1e" + std::to_string(high) + "]\nset ytics 1e" +
         std::to_string(first_tic) + ", 1e" + std::to_string(step) + "\nset mytics " + (step == 1 ? "default" : "1") +
         "\n";
}

// The frame of a panel between top and bottom (fractions of the picture).
std::string panel(double top, double bottom, const std::string& title, const std::string& y_label) {
  return format("set tmargin at screen %g\n", top) + format("set bmargin at screen %g\n", bottom) + "set title '" +
         title + "'\nset ylabel '" + y_label + "'\nunset label\nunset arrow\n";
}

// The search of all 2^n plaintexts against the attack: the gap between them filled.
std::string gap_panel(const std::vector<Point>& points, const std::string& csv) {
  std::vector<double> values;
  double most = 0;
  const Point* last = nullptr;  // the largest n with both
  for (const Point& p : points) {
    values.push_back(attack_seconds(p)), values.push_back(search_seconds(p));
    if (!std::isfinite(attack_seconds(p) + search_seconds(p))) continue;
    most = std::max(most, search_seconds(p));
    if (last == nullptr || p.n > last->n) last = &p;
  }
  std::string text = panel(0.965, 0.71, "{/*1.2 Breaking it: the attack against exhaustive search}", "seconds") +
                     "set format y '10^{%L}'\nset key title ''\n" + log_y_axis(values);
  if (most > kAgeOfTheUniverse)
    text += format("set arrow from graph 0, first %g", kAgeOfTheUniverse) +
            format(" to graph 1, first %g nohead lc rgb '#999999' dt 2 back\n", kAgeOfTheUniverse) +
            format("set label 'the age of the universe' at graph 0.02, first %g offset 0,0.7 tc rgb '#777777'\n",
                   kAgeOfTheUniverse);
  const int decades = last == nullptr ? 0 : static_cast<int>(std::log10(search_seconds(*last) / attack_seconds(*last)));
  if (decades >= 1)
    text += "set label \"{/*1.2 at n = " + std::to_string(last->n) + ", searching takes}\\n{/*1.2 10^{" +
            std::to_string(decades) + "} times as long as the attack}\" at graph 0.03, graph 0.88 front\n";
  const std::string attack = std::to_string(kAttackColumn), exhaustive = std::to_string(kExhaustiveColumn);
  return text +
         plot_of({"'" + csv + "' using 1:" + attack + ":" + exhaustive + " with filledcurves lc rgb '#f6dccd' notitle",
                  curve(csv, exhaustive, kExhaustiveStyle, 3, "exhaustive search: 2^n encryptions"),
                  curve(csv, attack, kAttackStyle, 3, "the attack (below n = 9, a search)")});
}

// Faint slopes n^2, n^3 and n^4 from the least value at the least n to the largest n.
std::string reference_slopes(const std::vector<Point>& points, std::vector<double>& values) {
  const auto [first, last] =
      std::minmax_element(points.begin(), points.end(), [](const Point& a, const Point& b) { return a.n < b.n; });
  double start = INFINITY;
  for (int q = 0; q < kQuantities; ++q)
    if (measured(*first, static_cast<Quantity>(q))) start = std::min(start, first->seconds[q]);
  if (first->n == last->n || !std::isfinite(start)) return "";
  std::string text;
  for (int k : {2, 3, 4}) {
    const double end = start * std::pow(static_cast<double>(last->n) / first->n, k);
    values.push_back(end);
    text += "set arrow from " + std::to_string(first->n) + format(", %g to ", start) + std::to_string(last->n) +
            format(", %g nohead lc rgb '", end) + kFaint + "' back\n" + "set label 'n^" + std::to_string(k) + "' at " +
            format("%g, ", last->n * 1.04) + format("%g tc rgb '#999999'\n", end);
  }
  return text;
}

// The seconds of each quantity with its exponents, beside the faint slopes.
std::string steps_panel(const std::vector<Point>& points, const std::string& csv) {
  std::vector<double> values;
  std::vector<std::string> curves;
  for (int q = 0; q < kQuantities; ++q) {
    const Quantity quantity = static_cast<Quantity>(q);
    bool any = false;
    for (const Point& p : points)
      if (measured(p, quantity)) values.push_back(p.seconds[q]), any = true;
    std::string y = std::to_string(column_of(quantity));
    if (quantity == attack_recovery)  // not the search
      y = format("($%g == 0 ? ", kSearchedColumn) + format("$%g : NaN)", column_of(quantity));
    if (any) curves.push_back(curve(csv, y, kStyles[q], 1.5, curve_title(points, quantity)));
  }
  std::string text = panel(0.62, 0.3, "Each step", "seconds (best run)");
  text += reference_slopes(points, values);
  return text + log_y_axis(values) + "set key title \"n^{k}: k fitted over the " + std::to_string(kFittedSizes) +
         " largest n\\n(n^{k}: k for large n)\"\n" + plot_of(curves);
}

// The measuring process's peak memory beside the public key's n (n + 1)^2 bytes.
std::string memory_panel(const std::string& csv) {
  return panel(0.215, 0.05, "Peak memory of the measuring process", "MiB") +
         "set key title ''\nset format y '%g'\nset yrange [*:*]\nset ytics auto\nset mytics default\n" +
         plot_of({curve(csv, std::to_string(kMemoryColumn), kMemoryStyle, 1.5, "peak memory"),
                  format("x * (x + 1)**2 / %g with lines lc rgb '#999999'", 1 << 20) +
                      " lw 1.5 dt (2,3) title 'the public key: n (n + 1)^2 bytes'"});
}

// The x axis: a tic at each size, a little room at both ends.
std::string x_axis(const std::vector<Point>& points) {
  std::string tics;
  int least = kLargestDegree, most = 0;
  for (const Point& p : points) {
    tics += (tics.empty() ? "" : ", ") + std::to_string(p.n);
    least = std::min(least, p.n), most = std::max(most, p.n);
  }
  return "set xtics (" + tics + ")\n" + format("set xrange [%g:", least / 1.25) + format("%g]\n", most * 1.25);
}

}  // namespace

std::string gnuplot_script(const std::vector<Point>& points, const std::string& csv_file, const std::string& svg_file,
                           const std::string& png_file) {
  std::string script =
      "# gf3mq-study: seconds against n on log-log axes, in three panels: the attack\n"
      "# against exhaustive search (2^n encryptions), each step with its exponent\n"
      "# fitted by least squares on log-log over the largest sizes (and the\n"
      "# exponent for large n), and the peak memory.\n"
      "set datafile separator ','\n"
      "set datafile missing ''\n"
      "set logscale xy\n";
  script += x_axis(points);
  script +=
      "set xlabel 'n'\n"
      "set grid lc rgb '#e4e4e4'\n"
      "set lmargin at screen 0.09\n"
      "set rmargin at screen 0.6\n"
      "set key outside right top Left reverse samplen 4 spacing 1.3\n"
      "do for [picture in 'svg png'] {\n"
      "  if (picture eq 'svg') {\n"
      "    set terminal svg size 1000,1300 enhanced font 'sans,12' background '#ffffff'\n"
      "    set output '" +
      svg_file +
      "'\n"
      "  } else {\n"
      "    set terminal pngcairo size 1000,1300 enhanced font 'sans,10'\n"
      "    set output '" +
      png_file +
      "'\n"
      "  }\n"
      "  set multiplot\n";
  script += gap_panel(points, csv_file) + steps_panel(points, csv_file) + memory_panel(csv_file);
  return script + "  unset multiplot\n}\n";
}

std::string markdown_table(const std::vector<Point>& points) {
  std::string text = "| n |";
  std::string rule = "|---:|";
  for (const QuantityName& q : kQuantityNames) text += std::string(" ") + q.label + " |", rule += "---:|";
  text += " peak memory |\n" + rule + "---:|\n";
  for (const Point& p : points) {
    text += "| " + std::to_string(p.n) + " |";
    for (int q = 0; q < kQuantities; ++q) {
      std::string cell = readable_time(p.seconds[q]);
      if (q == attack_recovery && p.searched) cell += " (search)";
      text += ' ';
      text += cell;
      text += " |";
    }
    text += ' ';
    if (std::isfinite(p.peak_mb)) text += format("%.0f MiB", p.peak_mb);
    text += " |\n";
  }
  return text;
}

}  // namespace gf3mq::study

#include "bench/study_report.h"

#include <algorithm>
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
  char text[64];
  std::snprintf(text, sizeof text, pattern, value);
  return text;
}

std::string readable_time(double seconds) {
  if (!std::isfinite(seconds)) return "";
  if (seconds >= 1) return format("%.3g s", seconds);
  if (seconds >= 1e-3) return format("%.3g ms", seconds * 1e3);
  return format("%.3g µs", seconds * 1e6);
}

// Column of q in the CSV, counted from 1 as gnuplot counts.
int column_of(Quantity q) { return 2 + static_cast<int>(q); }
constexpr int kSearchColumn = 2 + kQuantities;

std::string curve_title(const std::vector<Point>& points, Quantity q) {
  const std::optional<double> k = fitted_exponent(points, q);
  std::string title = kQuantityNames[q].label;
  if (k) title += format(" (n^{%.2f})", *k);  // "~" would overprint in gnuplot's enhanced text
  return title;
}

}  // namespace

std::string csv_header() {
  std::string header = "n";
  for (const QuantityName& q : kQuantityNames) header += std::string(",") + q.column;
  return header + ",attack_by_search,peak_memory_mb";
}

std::string csv_text(const std::vector<Point>& points) {
  std::string text = csv_header() + "\n";
  for (const Point& p : points) {
    text += std::to_string(p.n);
    for (double s : p.seconds) {
      text += ',';
      if (std::isfinite(s)) text += format("%.6g", s);
    }
    text += p.searched ? ",1," : ",0,";
    text += std::isfinite(p.peak_mb) ? format("%.1f", p.peak_mb) : "";
    text += "\n";
  }
  return text;
}

std::optional<double> fitted_exponent(const std::vector<Point>& points, Quantity q) {
  std::vector<const Point*> used;
  for (const Point& p : points)
    if (measured(p, q) && p.seconds[q] > 0) used.push_back(&p);
  std::sort(used.begin(), used.end(), [](const Point* a, const Point* b) { return a->n < b->n; });
  used.erase(used.begin(), used.begin() + static_cast<std::ptrdiff_t>(used.size() / 2));  // the upper half
  if (used.size() < 2) return std::nullopt;
  double sx = 0, sy = 0, sxx = 0, sxy = 0;
  for (const Point* p : used) {
    const double x = std::log(p->n), y = std::log(p->seconds[q]);
    sx += x, sy += y, sxx += x * x, sxy += x * y;
  }
  const double count = static_cast<double>(used.size());
  return (count * sxy - sx * sy) / (count * sxx - sx * sx);
}

namespace {

// The plot command: a curve per quantity, the searches apart.
std::string plot_command(const std::vector<Point>& points, const std::string& csv) {
  const std::string search = format("$%g", kSearchColumn), recovery = format("$%g", column_of(attack_recovery));
  std::string plot = "plot";
  for (int q = 0; q < kQuantities; ++q) {
    const std::string value = q == attack_recovery ? "(" + search + " == 0 ? " + recovery + " : NaN)"
                                                   : std::to_string(column_of(static_cast<Quantity>(q)));
    plot += std::string(q == 0 ? " " : ", \\\n     ") + "'" + csv + "' using 1:" + value + " with linespoints title '" +
            curve_title(points, static_cast<Quantity>(q)) + "'";
  }
  return plot + ", \\\n     '" + csv + "' using 1:(" + search + " == 1 ? " + recovery +
         " : NaN) with points pt 6 ps 1.5 title 'attack: exhaustive search'\n";
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
      "# gf3mq-study: seconds against n on log-log axes; each title gives the exponent\n"
      "# fitted (least squares on log-log) over the upper half of the curve's sizes.\n"
      "set datafile separator ','\n"
      "set datafile missing ''\n"
      "set logscale xy\n";
  script += x_axis(points);
  script +=
      "set format y '10^{%L}'\n"
      "set xlabel 'n'\n"
      "set ylabel 'seconds (best run)'\n"
      "set grid\n"
      "set key outside right top\n"
      "set title 'gf3mq: time against n'\n"
      "set terminal svg size 1000,600 enhanced font 'sans,12' background '#ffffff'\n";
  script += "set output '" + svg_file + "'\n" + plot_command(points, csv_file);
  script += "set terminal pngcairo size 1000,600 enhanced font 'sans,10'\n";
  script += "set output '" + png_file + "'\nreplot\n";
  return script;
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

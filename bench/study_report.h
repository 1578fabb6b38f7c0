// gf3mq-study's results: the CSV, the exponents fitted to each curve, the
// gnuplot script of the log-log plot (SVG and PNG) and a Markdown table.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "bench/study_point.h"

namespace gf3mq::study {

// The CSV's header, also quoted in gf3mq-study --help: n, the seconds of
// each quantity (empty where there is none), attack_by_search (1 where the
// plaintext was searched for, its time in attack_recovery_s), peak_memory_mb,
// then attack_s and exhaustive_search_s (below).
std::string csv_header();
std::string csv_text(const std::vector<Point>& points);

// The whole attack: its phases' best runs summed, or the search below n = 9.
double attack_seconds(const Point& p);

// Exhaustive search: 2^n times one encryption as measured at n.
double search_seconds(const Point& p);

// The exponent k of t ~ n^k: least squares on (log n, log t) over the
// kFittedSizes largest sizes where q was measured (the recovery by search
// left out); none with fewer such sizes.
inline constexpr std::size_t kFittedSizes = 3;
std::optional<double> fitted_exponent(const std::vector<Point>& points, Quantity q);

// A gnuplot script that reads csv_file and writes svg_file and png_file
// (names as gnuplot opens them: relative to its folder, or /dev/fd/N), each
// with three panels on log-log axes: the attack against exhaustive search,
// the seconds of each quantity with its fitted and asymptotic exponent
// beside faint slopes n^2, n^3 and n^4, and the peak memory beside the
// public key's size. Every curve has a point type and a dash type of its
// own and a colour of the Okabe-Ito palette.
std::string gnuplot_script(const std::vector<Point>& points, const std::string& csv_file, const std::string& svg_file,
                           const std::string& png_file);

// The points as a Markdown table, times in s, ms or µs.
std::string markdown_table(const std::vector<Point>& points);

}  // namespace gf3mq::study

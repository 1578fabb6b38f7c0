#include "bench/study_point.h"

#include <cstdio>
#include <sstream>

namespace gf3mq::study {

std::string to_line(const Point& p) {
  std::ostringstream out;
  out.precision(17);
  out << p.n << ' ' << p.searched << ' ' << p.peak_mb;
  for (double s : p.seconds) out << ' ' << s;
  return out.str();
}

bool from_line(const std::string& line, Point& p) {
  std::istringstream in(line);
  in >> p.n >> p.searched;
  // NaN is written as "nan", which streams do not read back.
  auto number = [&in](double& v) {
    std::string word;
    if (!(in >> word)) return false;
    v = std::strtod(word.c_str(), nullptr);
    return true;
  };
  if (!in || !number(p.peak_mb)) return false;
  for (double& s : p.seconds)
    if (!number(s)) return false;
  return true;
}

}  // namespace gf3mq::study

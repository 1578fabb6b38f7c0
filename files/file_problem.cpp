#include "files/file_problem.h"

#include <cstring>

namespace gf3mq {

std::string FileProblem::message() const {
  if (line != 0) {
    const std::string where = file.empty() ? "standard input" : quoted(file);
    const std::string column_text = column != 0 ? ", column " + std::to_string(column) : "";
    return where + ", line " + std::to_string(line) + column_text + ": " + problem;
  }
  return file.empty() ? problem : quoted(file) + " " + problem;
}

bool report_problem(FileProblem* problem, std::string file, std::string what) {
  if (problem != nullptr) *problem = FileProblem{std::move(file), std::move(what)};
  return false;
}

std::string quoted(const std::string& name) { return "\"" + name + "\""; }

std::string error_text(int error_number) { return std::strerror(error_number); }

}  // namespace gf3mq

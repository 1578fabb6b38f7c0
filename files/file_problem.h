// What went wrong with a file or an input, for messages to the user: the one
// carrier of such problems in every layer.
#pragma once

#include <cstddef>
#include <string>

namespace gf3mq {

struct FileProblem {
  std::string file;        // the file's name as given; empty for standard input, or when no file is involved
  std::string problem;     // e.g. "is too short: it holds 100 of 257 digits"
  std::size_t line = 0;    // the line of a text input the problem is on; 0 when none
  std::size_t column = 0;  // and the column on it; 0 when none

  // "<file>" <problem>, or <problem> alone when there is no file; with a
  // line, "<file>", line N: <problem> (standard input, line N: <problem>),
  // and with a column too, "<file>", line N, column C: <problem>.
  std::string message() const;
};

// Fills *problem, when given, and returns false: for `return report_problem(...)`.
bool report_problem(FileProblem* problem, std::string file, std::string what);

// name in double quotes, as messages name files: "new pk.txt".
std::string quoted(const std::string& name);

// The text of an errno value ("No such file or directory").
std::string error_text(int error_number);

}  // namespace gf3mq

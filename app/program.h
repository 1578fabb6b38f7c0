// What every gf3mq program does the same way: its command line and its
// standard streams.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "app/message_lines.h"
#include "field/sizes.h"
#include "files/file_problem.h"
#include "files/folder_lock.h"

namespace gf3mq::program {

// The command line of a program: -C DIR (any number, each taken at once,
// relative to the one before, as git -C and make -C do), --help, --version,
// the options the program declares, "--" and operands ("-" stands for
// standard input where an operand is a FILE). Parsed by getopt_long, with
// the GNU conventions: -CDIR, --opt=value, any unique beginning of a long
// option, operands among the options.
class CommandLine {
 public:
  // usage: the text --help prints; it begins "Usage:".
  CommandLine(const char* name, const char* usage) : name_(name), usage_(usage) {}

  void flag(const char* option, bool& set);                        // e.g. --no-wait
  void option_with_value(const char* option, std::string& value);  // --poly P or --poly=P
  // Two declared options that cannot be given together.
  void exclusive(const char* option, const char* other);

  // Readies the standard streams, then reads argv: /dev/null opened on a
  // closed standard input or standard error, so that no file the program
  // opens can take their place.
  // True to go on; otherwise the program ends with exit_status(): 0 after
  // --help or --version (printed on standard output), 2 after an unknown
  // option, a missing operand, too many operands or two exclusive options
  // (the usage on standard error) or a GF3MQ_LOCK_WAIT that is not a number
  // of seconds, 1 when standard output is closed or a -C folder cannot be
  // entered.
  bool parse(int argc, char** argv, std::size_t max_operands);
  int exit_status() const { return exit_status_; }
  // Whether a declared option was on the command line (even with an empty value).
  bool given(const std::string& option) const;
  // The FILE operand of a program that takes at most one, "-" (standard
  // input) when none was given.
  std::string input_file() const { return operands_.empty() ? "-" : operands_[0]; }

 private:
  bool usage_error(const std::string& what);

  struct Declared {
    std::string option;
    bool* flag;
    std::string* value;
    bool given = false;
  };
  const char* name_;
  const char* usage_;
  std::vector<Declared> declared_;
  std::vector<std::pair<std::string, std::string>> exclusive_;
  std::vector<std::string> operands_;
  int exit_status_ = 1;
};

// Flushes and closes standard output. Returns false, after a message on
// standard error, when anything written to it was lost; `done`, when given,
// says in that message what the program did nonetheless.
bool finish_output(const char* name, const char* done = nullptr);

// "name: message" and an end of line on standard error; returns status.
int fail(const char* name, const std::string& message, int status = 1);

// The same for a problem with the key set or its tables, followed by what
// makes the missing file: gf3mq-tables for a table, gf3mq-keygen otherwise.
int fail_with_key_set(const char* name, const FileProblem& problem);

// Lines a program that answers lines with lines (gf3mq-encrypt, -decrypt,
// -attack) reads, answers and writes at a time: one under a trace, each
// answer written after its steps.
inline std::size_t lines_at_once(bool trace) { return trace ? 1 : 256; }

// The loop of those programs: lines holds reader's first batch; answer
// appends the output of the batch in lines to out, which is then written
// (and flushed under a trace), and the next batch is read, until the input
// ends or standard output fails. answer returns "" to go on, or the message
// that refuses a line (naming it): the output before that line is written,
// then the message. False after the message that ends the program (a
// refused line, or input that cannot be read); the caller then returns 1,
// and otherwise ends with finish_output.
bool answer_lines(const char* name, MessageLineReader& reader, MessageLines& lines, bool trace,
                  const std::function<std::string(SecretVector<char>& out)>& answer);

// How long the program waits for a folder lock another process holds
// (GF3MQ_LOCK_WAIT), saying on standard error what it waits for after a second.
LockWait lock_wait(const char* name);

// A warning on standard error when group or others may write the folder
// dir (the working directory by default): they could replace or remove the
// files there that what names (the key files by default). Programs that read
// or write key files call it (gf3mq-encrypt for the public key), and
// gf3mq-study for its results.
void warn_if_folder_open(const char* name, const std::string& dir = ".", const char* what = "the key files");

// The sizes of the folder's tables (degree_of_reduction_table of
// field_tables.h) in sizes; false after a message naming the table and the
// system's error when it is there but cannot be opened or read.
bool sizes_of_tables(const char* name, Sizes& sizes);

// Reads "new pk.txt" of the current folder under the key set's read lock,
// at the n its digits say (degree_of_public_key of key_files.h): sizes
// receives n, and read(sizes, problem), called under the lock once sizes
// holds it, reads the key: true when it did, else false with problem
// filled. False after a message naming the problem.
bool read_public_key(const char* name, Sizes& sizes, const std::function<bool(const Sizes&, FileProblem*)>& read);

}  // namespace gf3mq::program

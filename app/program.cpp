#include "app/program.h"

#include <fcntl.h>
#include <getopt.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <streambuf>

#include "field/field_tables.h"
#include "files/folder.h"
#include "files/posix_io.h"
#include "scheme/key_files.h"
#include "scheme/key_set.h"

namespace gf3mq::program {

namespace {

bool is_open(int fd) { return fcntl(fd, F_GETFD) != -1 || errno != EBADF; }

// fail, for the steps that answer whether the program may go on: false.
bool failed(const char* name, const std::string& message) {
  fail(name, message);
  return false;
}

// Standard output written straight to descriptor 1, keeping the error of the
// first write that failed: the reason for the message, whenever it happened.
class CheckedOutput : public std::streambuf {
 public:
  CheckedOutput() { setp(buffer_, buffer_ + sizeof buffer_); }
  int error() const { return error_; }

  // Writes what is buffered and closes descriptor 1.
  bool close() {
    sync();
    if (::close(1) != 0 && error_ == 0) error_ = errno;
    return error_ == 0;
  }

 protected:
  int_type overflow(int_type c) override {
    if (sync() != 0) return traits_type::eof();
    if (!traits_type::eq_int_type(c, traits_type::eof())) sputc(traits_type::to_char_type(c));
    return traits_type::not_eof(c);
  }

  int sync() override {
    if (error_ == 0 && !write_all(1, pbase(), static_cast<std::size_t>(pptr() - pbase()))) error_ = errno;
    setp(buffer_, buffer_ + sizeof buffer_);  // what could not be written is lost either way
    return error_ == 0 ? 0 : -1;
  }

 private:
  char buffer_[1 << 14];
  int error_ = 0;  // of the first write or close that failed (never 0 then), 0 while none has
};

// Lives until the process ends: the standard streams flush at exit.
CheckedOutput* const checked_output = new CheckedOutput;

// Opens /dev/null on a closed standard input or standard error, so that no
// file the program opens can take their place. Returns false, after a
// message, when standard output is closed: nothing could be shown.
bool standard_streams_ready(const char* name) {
  if (!is_open(1)) return failed(name, "standard output is closed; nothing was done");
  // open() returns the lowest free descriptor: the closed one.
  for (int fd : {0, 2})
    if (!is_open(fd) && open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY) != fd) return false;
  std::cout.rdbuf(checked_output);
  return true;
}

}  // namespace

void CommandLine::flag(const char* option, bool& set) { declared_.push_back({option, &set, nullptr}); }

void CommandLine::option_with_value(const char* option, std::string& value) {
  declared_.push_back({option, nullptr, &value});
}

void CommandLine::exclusive(const char* option, const char* other) { exclusive_.emplace_back(option, other); }

bool CommandLine::given(const std::string& option) const {
  return std::ranges::any_of(declared_, [&](const Declared& d) { return d.option == option && d.given; });
}

bool CommandLine::usage_error(const std::string& what) {
  std::cerr << name_ << ": " << what << "\n\n" << usage_;
  exit_status_ = 2;
  return false;
}

bool CommandLine::parse(int argc, char** argv, std::size_t max_operands) {
  if (!standard_streams_ready(name_)) return false;  // exit_status() is 1 until set otherwise
  // getopt_long: -CDIR and -C DIR, --opt=value and --opt value, unique
  // abbreviations, "--" ending the options, operands anywhere.
  enum : int { kHelp = 256, kVersion, kFirstDeclared };
  std::vector<option> longs = {{"help", no_argument, nullptr, kHelp}, {"version", no_argument, nullptr, kVersion}};
  for (std::size_t i = 0; i < declared_.size(); ++i)  // the long names without "--"
    longs.push_back({declared_[i].option.c_str() + 2, declared_[i].flag != nullptr ? no_argument : required_argument,
                     nullptr, kFirstDeclared + static_cast<int>(i)});
  longs.push_back({nullptr, 0, nullptr, 0});
  opterr = 0;  // the messages are the program's own
  optind = 0;  // a fresh scan
  for (;;) {
    const int c = getopt_long(argc, argv, "+:C:", longs.data(), nullptr);
    if (c == -1) {  // "+": getopt stops at an operand, or past "--"
      if (optind >= argc) break;
      if (std::strcmp(argv[optind - 1], "--") == 0) {
        while (optind < argc) operands_.push_back(argv[optind++]);  // everything after "--" is an operand
        break;
      }
      operands_.push_back(argv[optind++]);  // and the options go on after it
      continue;
    }
    if (c == 'C') {
      if (chdir(optarg) != 0)  // exit_status() stays 1
        return failed(name_, std::string("cannot change to the folder \"") + optarg + "\": " + std::strerror(errno));
    } else if (c == kHelp || c == kVersion) {
      // The version is that of the programs, from the build.
      std::cout << (c == kHelp ? std::string(usage_) : std::string(name_) + " " + GF3MQ_VERSION + "\n");
      exit_status_ = finish_output(name_) ? 0 : 1;
      return false;
    } else if (c >= kFirstDeclared) {
      Declared& d = declared_[static_cast<std::size_t>(c - kFirstDeclared)];
      if (d.flag != nullptr) *d.flag = true;
      if (d.value != nullptr) *d.value = optarg;
      d.given = true;
    } else if (c == ':') {
      if (optopt == 'C') return usage_error("-C needs a folder");
      return usage_error(declared_[static_cast<std::size_t>(optopt - kFirstDeclared)].option + " needs a value");
    } else {
      const std::string arg = optopt != 0 ? std::string("-") + static_cast<char>(optopt) : argv[optind - 1];
      return usage_error("unknown or ambiguous option \"" + arg + "\"");
    }
  }
  if (operands_.size() > max_operands)
    return usage_error("too many operands, from \"" + operands_[max_operands] + "\" on");
  for (const auto& [option, other] : exclusive_)
    if (given(option) && given(other)) return usage_error(option + " and " + other + " cannot be used together");
  if (const std::string wrong = lock_wait_problem(); !wrong.empty()) {
    exit_status_ = fail(name_, wrong, 2);
    return false;
  }
  return true;
}

bool finish_output(const char* name, const char* done) {
  std::cout.flush();
  if (checked_output->close()) return true;
  std::string message = std::string("standard output could not be written: ") + std::strerror(checked_output->error());
  if (done != nullptr) message += std::string(" (") + done + ")";
  return failed(name, message);
}

int fail(const char* name, const std::string& message, int status) {
  std::cerr << name << ": " << message << std::endl;
  return status;
}

int fail_with_key_set(const char* name, const FileProblem& problem) {
  const bool table = problem.file == kReductionTableFile || problem.file == kFrobeniusTableFile;
  if (table) return fail(name, problem.message() + "; gf3mq-tables writes the tables");
  if (std::string(name) == "gf3mq-keygen") return fail(name, problem.message());  // it is what makes one
  return fail(name, problem.message() + "; gf3mq-keygen makes a key set");
}

bool answer_lines(const char* name, MessageLineReader& reader, MessageLines& lines, bool trace,
                  const std::function<std::string(SecretVector<char>& out)>& answer) {
  SecretVector<char> out;
  FileProblem problem;
  while (lines.count() > 0 && std::cout) {
    out.clear();
    const std::string refusal = answer(out);
    std::cout.write(out.data(), static_cast<std::streamsize>(out.size()));
    if (trace) std::cout.flush();
    if (!refusal.empty() || !reader.next(lines_at_once(trace), lines, &problem)) {
      finish_output(name);
      return failed(name, refusal.empty() ? problem.message() : refusal);
    }
  }
  return true;
}

LockWait lock_wait(const char* name) {
  LockWait wait;
  wait.notice = [name](const std::string& what) { fail(name, what); };
  return wait;
}

void warn_if_folder_open(const char* name, const std::string& dir, const char* what) {
  unsigned mode = 0;
  if (!folder_writable_by_others(dir, &mode)) return;
  char octal[8];
  std::snprintf(octal, sizeof octal, "%04o", mode);
  const std::string shown = dir == "." ? working_directory() : dir[0] == '/' ? dir : working_directory() + "/" + dir;
  fail(name, "warning: group or others may write the folder \"" + shown + "\" (mode " + octal +
                 "): they could replace or remove " + what + " in it; chmod go-w closes it");
}

bool sizes_of_tables(const char* name, Sizes& sizes) {
  FileProblem problem;
  const int n = degree_of_reduction_table(kReductionTableFile, &problem);
  if (n == 0) return failed(name, problem.message());
  sizes = Sizes{n};
  return true;
}

bool read_public_key(const char* name, Sizes& sizes, const std::function<bool(const Sizes&, FileProblem*)>& read) {
  FileProblem problem;
  FolderLock lock(lock_wait(name));
  int n = 0;
  if (!lock_key_set_for_reading(lock, &problem) || (n = degree_of_public_key(kPublicKeyFile, &problem)) == 0)
    return failed(name, problem.message());
  sizes = Sizes{n};
  if (read(sizes, &problem)) return true;
  fail_with_key_set(name, problem);
  return false;
}

}  // namespace gf3mq::program

#include "app/program.h"

#include <fcntl.h>
#include <unistd.h>

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

// Standard output written straight to descriptor 1, keeping the error of the
// first write that failed: the reason for the message, whenever it happened.
class CheckedOutput : public std::streambuf {
 public:
  CheckedOutput() { setp(buffer_, buffer_ + sizeof buffer_); }
  int error() const { return error_; }
  bool failed() const { return failed_; }

  // Writes what is buffered and closes descriptor 1.
  bool close() {
    const bool flushed = sync() == 0;
    if (::close(1) != 0 && !failed_) {
      failed_ = true;
      error_ = errno;
    }
    return flushed && !failed_;
  }

 protected:
  int_type overflow(int_type c) override {
    if (sync() != 0) return traits_type::eof();
    if (!traits_type::eq_int_type(c, traits_type::eof())) sputc(traits_type::to_char_type(c));
    return traits_type::not_eof(c);
  }

  int sync() override {
    if (!failed_ && !write_all(1, pbase(), static_cast<std::size_t>(pptr() - pbase()))) {
      failed_ = true;
      error_ = errno;
    }
    setp(buffer_, buffer_ + sizeof buffer_);  // what could not be written is lost either way
    return failed_ ? -1 : 0;
  }

 private:
  char buffer_[1 << 14];
  bool failed_ = false;
  int error_ = 0;
};

// Lives until the process ends: the standard streams flush at exit.
CheckedOutput* const checked_output = new CheckedOutput;

}  // namespace

const char* version() { return GF3MQ_VERSION; }

void CommandLine::flag(const char* option, bool& set) { declared_.push_back({option, &set, nullptr}); }

void CommandLine::option_with_value(const char* option, std::string& value) {
  declared_.push_back({option, nullptr, &value});
}

void CommandLine::exclusive(const char* option, const char* other) { exclusive_.emplace_back(option, other); }

bool CommandLine::usage_error(const std::string& what) {
  std::cerr << name_ << ": " << what << "\n\n" << usage_;
  exit_status_ = 2;
  return false;
}

bool CommandLine::parse(int argc, char** argv, std::size_t max_operands) {
  bool options_end = false;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (options_end || arg == "-" || arg.empty() || arg[0] != '-') {
      operands_.push_back(arg);
      continue;
    }
    if (arg == "--") {
      options_end = true;
    } else if (arg == "-C") {
      if (i + 1 >= argc) return usage_error("-C needs a folder");
      const char* dir = argv[++i];
      if (chdir(dir) != 0) {
        exit_status_ = fail(name_, std::string("cannot change to the folder \"") + dir + "\": " + std::strerror(errno));
        return false;
      }
    } else if (arg == "--help") {
      std::cout << usage_;
      exit_status_ = finish_output(name_) ? 0 : 1;
      return false;
    } else if (arg == "--version") {
      std::cout << name_ << ' ' << version() << '\n';
      exit_status_ = finish_output(name_) ? 0 : 1;
      return false;
    } else {
      bool known = false;
      for (Declared& d : declared_) {
        if (d.flag != nullptr && arg == d.option) {
          *d.flag = known = true;
        } else if (d.value != nullptr && arg == d.option) {
          if (i + 1 >= argc) return usage_error(d.option + " needs a value");
          *d.value = argv[++i];
          known = true;
        } else if (d.value != nullptr && arg.rfind(d.option + "=", 0) == 0) {
          *d.value = arg.substr(d.option.size() + 1);
          known = true;
        }
        if (known) {
          d.given = true;
          break;
        }
      }
      if (!known) return usage_error("unknown option \"" + arg + "\"");
    }
  }
  if (operands_.size() > max_operands) return usage_error("too many operands, from \"" + operands_[max_operands] + "\" on");
  auto given = [&](const std::string& option) {
    for (const Declared& d : declared_)
      if (d.option == option && d.given) return true;
    return false;
  };
  for (const auto& [option, other] : exclusive_)
    if (given(option) && given(other)) return usage_error(option + " and " + other + " cannot be used together");
  if (const std::string wrong = lock_wait_problem(); !wrong.empty()) {
    fail(name_, wrong);
    exit_status_ = 2;
    return false;
  }
  return true;
}

bool standard_streams_ready(const char* name) {
  if (!is_open(1)) {
    fail(name, "standard output is closed; nothing was done");
    return false;
  }
  // open() returns the lowest free descriptor: the closed one.
  for (int fd : {0, 2})
    if (!is_open(fd) && open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY) != fd) return false;
  std::cout.rdbuf(checked_output);
  return true;
}

bool finish_output(const char* name, const char* done) {
  std::cout.flush();
  if (checked_output->close()) return true;
  std::string message = "standard output could not be written";
  if (checked_output->error() != 0) message += std::string(": ") + std::strerror(checked_output->error());
  if (done != nullptr) message += std::string(" (") + done + ")";
  fail(name, message);
  return false;
}

int fail(const char* name, const std::string& message) {
  std::cerr << name << ": " << message << std::endl;
  return 1;
}

int fail_with_key_set(const char* name, const FileProblem& problem) {
  const bool table = problem.file == kReductionTableFile || problem.file == kFrobeniusTableFile;
  return fail(name, problem.message() + (table ? "; gf3mq-tables writes the tables" : "; gf3mq-keygen makes a key set"));
}

LockWait lock_wait(const char* name) {
  LockWait wait;
  wait.notice = [name](const std::string& what) { fail(name, what); };
  return wait;
}

void warn_if_folder_open(const char* name) {
  unsigned mode = 0;
  if (!folder_writable_by_others(".", &mode)) return;
  char octal[8];
  std::snprintf(octal, sizeof octal, "%04o", mode);
  fail(name, "warning: group or others may write the folder \"" + working_directory() + "\" (mode " + octal +
                 "): they could replace or remove the key files in it; chmod go-w closes it");
}

bool read_public_key(const char* name, unsigned char* pk) {
  FileProblem problem;
  FolderLock lock(lock_wait(name));
  if (!lock_key_set_for_reading(lock, &problem)) {
    fail(name, problem.message());
    return false;
  }
  if (read_pk(kPublicKeyFile, pk, &problem) != 1) {
    fail_with_key_set(name, problem);
    return false;
  }
  return true;
}

}  // namespace gf3mq::program

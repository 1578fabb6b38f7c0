// Files written beside their final names and put in place only when whole.
//
// A temporary is created exclusively (O_CREAT | O_EXCL | O_NOFOLLOW) under a
// fresh name in the folder of the file it will become, and written, synced
// and inspected only through the descriptor that created it: nothing is ever
// opened for writing by a name that someone else could have replaced. Until
// it is kept, its name is removed should SIGINT, SIGTERM or SIGHUP end the
// process.
#pragma once

#include <signal.h>
#include <sys/types.h>

#include <string>

#include "files/file_problem.h"

namespace gf3mq {

// Every temporary this system makes starts with this prefix; whatever a
// killed run leaves under it is removed by the next writer (journal.h).
inline constexpr const char* kTempPrefix = ".gf3mq.tmp.";

// Names registered here are unlinked (unlinkat(dir_fd, name)) if SIGINT,
// SIGTERM or SIGHUP ends the process; the handler then ends it with the
// signal's usual status. dir_fd must stay open while the name is
// registered. A signal whose disposition was "ignore" when the first name
// was registered stays ignored.
int register_for_removal(int dir_fd, const std::string& name);  // slot, or -1 when full
void unregister_for_removal(int slot);

// Blocks SIGINT, SIGTERM and SIGHUP for its lifetime; a signal that arrives
// meanwhile is delivered when the block ends.
class TerminationSignalsBlocked {
 public:
  TerminationSignalsBlocked();
  ~TerminationSignalsBlocked();
  TerminationSignalsBlocked(const TerminationSignalsBlocked&) = delete;
  TerminationSignalsBlocked& operator=(const TerminationSignalsBlocked&) = delete;

 private:
  sigset_t saved_;  // the mask before the block
};

// 0666 less the umask: the mode open(2) gives a new file anyone may read.
mode_t public_file_mode();

// A fresh name "<prefix>XXXXXX" (six random letters and digits).
std::string fresh_name(const char* prefix);

class TempFile {
 public:
  TempFile() = default;
  TempFile(TempFile&& other) noexcept;
  TempFile& operator=(TempFile&& other) noexcept;
  TempFile(const TempFile&) = delete;
  TempFile& operator=(const TempFile&) = delete;
  ~TempFile();  // a temporary that was not kept is closed and removed

  // Creates a new temporary with the given mode in folder dir ("." for the
  // working directory); false with problem (naming for_file, the file it
  // will become) when it cannot be created.
  bool create_in(const std::string& dir, const std::string& for_file, mode_t mode, FileProblem* problem);
  bool create(const std::string& for_file, mode_t mode, FileProblem* problem) {
    return create_in(".", for_file, mode, problem);
  }

  int fd() const { return fd_; }
  const std::string& name() const { return name_; }  // within its folder
  std::string path() const;                          // folder and name
  ino_t inode() const { return inode_; }

  // fsync, then close; false with problem naming for_file on failure.
  bool sync_and_close(const std::string& for_file, FileProblem* problem);
  // Whether the name still leads to this file (not replaced meanwhile).
  bool still_at_its_name() const;
  // The name now belongs to the caller: neither removed on a signal nor by
  // the destructor.
  void keep();
  // Closes and removes it now; false (errno set) when the name could not be
  // removed.
  bool discard();

 private:
  int fd_ = -1;
  int dir_fd_ = -1;
  int slot_ = -1;
  ino_t inode_ = 0;
  std::string dir_;
  std::string name_;
};

}  // namespace gf3mq

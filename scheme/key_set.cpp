#include "scheme/key_set.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <sstream>
#include <string>

namespace gf3mq {

namespace {

constexpr const char* kJournalHeader = "gf3mq key-set journal 1";
constexpr std::size_t kJournalMaxBytes = 1 << 16;

// One file of a replacement. backup_name is empty when the file is new.
struct Entry {
  std::string final_name, temp_name, backup_name;
  ino_t new_inode = 0, old_inode = 0;
};

// The inode of the regular file at name, 0 when the name is absent, -1 (as
// an all-ones value) when it holds something else or cannot be looked at.
constexpr ino_t kNotARegularFile = static_cast<ino_t>(-1);
ino_t inode_at(const std::string& name) {
  struct stat info {};
  if (lstat(name.c_str(), &info) != 0) return errno == ENOENT ? 0 : kNotARegularFile;
  return S_ISREG(info.st_mode) ? info.st_ino : kNotARegularFile;
}

std::string journal_text(const std::vector<Entry>& entries) {
  std::string text = std::string(kJournalHeader) + "\n";
  for (const Entry& e : entries)
    text += e.final_name + "\t" + e.temp_name + "\t" + std::to_string(e.new_inode) + "\t" +
            (e.backup_name.empty() ? "-" : e.backup_name) + "\t" + std::to_string(e.old_inode) + "\n";
  return text + "end\n";
}

bool plain_name(const std::string& name) {
  return !name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos;
}

bool parse_journal(const std::string& text, std::vector<Entry>& entries) {
  std::istringstream in(text);
  std::string line;
  if (!std::getline(in, line) || line != kJournalHeader) return false;
  while (std::getline(in, line)) {
    if (line == "end") return in.peek() == EOF && !entries.empty();
    std::istringstream fields(line);
    Entry e;
    std::string new_inode, old_inode;
    if (!std::getline(fields, e.final_name, '\t') || !std::getline(fields, e.temp_name, '\t') ||
        !std::getline(fields, new_inode, '\t') || !std::getline(fields, e.backup_name, '\t') ||
        !std::getline(fields, old_inode) || !fields.eof())
      return false;
    if (e.backup_name == "-") e.backup_name.clear();
    try {
      e.new_inode = static_cast<ino_t>(std::stoull(new_inode));
      e.old_inode = static_cast<ino_t>(std::stoull(old_inode));
    } catch (...) {
      return false;
    }
    if (!plain_name(e.final_name) || e.temp_name.rfind(kTempPrefix, 0) != 0 || !plain_name(e.temp_name) ||
        (!e.backup_name.empty() && (e.backup_name.rfind(kBackupPrefix, 0) != 0 || !plain_name(e.backup_name))))
      return false;
    entries.push_back(std::move(e));
  }
  return false;  // no "end": not a journal this system wrote
}

// Forward is possible when each file is new already or its temporary is
// still there to be renamed.
bool forward_possible(const std::vector<Entry>& entries) {
  for (const Entry& e : entries)
    if (inode_at(e.final_name) != e.new_inode && inode_at(e.temp_name) != e.new_inode) return false;
  return true;
}

// Back is possible when each file is old already, or its backup is still
// there, or (for a file that was new) it can simply go.
bool backward_possible(const std::vector<Entry>& entries) {
  for (const Entry& e : entries) {
    const ino_t now = inode_at(e.final_name);
    if (e.backup_name.empty() ? now != 0 && now != e.new_inode
                              : now != e.old_inode && inode_at(e.backup_name) != e.old_inode)
      return false;
  }
  return true;
}

void report_errno(FileProblem* problem, const std::string& file, const char* what) {
  if (problem != nullptr) *problem = FileProblem{file, std::string(what) + ": " + std::strerror(errno)};
}

bool roll_forward(const std::vector<Entry>& entries, FileProblem* problem) {
  for (const Entry& e : entries) {
    if (inode_at(e.final_name) == e.new_inode) continue;
    if (rename(e.temp_name.c_str(), e.final_name.c_str()) != 0) {
      report_errno(problem, e.final_name, "could not be replaced");
      return false;
    }
  }
  sync_working_directory();
  for (const Entry& e : entries)
    if (!e.backup_name.empty()) unlink(e.backup_name.c_str());
  return true;
}

bool roll_back(const std::vector<Entry>& entries, FileProblem* problem) {
  for (const Entry& e : entries) {
    const ino_t now = inode_at(e.final_name);
    if (e.backup_name.empty()) {
      if (now != 0 && unlink(e.final_name.c_str()) != 0) {
        report_errno(problem, e.final_name, "could not be removed again");
        return false;
      }
    } else if (now != e.old_inode && rename(e.backup_name.c_str(), e.final_name.c_str()) != 0) {
      report_errno(problem, e.final_name, "could not be restored");
      return false;
    }
  }
  sync_working_directory();
  // What is left are the new files that were never renamed, and backups
  // of the files that were never replaced: extra links to the old ones.
  for (const Entry& e : entries) {
    unlink(e.temp_name.c_str());
    if (!e.backup_name.empty()) unlink(e.backup_name.c_str());
  }
  return true;
}

bool remove_journal(FileProblem* problem) {
  if (unlink(kJournalFile) != 0 && errno != ENOENT) {
    report_errno(problem, kJournalFile, "could not be removed");
    return false;
  }
  sync_working_directory();
  return true;
}

// Backups of the existing final names, hard links taken before anything is
// renamed; each is removed should a termination signal come first.
struct Backups {
  std::vector<int> slots;
  std::vector<std::string> names;
  ~Backups() { keep(); }
  // From the commit on they are the journal's: no signal may remove them.
  void keep() {
    for (int slot : slots) unregister_for_removal(slot);
    slots.clear();
  }
  void remove_all() {
    for (const std::string& name : names) unlink(name.c_str());
  }
  bool take(Entry& e, FileProblem* problem) {
    for (int attempt = 0; attempt < 100; ++attempt) {
      std::string name = fresh_name(kBackupPrefix);
      TerminationSignalsBlocked blocked;
      if (link(e.final_name.c_str(), name.c_str()) != 0) {
        if (errno == EEXIST) continue;
        report_errno(problem, e.final_name, "cannot be replaced");  // e.g. an immutable file
        return false;
      }
      slots.push_back(register_for_removal(name));
      names.push_back(name);
      e.backup_name = name;
      e.old_inode = inode_at(name);
      return true;
    }
    report_errno(problem, e.final_name, "cannot be replaced");
    return false;
  }
};

std::string cannot_finish(const char* reason) {
  return std::string("records a key generation that was interrupted, and it cannot be finished here: ") + reason +
         "; a user who can write this folder finishes it by running any gf3mq program in it";
}

}  // namespace

Replacement replace_as_a_whole(std::vector<NewFile>& files, FileProblem* problem) {
  std::vector<Entry> entries;
  for (NewFile& file : files) {
    if (!file.temp.still_at_its_name()) {
      if (problem != nullptr) *problem = FileProblem{file.final_name, "lost its temporary file while it was written"};
      return Replacement::not_started;
    }
    // A final name held by something other than a plain file would stop the
    // renames half-way: find that out before the first one.
    if (inode_at(file.final_name) == kNotARegularFile) {
      if (problem != nullptr) *problem = FileProblem{file.final_name, "is not a regular file and cannot be replaced"};
      return Replacement::not_started;
    }
    entries.push_back(Entry{file.final_name, file.temp.name(), "", file.temp.inode(), 0});
  }
  Backups backups;
  for (Entry& e : entries) {
    if (inode_at(e.final_name) != 0 && !backups.take(e, problem)) {
      backups.remove_all();
      return Replacement::not_started;
    }
  }
  TempFile journal;
  const std::string text = journal_text(entries);
  if (!journal.create(kJournalFile, 0600, problem) || !write_all(journal.fd(), text.data(), text.size()) ||
      !journal.sync_and_close(kJournalFile, problem)) {
    if (problem != nullptr && problem->file != kJournalFile)
      *problem = FileProblem{kJournalFile, "could not be written: " + std::string(std::strerror(errno))};
    backups.remove_all();
    return Replacement::not_started;
  }

  const TerminationSignalsBlocked blocked;  // from the commit until the journal is gone
  if (rename(journal.name().c_str(), kJournalFile) != 0) {
    report_errno(problem, kJournalFile, "could not be written");
    backups.remove_all();
    return Replacement::not_started;
  }
  journal.keep();
  backups.keep();
  for (NewFile& file : files) file.temp.keep();  // from now on the journal owns them
  sync_working_directory();
  for (const Entry& e : entries) {
    if (rename(e.temp_name.c_str(), e.final_name.c_str()) == 0) continue;
    report_errno(problem, e.final_name, "could not be replaced");
    FileProblem undo_problem;
    if (roll_back(entries, &undo_problem) && remove_journal(&undo_problem)) return Replacement::undone;
    return Replacement::unfinished;
  }
  sync_working_directory();
  backups.remove_all();
  remove_journal(nullptr);
  return Replacement::done;
}

bool journal_present() {
  struct stat info {};
  return lstat(kJournalFile, &info) == 0;
}

bool finish_unfinished_replacement(FileProblem* problem) {
  DigitFileResult opened;
  const int fd = open_regular_file(kJournalFile, opened);
  if (fd < 0 && opened.status == DigitFileStatus::cannot_open && opened.error_number == ENOENT) return true;
  if (fd < 0) {
    if (problem != nullptr) *problem = FileProblem{kJournalFile, opened.describe(0)};
    return false;
  }
  std::string text(kJournalMaxBytes, '\0');
  std::size_t size = 0;
  for (ssize_t n; size < text.size() && (n = read(fd, text.data() + size, text.size() - size)) != 0;) {
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) break;
    size += static_cast<std::size_t>(n);
  }
  close(fd);
  text.resize(size);
  std::vector<Entry> entries;
  if (!parse_journal(text, entries)) {
    if (problem != nullptr)
      *problem = FileProblem{kJournalFile, "is damaged; the key set may be mixed: remove it and run gf3mq-keygen"};
    return false;
  }
  const TerminationSignalsBlocked blocked;
  FileProblem step;
  bool finished;
  if (forward_possible(entries)) {
    finished = roll_forward(entries, &step);
  } else if (backward_possible(entries)) {
    finished = roll_back(entries, &step);
  } else {
    if (problem != nullptr)
      *problem = FileProblem{kJournalFile, "records a key generation that was interrupted, but the files it names "
                                           "are gone; the key set may be mixed: remove it and run gf3mq-keygen"};
    return false;
  }
  if (finished && remove_journal(&step)) return true;
  if (problem != nullptr) *problem = FileProblem{kJournalFile, cannot_finish(step.message().c_str())};
  return false;
}

void remove_leftovers() {
  DIR* dir = opendir(".");
  if (dir == nullptr) return;
  std::vector<std::string> names;
  while (const dirent* entry = readdir(dir)) {
    const std::string name = entry->d_name;
    if (name.rfind(kTempPrefix, 0) == 0 || name.rfind(kBackupPrefix, 0) == 0) names.push_back(name);
  }
  closedir(dir);
  for (const std::string& name : names) unlink(name.c_str());
}

bool lock_key_set_for_reading(FolderLock& lock, FileProblem* problem) {
  for (;;) {
    if (!lock.acquire(FolderLock::Mode::shared, problem)) return false;
    if (!journal_present()) return true;
    // A killed key generation left its journal: finish it alone, then read.
    if (!lock.acquire(FolderLock::Mode::exclusive, problem)) return false;
    if (!finish_unfinished_replacement(problem)) {
      lock.release();
      return false;
    }
  }
}

}  // namespace gf3mq

#include "files/journal.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <filesystem>
#include <sstream>

#include "files/folder.h"
#include "files/posix_io.h"

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
  const OwnFile file = look_at(name);
  return !file.exists ? 0 : file.regular ? file.inode : kNotARegularFile;
}

std::string journal_text(const std::vector<Entry>& entries) {
  std::string text = std::string(kJournalHeader) + "\n";
  for (const Entry& e : entries)
    text += e.final_name + "\t" + e.temp_name + "\t" + std::to_string(e.new_inode) + "\t" +
            (e.backup_name.empty() ? "-" : e.backup_name) + "\t" + std::to_string(e.old_inode) + "\n";
  return text + "end\n";
}

// A number written as decimal digits only: no sign, no blank, nothing after
// (from_chars takes no sign for an unsigned value).
bool parse_inode(const std::string& text, ino_t& value) {
  unsigned long long v = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), v);
  value = static_cast<ino_t>(v);
  return error == std::errc{} && end == text.data() + text.size();
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
        !std::getline(fields, old_inode) || !fields.eof() || !parse_inode(new_inode, e.new_inode) ||
        !parse_inode(old_inode, e.old_inode))
      return false;
    if (e.backup_name == "-") e.backup_name.clear();
    entries.push_back(std::move(e));
  }
  return false;  // no "end": not a journal this system wrote whole
}

// Why a journal's entries may not be followed, or empty when they may.
std::string untrusted_entries(const std::vector<Entry>& entries, const std::vector<std::string>& final_names) {
  // A name of this folder (no "/" in it) that starts with prefix.
  auto prefixed = [](const std::string& name, const char* prefix) {
    return name.starts_with(prefix) && name.find('/') == std::string::npos;
  };
  // A temporary or backup still there must be this user's file of the recorded inode.
  auto ours = [](const std::string& name, ino_t inode) {
    const OwnFile file = look_at(name);
    return !file.exists || (file.regular && file.own && file.inode == inode);
  };
  for (const Entry& e : entries) {
    if (std::find(final_names.begin(), final_names.end(), e.final_name) == final_names.end())
      return "names " + quoted(e.final_name) + ", which is not a file of the key set";
    if (!prefixed(e.temp_name, kTempPrefix)) return "names " + quoted(e.temp_name) + " as a temporary";
    if (!e.backup_name.empty() && !prefixed(e.backup_name, kBackupPrefix))
      return "names " + quoted(e.backup_name) + " as a backup";
    if (!ours(e.temp_name, e.new_inode))
      return "names the temporary " + quoted(e.temp_name) + ", which is not the file it recorded";
    if (!e.backup_name.empty() && !ours(e.backup_name, e.old_inode))
      return "names the backup " + quoted(e.backup_name) + ", which is not the file it recorded";
  }
  return {};
}

// Forward is possible when each file is new already or its temporary is
// still there to be renamed.
bool forward_possible(const std::vector<Entry>& entries) {
  return std::ranges::all_of(entries, [](const Entry& e) {
    return inode_at(e.final_name) == e.new_inode || inode_at(e.temp_name) == e.new_inode;
  });
}

// Back is possible when each file is old already, or its backup is still
// there, or (for a file that was new) it can simply go.
bool backward_possible(const std::vector<Entry>& entries) {
  return std::ranges::all_of(entries, [](const Entry& e) {
    const ino_t now = inode_at(e.final_name);
    return e.backup_name.empty() ? now == 0 || now == e.new_inode
                                 : now == e.old_inode || inode_at(e.backup_name) == e.old_inode;
  });
}

// What the last steps of a replacement could not do: names left behind and
// a folder sync that failed. The set is whole either way.
struct Cleanup {
  std::string left;  // "name" (error), ... of each name left
  std::string sync_failure;

  void remove(const std::string& name) {
    if (unlink(name.c_str()) != 0 && errno != ENOENT)
      left += (left.empty() ? "" : ", ") + quoted(name) + " (" + error_text(errno) + ")";
  }
  void sync() {
    FileProblem problem;
    if (!sync_folder(".", &problem) && sync_failure.empty()) sync_failure = problem.message();
  }
  bool clean() const { return left.empty() && sync_failure.empty(); }
  std::string describe() const {
    std::string text;
    if (!sync_failure.empty()) text = "the folder " + sync_failure + ", so the files may not be on disk";
    if (!left.empty()) {
      text += text.empty() ? "" : ", and ";
      text += "copies of the previous files remain, which could not be removed: " + left;
    }
    return text;
  }
};

bool roll_forward(const std::vector<Entry>& entries, FileProblem* problem, Cleanup& cleanup) {
  for (const Entry& e : entries)
    if (inode_at(e.final_name) != e.new_inode && rename(e.temp_name.c_str(), e.final_name.c_str()) != 0)
      return report_problem(problem, e.final_name, "could not be replaced: " + error_text(errno));
  cleanup.sync();
  for (const Entry& e : entries)
    if (!e.backup_name.empty()) cleanup.remove(e.backup_name);
  return true;
}

bool roll_back(const std::vector<Entry>& entries, FileProblem* problem, Cleanup& cleanup) {
  for (const Entry& e : entries) {
    const ino_t now = inode_at(e.final_name);
    if (e.backup_name.empty()) {
      if (now != 0 && unlink(e.final_name.c_str()) != 0)
        return report_problem(problem, e.final_name, "could not be removed again: " + error_text(errno));
    } else if (now != e.old_inode && rename(e.backup_name.c_str(), e.final_name.c_str()) != 0) {
      return report_problem(problem, e.final_name, "could not be restored: " + error_text(errno));
    }
  }
  cleanup.sync();
  // What is left are the new files that were never renamed, and backups
  // of the files that were never replaced: extra links to the old ones.
  for (const Entry& e : entries) {
    cleanup.remove(e.temp_name);
    if (!e.backup_name.empty()) cleanup.remove(e.backup_name);
  }
  return true;
}

// The last step: the journal goes, and the folder is synced.
void remove_journal(Cleanup& cleanup) {
  cleanup.remove(kJournalFile);
  cleanup.sync();
}

// Backups of the existing final names, hard links taken before anything is
// renamed; each is removed should a termination signal come first, and all
// are removed at the end of a replacement that never reached its commit.
struct Backups {
  int dir_fd = -1;
  std::vector<int> slots;
  std::vector<std::string> names;  // those not kept
  Backups() : dir_fd(open(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC)) {}
  ~Backups() {
    for (const std::string& name : names) unlink(name.c_str());
    keep();
    if (dir_fd >= 0) close(dir_fd);
  }
  // From the commit on they are the journal's: no signal may remove them.
  void keep() {
    for (int slot : slots) unregister_for_removal(slot);
    slots.clear();
    names.clear();
  }
  bool link_backup(Entry& e, FileProblem* problem) {
    for (int attempt = 0; attempt < 100 && dir_fd >= 0; ++attempt) {
      std::string name = fresh_name(kBackupPrefix);
      TerminationSignalsBlocked blocked;
      if (link(e.final_name.c_str(), name.c_str()) != 0) {
        if (errno == EEXIST) continue;
        return report_problem(problem, e.final_name, "cannot be replaced: " + error_text(errno));  // e.g. immutable
      }
      slots.push_back(register_for_removal(dir_fd, name));
      names.push_back(name);
      e.backup_name = name;
      e.old_inode = inode_at(name);
      return true;
    }
    return report_problem(problem, e.final_name, "cannot be replaced: " + error_text(errno));
  }
};

// Writes the journal to a temporary and syncs it, ready for the commit.
bool write_journal(const std::vector<Entry>& entries, TempFile& journal, FileProblem* problem) {
  const std::string text = journal_text(entries);
  if (!journal.create(kJournalFile, 0600, problem)) return false;
  if (!write_all(journal.fd(), text.data(), text.size()))
    return report_problem(problem, kJournalFile, "could not be written: " + error_text(errno));
  return journal.sync_and_close(kJournalFile, problem);
}

std::string cannot_finish(const std::string& reason) {
  return "records a key generation that was interrupted, and it cannot be finished here: " + reason +
         "; a user who can write this folder finishes it by running any gf3mq program in it";
}

// A journal refused before any file is touched, and why.
bool not_followed(FileProblem* problem, const std::string& why) {
  return report_problem(problem, kJournalFile, why + ": it is not followed, and nothing was changed");
}

// Reads the journal through a descriptor that is checked to be a regular
// file of this user closed to group and others. An empty text with problem
// empty: there is none.
bool read_own_journal(std::string& text, FileProblem* problem) {
  const int fd = open(kJournalFile, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  struct stat info {};
  if (fd < 0 && errno == ENOENT) return true;
  if (fd < 0 && errno == ELOOP) return not_followed(problem, "is a symbolic link");
  if (fd < 0) {
    const int error = errno;
    if (lstat(kJournalFile, &info) == 0 && info.st_uid != geteuid())
      return not_followed(problem, "belongs to another user (uid " + std::to_string(info.st_uid) + ")");
    return report_problem(problem, kJournalFile, "cannot be opened: " + error_text(error));
  }
  std::string why;
  if (fstat(fd, &info) != 0) {
    why = "cannot be looked at: " + error_text(errno);
  } else if (!S_ISREG(info.st_mode)) {
    why = "is " + describe_file_type(info.st_mode & S_IFMT) + ", not a journal this system wrote";
  } else if (info.st_uid != geteuid()) {
    why = "belongs to another user (uid " + std::to_string(info.st_uid) + ")";
  } else if ((info.st_mode & 022) != 0) {
    why = "may be written by group or others";
  }
  text.assign(kJournalMaxBytes + 1, '\0');
  const long size = why.empty() ? read_all(fd, text.data(), text.size()) : 0;
  if (size < 0) why = "cannot be read: " + error_text(errno);
  close(fd);
  text.resize(why.empty() ? static_cast<std::size_t>(size) : 0);
  return why.empty() || not_followed(problem, why);
}

}  // namespace

Replacement replace_as_a_whole(std::vector<NewFile>& files, FileProblem* problem) {
  std::vector<Entry> entries;
  std::vector<std::string> final_names;
  for (NewFile& file : files) {
    if (!file.temp.still_at_its_name()) {
      report_problem(problem, file.final_name, "lost its temporary file while it was written");
      return Replacement::not_started;
    }
    entries.push_back(Entry{file.final_name, file.temp.name(), "", file.temp.inode(), 0});
    final_names.push_back(file.final_name);
  }
  if (!may_replace(final_names, problem)) return Replacement::not_started;
  Backups backups;
  for (Entry& e : entries)
    if (inode_at(e.final_name) != 0 && !backups.link_backup(e, problem)) return Replacement::not_started;
  TempFile journal;
  if (!write_journal(entries, journal, problem)) return Replacement::not_started;

  const TerminationSignalsBlocked blocked;  // from the commit until the journal is gone
  if (rename(journal.name().c_str(), kJournalFile) != 0) {
    report_problem(problem, kJournalFile, "could not be written: " + error_text(errno));
    return Replacement::not_started;
  }
  journal.keep();
  backups.keep();
  for (NewFile& file : files) file.temp.keep();  // from now on the journal owns them
  Cleanup cleanup;
  // The commit must be on disk before any rename: otherwise a crash could
  // leave renamed files with no journal to finish or undo them.
  if (FileProblem sync; !sync_folder(".", &sync)) {
    report_problem(problem, sync.file, sync.problem + " after the journal was written");
    roll_back(entries, nullptr, cleanup);
    remove_journal(cleanup);
    return Replacement::not_started;
  }
  // Forward, as a reader that found the journal would go.
  if (!roll_forward(entries, problem, cleanup)) {
    Cleanup undo;
    if (roll_back(entries, nullptr, undo)) {
      remove_journal(undo);
      if (undo.clean()) return Replacement::undone;
    }
    return Replacement::unfinished;
  }
  remove_journal(cleanup);
  if (cleanup.clean()) return Replacement::done;
  report_problem(problem, "", cleanup.describe());
  return Replacement::done_but;
}

bool may_replace(const std::vector<std::string>& final_names, FileProblem* problem) {
  // Anything else would stop the renames half-way, or leave a backup (a link
  // to another user's file) that this user could not remove.
  for (const std::string& name : final_names) {
    struct stat info {};
    if (lstat(name.c_str(), &info) != 0) {
      if (errno == ENOENT) continue;
      return report_problem(problem, name, "cannot be looked at: " + error_text(errno));
    }
    if (!S_ISREG(info.st_mode)) return report_problem(problem, name, "is not a regular file and cannot be replaced");
    if (info.st_uid != geteuid())
      return report_problem(problem, name,
                            "belongs to another user (uid " + std::to_string(info.st_uid) +
                                ") and cannot be replaced: it is left as it is");
  }
  return true;
}

bool journal_present() {
  struct stat info {};
  return lstat(kJournalFile, &info) == 0;
}

bool finish_unfinished_replacement(const std::vector<std::string>& final_names, FileProblem* problem) {
  std::string text;
  if (!read_own_journal(text, problem)) return false;
  if (text.empty() && !journal_present()) return true;
  std::vector<Entry> entries;
  if (!parse_journal(text, entries))
    return report_problem(problem, kJournalFile,
                          "is damaged; the key set may be mixed: remove it and run gf3mq-keygen");
  if (const std::string why = untrusted_entries(entries, final_names); !why.empty()) return not_followed(problem, why);
  const TerminationSignalsBlocked blocked;
  const bool forward = forward_possible(entries);
  if (!forward && !backward_possible(entries))
    return report_problem(problem, kJournalFile,
                          "records a key generation that was interrupted, but the files it names are gone; the key "
                          "set may be mixed: remove it and run gf3mq-keygen");
  FileProblem step;
  Cleanup cleanup;
  const bool finished = forward ? roll_forward(entries, &step, cleanup) : roll_back(entries, &step, cleanup);
  if (!finished) return report_problem(problem, kJournalFile, cannot_finish(step.message()));
  remove_journal(cleanup);
  if (cleanup.clean()) return true;
  return report_problem(problem, "", "an interrupted key generation was finished, but " + cleanup.describe());
}

bool remove_leftovers(FileProblem* problem) {
  std::vector<std::string> names;  // all listed first, then removed
  std::error_code error;
  for (std::filesystem::directory_iterator it(".", error), end; !error && it != end; it.increment(error)) {
    const std::string name = it->path().filename();
    if (name.starts_with(kTempPrefix) || name.starts_with(kBackupPrefix)) names.push_back(name);
  }
  if (error)
    return report_problem(problem, working_directory(), "cannot be read for leftover temporaries: " + error.message());
  Cleanup cleanup;
  for (const std::string& name : names) {
    const OwnFile file = look_at(name);
    if (file.regular && file.own) cleanup.remove(name);  // another user's files are theirs
  }
  if (cleanup.left.empty()) return true;
  return report_problem(problem, "", "leftovers of killed runs could not be removed: " + cleanup.left);
}

}  // namespace gf3mq

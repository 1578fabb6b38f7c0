// Replacing a set of files as a whole, through a journal.
//
// The order of the system calls of a replacement, all in the working
// directory (each new file already written to a temporary and synced):
//
//   link(final, backup)              a hard-link backup of every existing final name
//   openat(temporary for the journal, O_EXCL) ... write, fsync, close
//   rename(temporary, journal)       the commit
//   fsync(folder)
//   rename(temporary, final) ...     every new file into place
//   fsync(folder)
//   unlink(backup) ..., unlink(journal)
//   fsync(folder)
//
// Termination signals are blocked from the commit until the journal is gone.
// Whoever finds a journal finishes it, under the exclusive folder lock,
// before using the folder: forward when every new file is still there (a run
// killed during the renames), back from the backups otherwise (a rename
// refused and its undoing interrupted). So a reader sees either the whole
// previous set or the whole new set, never a mix.
//
// A journal is followed only when this user wrote it: a regular file owned
// by the user running the program and closed to group and others, naming
// only final names of the set, temporaries (kTempPrefix) and backups
// (kBackupPrefix) of this folder, each temporary or backup that still
// exists a regular file of this user with the inode recorded. Anything else
// is refused before any file is touched.
//
// The journal is text: the line "gf3mq key-set journal 1", then one line
// per file, "<final name> TAB <temporary> TAB <its inode> TAB <backup, or -
// for a file that is new> TAB <the backup's inode, or 0>", then "end".
#pragma once

#include <string>
#include <vector>

#include "files/file_problem.h"
#include "files/temp_file.h"

namespace gf3mq {

inline constexpr const char* kJournalFile = ".gf3mq.journal";
inline constexpr const char* kBackupPrefix = ".gf3mq.bak.";

// One file of a new set: the name it takes and the synced temporary that
// holds its content.
struct NewFile {
  std::string final_name;
  TempFile temp;
};

enum class Replacement {
  done,         // the new set is in place and on disk, no copy of the old one left
  done_but,     // the new set is in place, but the folder could not be synced or old copies remain
  not_started,  // nothing was renamed: the previous set is as it was
  undone,       // a rename failed; the previous set is back in place
  unfinished,   // a rename failed and undoing it failed too: the journal stays
};

// Puts files in place as a whole, as described above; problem says what
// failed when the result is not done. The caller holds the exclusive lock.
// Nothing is touched (not_started) unless every final name that exists is
// a regular file of this user (may_replace).
Replacement replace_as_a_whole(std::vector<NewFile>& files, FileProblem* problem);

// Whether each of final_names is absent or a regular file of this user (not
// followed when a link): what a replacement may back up and replace. False
// with problem naming the first that is not, and what it is or whose.
bool may_replace(const std::vector<std::string>& final_names, FileProblem* problem);

// Whether a journal is present in the working directory.
bool journal_present();

// Finishes the replacement a journal records, if there is one and it may be
// followed (final_names: the names a replacement may put in place); true
// when none is left and the folder is synced. Needs the exclusive lock and
// write access to the folder; problem names the journal and says why
// otherwise, or names what could not be cleaned up once the set is whole.
bool finish_unfinished_replacement(const std::vector<std::string>& final_names, FileProblem* problem);

// Removes the temporaries and backups that killed runs of this user left
// behind (regular files of this user only). Call under the exclusive lock
// with no journal present. False with problem naming what could not be
// looked at or removed.
bool remove_leftovers(FileProblem* problem);

}  // namespace gf3mq

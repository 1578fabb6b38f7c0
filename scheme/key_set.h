// A key set replaced, read and used whole.
//
// Replacement: every new file is written to a temporary and synced (see
// temp_file.h). Then each existing final name gets a hard-link backup, and a
// journal naming the temporaries, their final names, the backups and the
// inodes of all of them is written, synced and renamed into place: the
// commit. The temporaries are then renamed over the final names, and the
// backups and the journal are removed. Termination signals are blocked from
// the commit until the journal is gone.
//
// Whoever finds a journal finishes it, under the exclusive folder lock,
// before using the folder: forward when every new file is still there (a
// run killed during the renames), back from the backups otherwise (a rename
// refused and its undoing interrupted). So a reader sees either the whole
// previous set or the whole new set, never a mix.
//
// The journal is text: the line "gf3mq key-set journal 1", then one line
// per file, "<final name> TAB <temporary> TAB <its inode> TAB <backup, or -
// for a file that is new> TAB <the backup's inode, or 0>", then "end".
#pragma once

#include <vector>

#include "linalg/digit_file.h"
#include "scheme/folder_lock.h"
#include "scheme/temp_file.h"

namespace gf3mq {

inline constexpr const char* kJournalFile = ".gf3mq.journal";
inline constexpr const char* kBackupPrefix = ".gf3mq.bak.";

// One file of a new set: the name it takes and the synced temporary that
// holds its content.
struct NewFile {
  const char* final_name;
  TempFile temp;
};

enum class Replacement {
  done,         // the new set is in place
  not_started,  // nothing was renamed: the previous set is as it was
  undone,       // a rename failed; the previous set is back in place
  unfinished,   // a rename failed and undoing it failed too: the journal stays
};

// Puts files in place as a whole, as described above; problem says what
// failed when the result is not done. The caller holds the exclusive lock.
Replacement replace_as_a_whole(std::vector<NewFile>& files, FileProblem* problem);

// Whether a journal is present in the working directory.
bool journal_present();

// Finishes the replacement a journal records, if there is one; true when
// none is left. Needs the exclusive lock and write access to the folder;
// problem names the journal and says why otherwise.
bool finish_unfinished_replacement(FileProblem* problem);

// Removes the temporaries and backups that killed runs left behind. Call
// under the exclusive lock with no journal present.
void remove_leftovers();

// For programs that read a key set: takes the shared lock, after finishing,
// under the exclusive lock, a replacement that a killed run left unfinished.
bool lock_key_set_for_reading(FolderLock& lock, FileProblem* problem);

}  // namespace gf3mq

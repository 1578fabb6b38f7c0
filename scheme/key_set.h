// The key set of a folder, replaced, read and used whole: its eight files
// are put in place through the journal of files/journal.h, and readers hold
// the folder lock of files/folder_lock.h while they read.
#pragma once

#include <string>
#include <vector>

#include "files/folder_lock.h"
#include "files/journal.h"

namespace gf3mq {

// The eight files of a key set: the only names a journal may put in place.
const std::vector<std::string>& key_set_files();

// Finishes the replacement of the key set that a killed run left unfinished,
// if there is one (finish_unfinished_replacement of journal.h).
bool finish_unfinished_key_set(FileProblem* problem);

// For programs that read a key set: takes the shared lock, after finishing,
// under the exclusive lock, a replacement that a killed run left unfinished.
bool lock_key_set_for_reading(FolderLock& lock, FileProblem* problem);

}  // namespace gf3mq

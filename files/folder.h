// Folders: the one a path lies in, syncing what was renamed or removed in
// one, and who else may write there.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <string>

#include "files/file_problem.h"

namespace gf3mq {

// The folder of path: "." for a bare name, "/" for a name right under the root.
std::string folder_of(const std::string& path);

// fsync of the folder, so that the renames, links and removals in it are on
// disk. False with problem naming the folder when it fails.
bool sync_folder(const std::string& dir, FileProblem* problem);

// The absolute name of the working directory, for messages ("." if unknown).
std::string working_directory();

// Whether group or others may write the folder (mode & 022); *mode receives
// its permission bits. False, too, when the folder cannot be looked at.
bool folder_writable_by_others(const std::string& dir, unsigned* mode = nullptr);

// A regular file (not followed when a symbolic link) owned by the user this
// process runs as, with its inode; what lies at a name of a folder others
// may write is trusted only when it is one.
struct OwnFile {
  bool exists = false;   // something is at the name
  bool regular = false;  // it is a regular file
  bool own = false;      // and this user owns it
  unsigned mode = 0;     // its permission bits (st_mode & 07777)
  ino_t inode = 0;
};
OwnFile look_at(const std::string& name);

// Looking name up (symbolic links followed): 0 when something is there, or
// the system's error (ENOENT when nothing is).
int lookup_error(const std::string& name);

// Removes the name (unlink); false with errno set when it cannot.
bool remove_name(const std::string& name);

// The size in bytes of what name leads to (symbolic links followed); 0 when
// it cannot be looked at.
std::size_t size_of_file(const std::string& name);

}  // namespace gf3mq

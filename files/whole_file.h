// Writing one file whole or not at all. The order of the system calls:
//
//   lstat(path)                 refuse a path that holds anything but a regular file
//   openat(folder, temporary, O_CREAT | O_EXCL | O_NOFOLLOW)
//   write ... fsync, close      the content, on disk under the temporary's name
//   rename(temporary, path)     (or link, then unlink, when an existing file must stay)
//   fsync(folder)               the new name on disk
//
// A reader thus finds at path either the old file or the whole new one.
#pragma once

#include <sys/types.h>

#include <functional>
#include <string>

#include "files/file_problem.h"
#include "files/temp_file.h"

namespace gf3mq {

enum class Placement {
  replace,      // the new file takes the place of an existing one (rename)
  create_only,  // an existing file is never replaced: refused instead (link)
};

// Puts a synced temporary (temp.sync_and_close done) at path, in the same
// folder; the folder is not synced. False with problem naming path. The
// temporary is kept under path on success, still removable otherwise.
// placed, when given, says whether path holds the new file: it does when
// only the removal of the temporary's own name failed.
bool put_in_place(TempFile& temp, const std::string& path, Placement placement, FileProblem* problem,
                  bool* placed = nullptr);

// Refuses, naming path, when something other than a regular file lies at it
// (a device, a FIFO, a folder, a symbolic link); true when nothing does.
bool path_free_or_regular(const std::string& path, FileProblem* problem);

// The steps of write_whole_file once the content is in temp (created in
// the folder of path), whoever wrote it through temp.fd(): sync and close,
// path looked at again, the temporary put in place, the folder synced.
bool finish_whole_file(TempFile& temp, const std::string& path, Placement placement, FileProblem* problem);

// Writes the file at path with the given mode through write(fd), as above.
// write returns false with errno set when it fails. False with problem
// naming path when any step fails; nothing has changed at path then.
bool write_whole_file(const std::string& path, mode_t mode, Placement placement,
                      const std::function<bool(int fd)>& write, FileProblem* problem);

}  // namespace gf3mq

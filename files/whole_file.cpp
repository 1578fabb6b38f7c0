#include "files/whole_file.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "files/folder.h"
#include "files/posix_io.h"

namespace gf3mq {

bool path_free_or_regular(const std::string& path, FileProblem* problem) {
  struct stat info {};
  if (lstat(path.c_str(), &info) != 0) {
    if (errno == ENOENT) return true;
    return report_problem(problem, path, "cannot be looked at: " + error_text(errno));
  }
  if (S_ISREG(info.st_mode)) return true;
  return report_problem(
      problem, path, "is " + describe_file_type(info.st_mode & S_IFMT) + ", not a regular file: it is left as it is");
}

bool put_in_place(TempFile& temp, const std::string& path, Placement placement, FileProblem* problem, bool* placed) {
  const std::string from = temp.path();
  bool unused = false;
  bool& in_place = placed != nullptr ? *placed : unused;
  in_place = false;
  if (placement == Placement::replace) {
    if (rename(from.c_str(), path.c_str()) != 0)
      return report_problem(problem, path, "could not be replaced: " + error_text(errno));
    temp.keep();
    in_place = true;
    return true;
  }
  // link() refuses to replace a file that appeared in the meantime.
  if (link(from.c_str(), path.c_str()) != 0)
    return report_problem(problem, path, "could not be created: " + error_text(errno));
  in_place = true;
  if (!temp.discard())
    return report_problem(problem, path,
                          "is in place, but its temporary \"" + from + "\" could not be removed: " + error_text(errno));
  return true;
}

bool write_whole_file(const std::string& path, mode_t mode, Placement placement,
                      const std::function<bool(int fd)>& write, FileProblem* problem) {
  if (!path_free_or_regular(path, problem)) return false;
  TempFile temp;
  if (!temp.create_in(folder_of(path), path, mode, problem)) return false;
  errno = 0;
  if (!write(temp.fd()))  // a writer that fails without an error: EIO
    return report_problem(problem, path, "could not be written completely: " + error_text(errno != 0 ? errno : EIO));
  return finish_whole_file(temp, path, placement, problem);
}

bool finish_whole_file(TempFile& temp, const std::string& path, Placement placement, FileProblem* problem) {
  if (!temp.sync_and_close(path, problem)) return false;
  // The path may have changed while the content was written.
  if (!path_free_or_regular(path, problem) || !put_in_place(temp, path, placement, problem)) return false;
  FileProblem sync;
  if (sync_folder(folder_of(path), &sync)) return true;
  return report_problem(problem, path, "was written, but its folder " + sync.message() + "; it may not be on disk");
}

}  // namespace gf3mq

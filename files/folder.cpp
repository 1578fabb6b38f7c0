#include "files/folder.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace gf3mq {

std::string folder_of(const std::string& path) {
  const auto slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

bool sync_folder(const std::string& dir, FileProblem* problem) {
  const int fd = open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  int error = fd < 0 ? errno : 0;
  if (fd >= 0 && fsync(fd) != 0) error = errno;
  if (fd >= 0) close(fd);
  return error == 0 ||
         report_problem(problem, dir == "." ? working_directory() : dir, "could not be synced: " + error_text(error));
}

std::string working_directory() {
  char path[4096];
  return getcwd(path, sizeof path) != nullptr ? std::string(path) : std::string(".");
}

bool folder_writable_by_others(const std::string& dir, unsigned* mode) {
  struct stat info {};
  if (stat(dir.c_str(), &info) != 0) return false;
  if (mode != nullptr) *mode = info.st_mode & 07777;
  return (info.st_mode & 022) != 0;
}

OwnFile look_at(const std::string& name) {
  struct stat info {};
  // Something may be there that cannot be looked at.
  if (lstat(name.c_str(), &info) != 0) return {.exists = errno != ENOENT};
  return {.exists = true,
          .regular = S_ISREG(info.st_mode),
          .own = info.st_uid == geteuid(),
          .mode = info.st_mode & 07777,
          .inode = info.st_ino};
}

int lookup_error(const std::string& name) { return access(name.c_str(), F_OK) == 0 ? 0 : errno; }

bool remove_name(const std::string& name) { return unlink(name.c_str()) == 0; }

std::size_t size_of_file(const std::string& name) {
  struct stat info {};
  return stat(name.c_str(), &info) == 0 ? static_cast<std::size_t>(info.st_size) : 0;
}

}  // namespace gf3mq

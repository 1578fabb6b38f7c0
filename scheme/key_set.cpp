#include "scheme/key_set.h"

#include "scheme/key_files.h"

namespace gf3mq {

const std::vector<std::string>& key_set_files() {
  static const std::vector<std::string> names = {kMatAFile, kV1File,   kMatBFile,      kV2File,
                                                 kInvAFile, kInvBFile, kPublicKeyFile, kSecretKeyFile};
  return names;
}

bool finish_unfinished_key_set(FileProblem* problem) { return finish_unfinished_replacement(key_set_files(), problem); }

bool lock_key_set_for_reading(FolderLock& lock, FileProblem* problem) {
  for (;;) {
    if (!lock.acquire(FolderLock::Mode::shared, problem)) return false;
    if (!journal_present()) return true;
    // A killed key generation left its journal: finish it alone, then read.
    if (!lock.acquire(FolderLock::Mode::exclusive, problem)) return false;
    if (!finish_unfinished_key_set(problem)) {
      lock.release();
      return false;
    }
  }
}

}  // namespace gf3mq

#include "scheme/keygen.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "field/composition.h"
#include "field/field_tables.h"
#include "scheme/key_files.h"

namespace {

using gf3mq::FileProblem;
using gf3mq::kDegree;

void report(FileProblem* problem, std::string file, std::string what) {
  if (problem != nullptr) *problem = FileProblem{std::move(file), std::move(what)};
}

// One file of a key set: its final name, whether it is secret, and how its
// content is written (appended to a fresh temporary file).
struct KeyFile {
  const char* name;
  bool secret;
  std::function<bool(const char*)> write;
};

// Writes every file to a temporary beside its final name, flushes them to
// disk, and renames them into place only when all are complete. On failure
// removes the temporaries and leaves the existing files as they were.
bool replace_key_set(const std::vector<KeyFile>& files, FileProblem* problem) {
  std::vector<std::string> temps;
  auto discard = [&temps] {
    for (const std::string& temp : temps) unlink(temp.c_str());
  };
  const mode_t mask = umask(0);
  umask(mask);
  for (const KeyFile& file : files) {
    std::string temp = std::string(file.name) + ".tmp-XXXXXX";
    const int fd = mkstemp(temp.data());  // created with mode 0600
    if (fd < 0) {
      report(problem, file.name, std::string("cannot be written: ") + std::strerror(errno));
      discard();
      return false;
    }
    temps.push_back(temp);
    const bool mode_ok = file.secret || fchmod(fd, 0666 & ~mask) == 0;
    close(fd);
    bool ok = mode_ok && file.write(temp.c_str());
    if (ok) {
      const int sync_fd = open(temp.c_str(), O_RDONLY);
      ok = sync_fd >= 0 && fsync(sync_fd) == 0;
      if (sync_fd >= 0) close(sync_fd);
    }
    if (!ok) {
      report(problem, file.name, "could not be written completely (is the disk full?)");
      discard();
      return false;
    }
  }
  // A final name held by something other than a plain file would stop the
  // renames half-way: find that out before the first one.
  for (const KeyFile& file : files) {
    struct stat info {};
    if (lstat(file.name, &info) == 0 && !S_ISREG(info.st_mode)) {
      report(problem, file.name, "is not a regular file and cannot be replaced");
      discard();
      return false;
    }
  }
  for (std::size_t i = 0; i < files.size(); ++i) {
    if (rename(temps[i].c_str(), files[i].name) != 0) {
      report(problem, files[i].name, std::string("could not be replaced: ") + std::strerror(errno));
      for (std::size_t j = i; j < temps.size(); ++j) unlink(temps[j].c_str());
      return false;
    }
  }
  const int dir_fd = open(".", O_RDONLY | O_DIRECTORY);
  if (dir_fd >= 0) {
    fsync(dir_fd);
    close(dir_fd);
  }
  return true;
}

bool draw_map(Mat_ZZ_p& M, Vec_ZZ_p& v, gf3mq::Gf3Source& source, FileProblem* problem) {
  if (random_affine_map(M, v, source) == 0) return true;
  report(problem, "", "the random generator failed: " + source.error());
  return false;
}

}  // namespace

int keygen(unsigned char* pk, unsigned char* sk, FileProblem* problem) {
  gf3mq::SystemGf3Source source;
  return keygen(pk, sk, source, problem);
}

int keygen(unsigned char* pk, unsigned char* sk, gf3mq::Gf3Source& source, FileProblem* problem) {
  if (pk == nullptr || sk == nullptr) return -1;

  // The tables come first: without them no key can be made.
  Mat_ZZ_p Xi_modIrred = gf3mq::make_reduction_table();
  Mat_ZZ_p X_27i_modIrred = gf3mq::make_frobenius_table();
  if (!gf3mq::load_reduction_table(Xi_modIrred, problem) || !gf3mq::load_frobenius_table(X_27i_modIrred, problem))
    return -1;

  Mat_ZZ_p mat_A(kDegree, kDegree), mat_B(kDegree, kDegree);
  Vec_ZZ_p V1(kDegree), V2(kDegree);
  if (!draw_map(mat_A, V1, source, problem) || !draw_map(mat_B, V2, source, problem)) return -1;
  const Mat_ZZ_p A_Inv = inverse(mat_A);
  const Mat_ZZ_p B_Inv = inverse(mat_B);

  const Mat_ZZ_p A_X = augment_affine_map(mat_B, V2);
  Mat_ZZ_p A_X3_Sum(kDegree, gf3mq::kPositions), A_X27_Sum(kDegree, gf3mq::kPositions);
  symbolic_cube(A_X, Xi_modIrred, A_X3_Sum);
  symbolic_pow27(A_X, X_27i_modIrred, A_X27_Sum);
  // The public forms are made one at a time while "new pk.txt" is written:
  // each is taken its diagonal sum (SK), folded and appended.
  ByteList SK;
  SK.reserve(kDegree);
  auto write_public_key = [&](const char* file_name) {
    gf3mq::DigitFileAppender fout_Pk(file_name);
    if (!fout_Pk.is_open()) return false;
    for_each_public_form(mat_A, V1, A_X27_Sum, A_X3_Sum, Xi_modIrred, [&](int, Mat_ZZ_p& form) {
      SK.push_back(gf3mq::diagonal_sum(form));
      gf3mq::fold_form(form);
      fout_Pk.append(form.data(), gf3mq::kFormBytes);
    });
    return fout_Pk.close();
  };

  const std::vector<KeyFile> files = {
      {gf3mq::kMatAFile, true, [&](const char* f) { return mat_A.save(f); }},
      {gf3mq::kV1File, true, [&](const char* f) { return V1.save(f); }},
      {gf3mq::kMatBFile, true, [&](const char* f) { return mat_B.save(f); }},
      {gf3mq::kV2File, true, [&](const char* f) { return V2.save(f); }},
      {gf3mq::kInvAFile, true, [&](const char* f) { return A_Inv.save(f); }},
      {gf3mq::kInvBFile, true, [&](const char* f) { return B_Inv.save(f); }},
      {gf3mq::kPublicKeyFile, false, write_public_key},
      {gf3mq::kSecretKeyFile, true, [&](const char* f) { return SK.size() == kDegree && write_sk(f, SK) == 1; }},
  };
  const bool written = replace_key_set(files, problem);
  gf3mq::secure_wipe(SK.data(), SK.size());  // the other secrets wipe themselves
  if (!written) return -1;
  if (read_pk(gf3mq::kPublicKeyFile, pk, problem) != 1 || read_sk(gf3mq::kSecretKeyFile, sk, problem) != 1) return -1;
  return 0;
}

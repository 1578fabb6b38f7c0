// The rooms of the source tree: each layer includes only itself and the
// layers below it (runtime, files, linalg, field, scheme, inspect, attack,
// then the programs), and the libraries write to standard output only where
// their routines are meant to print.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <set>

namespace {

namespace fs = std::filesystem;

// Rank of each folder; a file may include a folder of its rank or below.
const std::map<std::string, int> kRank = {{"runtime", 0}, {"files", 1},   {"linalg", 2}, {"field", 3},
                                          {"scheme", 4},  {"inspect", 5}, {"attack", 6}, {"app", 7}};

std::vector<std::string> sources_of(const std::string& folder) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(fs::path(GF3MQ_SOURCE_DIR) / folder)) {
    const std::string ext = entry.path().extension().string();
    if (ext == ".h" || ext == ".cpp") names.push_back(folder + "/" + entry.path().filename().string());
  }
  return names;
}

std::string text_of(const std::string& name) {
  std::ifstream in(fs::path(GF3MQ_SOURCE_DIR) / name);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

TEST(LayeringTest, NoLayerIncludesALayerAboveIt) {
  const std::regex include("#include \"([a-z]+)/[^\"]+\"");
  int files = 0;
  for (const auto& [folder, rank] : kRank) {
    for (const std::string& name : sources_of(folder)) {
      ++files;
      const std::string text = text_of(name);
      for (std::sregex_iterator it(text.begin(), text.end(), include), end; it != end; ++it) {
        const std::string target = (*it)[1];
        ASSERT_EQ(kRank.count(target), 1u) << name << " includes from " << target;
        EXPECT_LE(kRank.at(target), rank) << name << " includes " << (*it)[0];
      }
    }
  }
  EXPECT_GT(files, 50);
}

TEST(LayeringTest, OnlyTheRoutinesMeantToPrintWriteToStandardOutput) {
  // The console forms of vectors and matrices and encrypt_vec print; no
  // other library routine does.
  const std::set<std::string> printing = {"linalg/vec_zz_p.cpp", "scheme/encrypt.cpp"};
  for (const char* folder : {"runtime", "files", "linalg", "field", "scheme", "inspect", "attack"}) {
    for (const std::string& name : sources_of(folder)) {
      const std::string text = text_of(name);
      const bool writes = text.find("std::cout") != std::string::npos || text.find("stdout") != std::string::npos ||
                          std::regex_search(text, std::regex("[^n]printf\\("));
      EXPECT_EQ(writes, printing.count(name) != 0) << name;
    }
  }
}

}  // namespace

// The rooms of the source tree: each room's files include only headers of
// their own room and of the rooms their target links, as the build's link
// graph (layers.txt: target|room|sources|links) says; the libraries write to
// standard output only where their routines are meant to print.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <sstream>

namespace {

namespace fs = std::filesystem;

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

std::vector<std::string> split(const std::string& text, char sep) {
  std::vector<std::string> parts;
  std::stringstream in(text);
  for (std::string part; std::getline(in, part, sep);) parts.push_back(part);
  return parts;
}

struct Target {
  std::string room;
  std::vector<std::string> sources;
  std::set<std::string> links;  // gf3mq_* libraries, closed transitively
};

std::map<std::string, Target> link_graph() {
  std::map<std::string, Target> graph;
  std::ifstream in(GF3MQ_BUILD_DIR "/layers.txt");
  for (std::string line; std::getline(in, line);) {
    const auto fields = split(line, '|');
    if (fields.size() < 3) continue;
    Target& t = graph[fields[0]];
    t.room = fields[1];
    t.sources = split(fields[2], ';');
    if (fields.size() > 3)
      for (const std::string& link : split(fields[3], ';'))
        if (link.rfind("gf3mq_", 0) == 0) t.links.insert(link);
  }
  for (bool grew = true; grew;) {
    grew = false;
    for (auto& [name, t] : graph)
      for (const std::string& link : std::set<std::string>(t.links))
        for (const std::string& further : graph[link].links) grew |= t.links.insert(further).second;
  }
  return graph;
}

// Every include of `name` (of a target that sees `rooms`) names one of them.
void expect_includes_within(const std::string& name, const std::set<std::string>& rooms) {
  const std::string text = text_of(name);
  const std::regex include("#include \"([^\"]+)\"");
  for (std::sregex_iterator it(text.begin(), text.end(), include), end; it != end; ++it) {
    const std::string path = (*it)[1];
    EXPECT_EQ(path.find(".."), std::string::npos) << name << " includes " << path;
    const std::string room = path.substr(0, path.find('/'));
    EXPECT_EQ(rooms.count(room), 1u) << name << " includes " << path << " from a room its target does not link";
  }
}

TEST(LayeringTest, EveryIncludeNamesARoomTheTargetLinks) {
  const auto graph = link_graph();
  ASSERT_GT(graph.size(), 8u) << "layers.txt";
  auto rooms_seen_by = [&](const Target& t) {
    std::set<std::string> rooms = {t.room};
    for (const std::string& link : t.links) rooms.insert(graph.at(link).room);
    return rooms;
  };
  std::set<std::string> checked;
  for (const auto& [name, t] : graph) {
    for (const std::string& source : t.sources) {
      expect_includes_within(t.room + "/" + source, rooms_seen_by(t));
      checked.insert(t.room + "/" + source);
    }
    if (name != "gf3mq_" + t.room) continue;  // the room's headers belong to its library
    for (const std::string& header : sources_of(t.room))
      if (header.ends_with(".h")) {
        expect_includes_within(header, rooms_seen_by(t));
        checked.insert(header);
      }
  }
  for (const auto& [name, t] : graph)
    for (const std::string& file : sources_of(t.room)) EXPECT_EQ(checked.count(file), 1u) << file << " is in no target";
  EXPECT_GT(checked.size(), 100u);
}

TEST(LayeringTest, OnlyTheRoutinesMeantToPrintWriteToStandardOutput) {
  // The console forms of vectors and matrices and encrypt_vec print; no
  // other library routine does.
  const std::set<std::string> printing = {"linalg/vec_zz_p.cpp", "scheme/encrypt.cpp"};
  for (const char* folder : {"runtime", "files", "linalg", "field", "scheme", "learn", "attack"}) {
    for (const std::string& name : sources_of(folder)) {
      const std::string text = text_of(name);
      const bool writes = text.find("std::cout") != std::string::npos || text.find("stdout") != std::string::npos ||
                          std::regex_search(text, std::regex("[^n]printf\\("));
      EXPECT_EQ(writes, printing.count(name) != 0) << name;
    }
  }
}

}  // namespace

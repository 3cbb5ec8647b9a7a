// The layer graph as CMakeLists.txt declares it against the one
// docs/ARCHITECTURE.md draws, and against the includes of the sources: a new
// layer or use added to one and not the other fails here, as does a declared
// use nothing includes.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace r3k {
namespace {

namespace fs = std::filesystem;

struct Layer {
  std::string name;
  std::set<std::string> uses;
};
using Graph = std::vector<Layer>;  // in declaration order

std::string read_file(const fs::path& path) {
  std::ifstream in(path);
  if (!in) ADD_FAILURE() << "cannot read " << path;
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

std::vector<std::string> words(const std::string& text, const std::string& separators) {
  std::vector<std::string> found;
  std::string word;
  for (char c : text + separators.substr(0, 1)) {
    if (separators.find(c) == std::string::npos) word += c;
    else if (!word.empty()) found.push_back(std::exchange(word, {}));
  }
  return found;
}

// Every `r3k_layer(name [VIEW_ONLY] [USES a b ...])` line.
Graph cmake_graph(const std::string& text) {
  Graph graph;
  static const std::regex line(R"(^r3k_layer\((\w+)([^)]*)\)\s*$)");
  std::istringstream in(text);
  for (std::string l; std::getline(in, l);) {
    std::smatch m;
    if (!std::regex_match(l, m, line)) continue;
    Layer layer{m[1], {}};
    bool in_uses = false;
    for (const std::string& word : words(m[2], " \t")) {
      if (word == "USES") in_uses = true;
      else if (word != "VIEW_ONLY" && in_uses) layer.uses.insert(word);
    }
    graph.push_back(layer);
  }
  return graph;
}

// Every `layer -> a, b` line of the document.
Graph document_graph(const std::string& text) {
  Graph graph;
  static const std::regex line(R"(^([a-z_]+) ->([a-z_, ]*)$)");
  std::istringstream in(text);
  for (std::string l; std::getline(in, l);) {
    std::smatch m;
    if (!std::regex_match(l, m, line)) continue;
    const std::vector<std::string> uses = words(m[2], ", ");
    graph.push_back({m[1], {uses.begin(), uses.end()}});
  }
  return graph;
}

std::map<std::string, std::set<std::string>> by_name(const Graph& graph) {
  std::map<std::string, std::set<std::string>> map;
  for (const Layer& layer : graph)
    if (!map.emplace(layer.name, layer.uses).second) ADD_FAILURE() << "layer " << layer.name << " appears twice";
  return map;
}

std::string text_of(const std::map<std::string, std::set<std::string>>& graph) {
  std::string text;
  for (const auto& [name, uses] : graph) {
    text += name + " ->";
    for (const std::string& use : uses) text += " " + use;
    text += "\n";
  }
  return text;
}

const fs::path kSourceDir = R3K_SOURCE_DIR;

Graph declared() { return cmake_graph(read_file(kSourceDir / "CMakeLists.txt")); }

TEST(LayerGraph, TheDocumentDrawsTheGraphTheBuildDeclares) {
  const Graph cmake = declared();
  ASSERT_GE(cmake.size(), 2u) << "no r3k_layer lines read from CMakeLists.txt";
  const Graph document = document_graph(read_file(kSourceDir / "docs" / "ARCHITECTURE.md"));
  EXPECT_EQ(text_of(by_name(document)), text_of(by_name(cmake)))
      << "docs/ARCHITECTURE.md (left) and CMakeLists.txt (right) disagree";
}

TEST(LayerGraph, EveryLayerUsesOnlyLayersDeclaredBeforeIt) {
  std::set<std::string> earlier;
  for (const Layer& layer : declared()) {
    for (const std::string& use : layer.uses)
      EXPECT_TRUE(earlier.count(use)) << layer.name << " uses " << use << ", which is not declared before it";
    earlier.insert(layer.name);
  }
}

// A declared use the sources never include is a dependency the graph only
// claims; the layers seen through another use need not be named again.
TEST(LayerGraph, EveryDeclaredUseIsIncluded) {
  static const std::regex include(R"re(#include "(\w+)/)re");
  for (const Layer& layer : declared()) {
    std::set<std::string> included;
    for (const fs::directory_entry& file : fs::directory_iterator(kSourceDir / "src" / layer.name)) {
      const std::string text = read_file(file.path());
      for (std::sregex_iterator it(text.begin(), text.end(), include), end; it != end; ++it)
        included.insert((*it)[1]);
    }
    for (const std::string& use : layer.uses)
      EXPECT_TRUE(included.count(use)) << layer.name << " declares a use of " << use << " but includes none of it";
  }
}

}  // namespace
}  // namespace r3k

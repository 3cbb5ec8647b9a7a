// The documentation's examples are run, its links followed and its command
// pages held against the tool's own usage and --help, so that a changed
// output, a renamed file or a new option shows here rather than to a reader.
//
// An example is a fenced block with the info string `console`: a line
// starting "$ " is a command run by /bin/sh, the lines after it (up to the
// next command or the block's end) its expected standard output followed by
// its standard error, where a line "..." stands for any number of lines. A
// command with no lines after it is not checked for output. A trailing
// "# exit N" says the exit code expected (0 otherwise). The commands of one
// page run in order in one fresh directory, with `r3kcheck` on PATH being
// the tool under test.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <regex>
#include <set>
#include <string>
#include <vector>

#include "support/tools.h"

namespace r3k {
namespace {

namespace fs = std::filesystem;

const fs::path kSource = R3K_SOURCE_DIR;

// README.md and every page under docs/, in a stable order.
std::vector<fs::path> pages() {
  std::vector<fs::path> found{kSource / "README.md"};
  for (const auto& entry : fs::recursive_directory_iterator(kSource / "docs"))
    if (entry.is_regular_file() && entry.path().extension() == ".md") found.push_back(entry.path());
  std::sort(found.begin() + 1, found.end());
  return found;
}

std::vector<std::string> lines_of(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    while (!line.empty() && (line.back() == ' ' || line.back() == '\r')) line.pop_back();
    lines.push_back(line);
    start = end + 1;
  }
  return lines;
}

std::string trimmed(const std::string& line) {
  const size_t first = line.find_first_not_of(" \t");
  return first == std::string::npos ? "" : line.substr(first);
}

struct Example {
  int line = 0;  // of the command in its page
  std::string command;
  int exit_code = 0;
  bool check_output = false;
  std::vector<std::string> output;
};

std::vector<Example> examples_of(const std::string& text) {
  static const std::regex exit_note(R"(^(.*?)\s+# exit (\d+)$)");
  std::vector<Example> examples;
  bool in_console = false;
  std::string fence;  // the backticks that opened the block we are in, if any
  const std::vector<std::string> lines = lines_of(text);
  for (size_t i = 0; i < lines.size(); ++i) {
    const std::string& line = lines[i];
    if (line.rfind("```", 0) == 0) {
      const std::string ticks = line.substr(0, line.find_first_not_of('`'));
      if (fence.empty()) {
        fence = ticks;
        in_console = trimmed(line.substr(ticks.size())) == "console";
        continue;
      }
      // A longer fence can show a shorter one as text; only its own closes it.
      if (ticks == fence && trimmed(line.substr(ticks.size())).empty()) {
        fence.clear();
        in_console = false;
        continue;
      }
    }
    if (!in_console) continue;
    if (line.rfind("$ ", 0) == 0) {
      Example example;
      example.line = static_cast<int>(i + 1);
      example.command = line.substr(2);
      std::smatch m;
      const std::string command = example.command;  // the match points into it
      if (std::regex_match(command, m, exit_note)) {
        example.command = m[1];
        example.exit_code = std::stoi(m[2]);
      }
      examples.push_back(example);
    } else if (!examples.empty()) {
      examples.back().check_output = true;
      examples.back().output.push_back(line);
    }
  }
  return examples;
}

// Whether `actual` is `expected` with each "..." standing for any run of lines.
bool matches(const std::vector<std::string>& expected, size_t e, const std::vector<std::string>& actual, size_t a) {
  if (e == expected.size()) return a == actual.size();
  if (trimmed(expected[e]) == "...") {
    for (size_t skip = a; skip <= actual.size(); ++skip)
      if (matches(expected, e + 1, actual, skip)) return true;
    return false;
  }
  return a < actual.size() && expected[e] == actual[a] && matches(expected, e + 1, actual, a + 1);
}

std::string joined(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) text += line + "\n";
  return text;
}

std::string page_name(const fs::path& page) { return fs::relative(page, kSource).string(); }

TEST(DocsExamples, EveryConsoleExampleRunsAsShown) {
  size_t examples_run = 0;
  for (const fs::path& page : pages()) {
    const std::vector<Example> examples = examples_of(test::read_text(page.string()));
    if (examples.empty()) continue;
    test::TempDir dir;
    fs::create_directory(dir.path("bin"));
    fs::create_symlink(R3K_TOOL_PATH, dir.path("bin/r3kcheck"));
    for (const Example& example : examples) {
      SCOPED_TRACE(page_name(page) + ":" + std::to_string(example.line) + ": $ " + example.command);
      const test::CommandResult result = test::run_command("(cd '" + dir.dir() + "' && PATH='" + dir.path("bin") +
                                                           "':\"$PATH\" && " + example.command + ")");
      ++examples_run;
      EXPECT_EQ(result.exit_code, example.exit_code) << result.out << result.err;
      if (!example.check_output) continue;
      const std::vector<std::string> actual = lines_of(result.out + result.err);
      EXPECT_TRUE(matches(example.output, 0, actual, 0))
          << "expected:\n" << joined(example.output) << "got:\n" << joined(actual);
    }
  }
  // The pages hold dozens; none found means the marking changed under us.
  EXPECT_GE(examples_run, 40u);
}

// The parts of the runner a wrong page could slip through.
TEST(DocsExamples, ExamplesAreReadAsDocumented) {
  const std::vector<Example> examples = examples_of(
      "```console\n$ r3kcheck a\none\n...\n$ r3kcheck b  # exit 2\n```\n"
      "```sh\n$ not an example\n```\n    $ nor this\n```console\n$ r3kcheck c\n```\n"
      "````\n```console\n$ shown, not run\n```\n````\n");
  ASSERT_EQ(examples.size(), 3u);
  EXPECT_EQ(examples[0].command, "r3kcheck a");
  EXPECT_EQ(examples[0].output, (std::vector<std::string>{"one", "..."}));
  EXPECT_EQ(examples[1].command, "r3kcheck b");
  EXPECT_EQ(examples[1].exit_code, 2);
  EXPECT_FALSE(examples[1].check_output);
  EXPECT_EQ(examples[2].line, 12);
  const std::vector<std::string> actual{"a", "b", "c"};
  EXPECT_TRUE(matches({"a", "...", "c"}, 0, actual, 0));
  EXPECT_TRUE(matches({"...", "a", "b", "c", "..."}, 0, actual, 0));
  EXPECT_FALSE(matches({"a", "b"}, 0, actual, 0));  // output beyond the shown lines needs a "..."
  EXPECT_FALSE(matches({"a", "...", "d"}, 0, actual, 0));
}

// Every [text](target) and ![alt](target) outside code, relative to its page.
std::vector<std::pair<int, std::string>> links_of(const std::string& text) {
  static const std::regex link(R"(\]\(([^)\s]+)\))");
  std::vector<std::pair<int, std::string>> links;
  bool in_fence = false;
  int number = 0;
  for (const std::string& line : lines_of(text)) {
    ++number;
    if (line.rfind("```", 0) == 0) in_fence = !in_fence;
    if (in_fence || line.rfind("    ", 0) == 0) continue;
    // Inline code spans may show link-like text; drop them first.
    const std::string prose = std::regex_replace(line, std::regex("`[^`]*`"), "");
    for (std::sregex_iterator it(prose.begin(), prose.end(), link), end; it != end; ++it)
      links.emplace_back(number, (*it)[1]);
  }
  return links;
}

// The anchors a page's headings get, as GitHub makes them: lower case, only
// letters, digits, '-' and '_' kept, each blank a '-'.
std::set<std::string> anchors_of(const std::string& text) {
  std::set<std::string> anchors;
  bool in_fence = false;
  for (const std::string& line : lines_of(text)) {
    if (line.rfind("```", 0) == 0) in_fence = !in_fence;
    if (in_fence || line.empty() || line[0] != '#') continue;
    const std::string title = trimmed(line.substr(line.find_first_not_of('#')));
    std::string anchor;
    for (const char c : title) {
      if (std::isalnum(static_cast<unsigned char>(c))) anchor += static_cast<char>(std::tolower(c));
      else if (c == '-' || c == '_') anchor += c;
      else if (c == ' ') anchor += '-';
    }
    anchors.insert(anchor);
  }
  return anchors;
}

TEST(DocsLinks, EveryRelativeLinkNamesAFileAndHeading) {
  size_t checked = 0;
  for (const fs::path& page : pages()) {
    for (const auto& [line, target] : links_of(test::read_text(page.string()))) {
      if (target.find("://") != std::string::npos || target.rfind("mailto:", 0) == 0) continue;
      const size_t hash = target.find('#');
      const fs::path file = hash == 0 ? page : page.parent_path() / target.substr(0, hash);
      ++checked;
      const std::string where = page_name(page) + ":" + std::to_string(line) + ": " + target;
      if (!fs::exists(file)) {
        ADD_FAILURE() << where << " names no file";
        continue;
      }
      if (hash == std::string::npos || file.extension() != ".md") continue;
      EXPECT_TRUE(anchors_of(test::read_text(file.string())).count(target.substr(hash + 1)))
          << where << " names no heading";
    }
  }
  EXPECT_GE(checked, 50u);
}

// The subcommands the usage lists: "  name  text" lines under "commands:".
std::vector<std::string> listed_commands() {
  const test::CommandResult usage = test::run_command(std::string(R3K_TOOL_PATH) + " --help");
  std::vector<std::string> names;
  bool in_list = false;
  static const std::regex entry(R"(^  ([a-z][a-z-]*)\s.*)");
  for (const std::string& line : lines_of(usage.out)) {
    if (line == "commands:") in_list = true;
    else if (line.empty()) in_list = false;
    std::smatch m;
    if (in_list && std::regex_match(line, m, entry)) names.push_back(m[1]);
  }
  return names;
}

TEST(DocsCommands, EveryCommandHasAPageNamingAllItsOptions) {
  const std::vector<std::string> commands = listed_commands();
  ASSERT_GE(commands.size(), 8u);
  static const std::regex option(R"(--[a-z][a-z-]*)");
  for (const std::string& command : commands) {
    const fs::path page = kSource / "docs/commands" / (command + ".md");
    ASSERT_TRUE(fs::exists(page)) << command << " has no page " << page_name(page);
    const std::string text = test::read_text(page.string());
    const test::CommandResult help = test::run_command(std::string(R3K_TOOL_PATH) + " " + command + " --help");
    ASSERT_EQ(help.exit_code, 0) << command;
    for (std::sregex_iterator it(help.out.begin(), help.out.end(), option), end; it != end; ++it)
      EXPECT_TRUE(std::regex_search(text, std::regex(it->str() + "(?![a-z-])")))
          << page_name(page) << " does not name " << it->str();
    EXPECT_NE(text.find("## Synopsis"), std::string::npos) << page_name(page);
    EXPECT_NE(text.find("## Exit codes"), std::string::npos) << page_name(page);
    // The README's one line per command links its page.
    EXPECT_NE(test::read_text((kSource / "README.md").string()).find("(docs/commands/" + command + ".md)"),
              std::string::npos) << command;
  }
}

}  // namespace
}  // namespace r3k

#include "support/tools.h"

#include <unistd.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <sys/wait.h>

namespace r3k::test {

std::string find_program(const std::string& name) {
  const char* path = std::getenv("PATH");
  if (!path) return "";
  std::stringstream dirs(path);
  std::string dir;
  while (std::getline(dirs, dir, ':')) {
    const std::string candidate = dir + "/" + name;
    if (!dir.empty() && access(candidate.c_str(), X_OK) == 0) return candidate;
  }
  return "";
}

CommandResult run_command(const std::string& command_line) {
  TempDir scratch;
  const std::string out = scratch.path("out"), err = scratch.path("err");
  const int status = std::system((command_line + " >" + out + " 2>" + err).c_str());
  CommandResult result;
  result.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  result.out = read_text(out);
  result.err = read_text(err);
  return result;
}

TempDir::TempDir() {
  std::string pattern = (std::filesystem::temp_directory_path() / "r3k-test-XXXXXX").string();
  if (!mkdtemp(pattern.data())) throw std::runtime_error("cannot make a temporary directory");
  dir_ = pattern;
}

TempDir::~TempDir() {
  std::error_code ignored;
  std::filesystem::remove_all(dir_, ignored);
}

std::string normalise_disassembly(const std::string& text) {
  std::string out;
  for (size_t i = 0; i < text.size();) {
    const char c = text[i];
    if (c == '<') {
      while (i < text.size() && text[i] != '>') ++i;
      ++i;
    } else if (c == '$' || c == ' ' || c == '\t') {
      if (c != '$' && !out.empty() && out.back() != ' ' && out.back() != ',') out += ' ';
      ++i;
    } else if ((std::isdigit(static_cast<unsigned char>(c)) || c == '-') &&
               (out.empty() || !std::isalnum(static_cast<unsigned char>(out.back())))) {
      char* end = nullptr;
      const long long value = std::strtoll(text.c_str() + i, &end, 0);
      out += std::to_string(value);
      i = static_cast<size_t>(end - text.c_str());
    } else {
      if (c == ',' && !out.empty() && out.back() == ' ') out.pop_back();
      out += c;
      ++i;
    }
  }
  while (!out.empty() && out.back() == ' ') out.pop_back();
  return out;
}

std::string normalise_objdump(const std::string& text) {
  // In a file with symbols objdump writes branch and jump targets as eight
  // bare hex digits ("bfc0038c <locate>").
  std::string raw = text.substr(0, text.find('<'));
  while (!raw.empty() && std::isspace(static_cast<unsigned char>(raw.back()))) raw.pop_back();
  const size_t start = raw.find_last_of(",\t ") + 1;
  if (raw.size() - start == 8 && raw.find_first_not_of("0123456789abcdef", start) == std::string::npos)
    raw.insert(start, "0x");
  std::string line = normalise_disassembly(raw);
  for (size_t at; (at = line.find("s8")) != std::string::npos;) line.replace(at, 2, "fp");
  if (line.starts_with("div")) {
    const size_t at = line.find(" zero,");
    if (at != std::string::npos) line.erase(at + 1, 5);
  }
  return line;
}

std::map<uint32_t, std::string> objdump_lines(const std::string& listing) {
  std::map<uint32_t, std::string> lines;
  std::istringstream input(listing);
  for (std::string line; std::getline(input, line);) {
    // "bfc00010:\t8d2afffc \tlw\tt2,-4(t1)"
    const size_t colon = line.find(':');
    if (colon == std::string::npos || colon == 0 || line.find_first_not_of(" 0123456789abcdef") != colon) continue;
    std::istringstream fields(line.substr(colon + 1));
    std::string encoding, rest;
    fields >> encoding;
    if (encoding.size() != 8) continue;
    std::getline(fields, rest);
    lines[static_cast<uint32_t>(std::stoul(line.substr(0, colon), nullptr, 16))] = rest;
  }
  return lines;
}

void write_bytes(const std::string& path, const std::vector<unsigned char>& bytes) {
  std::ofstream file(path, std::ios::binary);
  file.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

std::string read_text(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  std::stringstream text;
  text << file.rdbuf();
  return text.str();
}

}  // namespace r3k::test

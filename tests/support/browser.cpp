#include "support/browser.h"

#include <cctype>
#include <set>
#include <vector>

#include "support/tools.h"

namespace r3k::test {

namespace {

std::string chromium() {
  for (const char* name : {"chromium", "chromium-browser"})
    if (std::string path = find_program(name); !path.empty()) return path;
  return "";
}

}  // namespace

Rendered render_page(const std::string& html_path, const std::string& png_path, int width, int height) {
  Rendered rendered;
  const std::string browser = chromium();
  if (browser.empty()) {
    rendered.skipped = "chromium is not installed (Debian package chromium)";
    return rendered;
  }
  // --no-sandbox: the tests may run as root; no profile is kept between runs.
  TempDir profile;
  const std::string common = browser + " --headless --no-sandbox --disable-gpu --no-first-run --user-data-dir=" +
                             profile.dir() + " --window-size=" + std::to_string(width) + "," + std::to_string(height);
  const CommandResult dom = run_command(common + " --dump-dom 'file://" + html_path + "'");
  if (dom.exit_code != 0 || dom.out.find("<html") == std::string::npos) {
    rendered.error = "chromium --dump-dom failed (exit " + std::to_string(dom.exit_code) + "): " + dom.err.substr(0, 400);
    return rendered;
  }
  rendered.dom = dom.out;
  if (!png_path.empty()) {
    const CommandResult shot = run_command(common + " --screenshot='" + png_path + "' 'file://" + html_path + "'");
    if (shot.exit_code != 0) rendered.error = "chromium --screenshot failed: " + shot.err.substr(0, 400);
  }
  return rendered;
}

std::string html_structure_problem(const std::string& html) {
  static const std::set<std::string> kVoid = {"meta", "br", "hr", "img", "input", "link", "col", "wbr"};
  std::vector<std::string> open;
  size_t i = html.find("<html");
  if (i == std::string::npos) return "no <html> element";
  while ((i = html.find('<', i)) != std::string::npos) {
    const size_t end = html.find('>', i);
    if (end == std::string::npos) return "a tag is not closed at byte " + std::to_string(i);
    const std::string tag = html.substr(i + 1, end - i - 1);
    i = end + 1;
    const bool closing = !tag.empty() && tag[0] == '/';
    size_t name_end = closing ? 1 : 0;
    while (name_end < tag.size() && (std::isalnum(static_cast<unsigned char>(tag[name_end])) || tag[name_end] == '-'))
      ++name_end;
    const std::string name = tag.substr(closing ? 1 : 0, name_end - (closing ? 1 : 0));
    for (const char* attribute : {"src=\"", "href=\""}) {
      const size_t at = tag.find(attribute);
      if (at == std::string::npos) continue;
      const std::string value = tag.substr(at + std::string(attribute).size());
      if (value.rfind('#', 0) != 0 && value.rfind("data:", 0) != 0) return "an outside reference: <" + tag + ">";
    }
    if (closing) {
      if (open.empty() || open.back() != name) return "</" + name + "> closes <" + (open.empty() ? "" : open.back()) + ">";
      open.pop_back();
    } else if (!kVoid.count(name) && tag.back() != '/') {
      open.push_back(name);
      if (name == "style" || name == "script") {  // their text is no markup
        const size_t close = html.find("</" + name + ">", i);
        if (close == std::string::npos) return "<" + name + "> is never closed";
        i = close;
      }
    }
  }
  if (!open.empty()) return "<" + open.back() + "> is never closed";
  return "";
}

size_t count_of(const std::string& haystack, const std::string& needle) {
  size_t count = 0;
  for (size_t at = haystack.find(needle); at != std::string::npos; at = haystack.find(needle, at + needle.size()))
    ++count;
  return count;
}

}  // namespace r3k::test

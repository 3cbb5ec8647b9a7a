// Looking at the tool's HTML pages as a browser and a parser would.
#pragma once

#include <string>

namespace r3k::test {

// What headless Chromium made of a page: its DOM after loading, and a
// screenshot where `png_path` is given. `skipped` names the missing program.
struct Rendered {
  std::string skipped;
  std::string dom;
  std::string error;  // why the render failed; empty when it worked
};
Rendered render_page(const std::string& html_path, const std::string& png_path = "", int width = 1600,
                     int height = 1000);

// The first structural problem of a page, or "": every element closed in
// order (void elements excepted), and no src or href that leaves the page.
std::string html_structure_problem(const std::string& html);

// How often `needle` occurs in `haystack`.
size_t count_of(const std::string& haystack, const std::string& needle);

}  // namespace r3k::test

// Static HTML pages: one file that opens in any browser without a server, a
// network or a script from elsewhere. The style is inline, pictures are
// inline SVG, and every state is told by a symbol as well as a colour, so a
// page reads in print and for the common forms of colour blindness.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace r3k::html {

// Text made safe for element content and for attribute values (xml_text).
std::string escape(std::string_view text);

// The states every page marks the same way: a colour of the Okabe-Ito set
// (told apart under the common colour blindnesses) and a symbol.
enum class Mark { good, bad, surprise, missed, unreached, neutral };
std::string_view mark_class(Mark mark);   // the CSS class, "m-good"
std::string_view mark_symbol(Mark mark);  // "✓"

// A page built in order: open an element, write text or children, close it.
// finish() closes whatever is still open and returns the document.
class Page {
 public:
  // `style` is added to the shared style sheet.
  explicit Page(std::string_view title, std::string_view style = {});

  Page& open(std::string_view tag, std::string_view attributes = {});
  Page& close();
  Page& text(std::string_view text);       // escaped
  Page& markup(std::string_view markup);   // written as it is: the caller's own tags
  // <tag attributes>text</tag>
  Page& element(std::string_view tag, std::string_view text, std::string_view attributes = {});
  // A cell or badge showing `mark`: its symbol, with `title` as the tooltip.
  Page& mark(Mark mark, std::string_view title, std::string_view tag = "span");
  // The legend of the marks used on the page, each with what it means here.
  Page& legend(const std::vector<std::pair<Mark, std::string_view>>& entries);
  // A horizontal bar of `part` out of `whole`, with its label after it.
  Page& bar(size_t part, size_t whole, std::string_view label);

  std::string finish();

 private:
  std::string document_;
  std::vector<std::string> open_;
};

// ' name="value"' with the value escaped, for building attribute lists.
std::string attribute(std::string_view name, std::string_view value);

}  // namespace r3k::html

#include "html/page.h"

#include <stdexcept>

#include "common/utf8.h"

namespace r3k::html {
namespace {

// Okabe-Ito colours; each mark also has its symbol, so nothing rests on hue.
constexpr std::string_view kStyle = R"(
:root { --good:#0072B2; --bad:#D55E00; --surprise:#E69F00; --missed:#CC79A7; --unreached:#999999; }
body { font: 14px/1.35 system-ui, sans-serif; margin: 16px; color: #111; background: #fff; }
h1 { font-size: 20px; margin: 0 0 8px; } h2 { font-size: 16px; margin: 16px 0 6px; }
table { border-collapse: collapse; }
code, .mono { font-family: ui-monospace, monospace; }
.m-good { background: var(--good); color: #fff; }
.m-bad { background: var(--bad); color: #fff; }
.m-surprise { background: var(--surprise); color: #000; }
.m-missed { background: repeating-linear-gradient(45deg, #fff 0 3px, var(--missed) 3px 5px); color: #000; }
.m-unreached { background: #eee; color: #555; }
.m-neutral { background: #fff; color: #111; }
.mark { display: inline-block; min-width: 1.2em; text-align: center; border-radius: 2px; }
.legend { display: flex; flex-wrap: wrap; gap: 14px; margin: 8px 0; }
.legend .mark { margin-right: 4px; }
.bar { display: inline-block; width: 160px; height: 10px; border: 1px solid #555; vertical-align: middle; }
.bar > span { display: block; height: 100%; background: var(--good); }
@media print { body { margin: 0; } .mark, .bar > span { -webkit-print-color-adjust: exact; print-color-adjust: exact; } }
)";

}  // namespace

std::string escape(std::string_view text) { return xml_text(text); }

std::string attribute(std::string_view name, std::string_view value) {
  return " " + std::string(name) + "=\"" + escape(value) + "\"";
}

std::string_view mark_class(Mark mark) {
  switch (mark) {
    case Mark::good: return "m-good";
    case Mark::bad: return "m-bad";
    case Mark::surprise: return "m-surprise";
    case Mark::missed: return "m-missed";
    case Mark::unreached: return "m-unreached";
    case Mark::neutral: return "m-neutral";
  }
  return "m-neutral";
}

std::string_view mark_symbol(Mark mark) {
  switch (mark) {
    case Mark::good: return "\u2713";       // check mark
    case Mark::bad: return "\u2717";        // ballot x
    case Mark::surprise: return "!";
    case Mark::missed: return "\u25CB";     // white circle
    case Mark::unreached: return "\u00B7";  // middle dot
    case Mark::neutral: return "";
  }
  return "";
}

Page::Page(std::string_view title, std::string_view style) {
  document_ = "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n<title>" + escape(title) +
              "</title>\n<style>" + std::string(kStyle) + std::string(style) + "</style>\n</head>\n";
  open("body");
}

Page& Page::open(std::string_view tag, std::string_view attributes) {
  document_ += "<" + std::string(tag) + std::string(attributes) + ">";
  open_.emplace_back(tag);
  return *this;
}

Page& Page::close() {
  if (open_.empty()) throw std::logic_error("html: close() without an open element");
  document_ += "</" + open_.back() + ">";
  if (open_.back() != "span" && open_.back() != "td" && open_.back() != "th") document_ += "\n";
  open_.pop_back();
  return *this;
}

Page& Page::text(std::string_view text) {
  document_ += escape(text);
  return *this;
}

Page& Page::markup(std::string_view markup) {
  document_ += markup;
  return *this;
}

Page& Page::element(std::string_view tag, std::string_view text, std::string_view attributes) {
  return open(tag, attributes).text(text).close();
}

Page& Page::mark(Mark mark, std::string_view title, std::string_view tag) {
  const std::string attributes = " class=\"mark " + std::string(mark_class(mark)) + "\"" + attribute("title", title);
  return element(tag, mark_symbol(mark), attributes);
}

Page& Page::legend(const std::vector<std::pair<Mark, std::string_view>>& entries) {
  open("div", " class=\"legend\"");
  for (const auto& [mark, meaning] : entries) open("span").mark(mark, meaning).text(meaning).close();
  return close();
}

Page& Page::bar(size_t part, size_t whole, std::string_view label) {
  const size_t percent = whole == 0 ? 0 : part * 100 / whole;
  open("span", " class=\"bar\"" + attribute("title", label));
  markup("<span style=\"width:" + std::to_string(percent) + "%\"></span>");
  close();
  return text(" ").text(label);
}

std::string Page::finish() {
  while (!open_.empty()) close();
  document_ += "</html>\n";
  return std::move(document_);
}

}  // namespace r3k::html

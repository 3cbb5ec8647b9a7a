#include "trace/design_trace.h"

#include <cerrno>
#include <charconv>
#include <cstring>
#include <string_view>

#include "common/error.h"
#include "common/escaped_text.h"
#include "isa/isa.h"

namespace r3k::trace {
namespace {

constexpr size_t kChunk = 1 << 16;
// No trace line comes near this; a longer one is not a trace (or the file
// has no newlines at all, as /dev/zero), and is not held whole.
constexpr size_t kMostLineBytes = 1 << 16;

std::string_view trim(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r')) text.remove_suffix(1);
  return text;
}

// The next blank-separated word of `text`, which loses it.
std::string_view take_word(std::string_view& text) {
  text = trim(text);
  size_t end = 0;
  while (end < text.size() && text[end] != ' ' && text[end] != '\t') ++end;
  const std::string_view word = text.substr(0, end);
  text.remove_prefix(end);
  return word;
}

// 1 to 8 hex digits, with or without 0x.
bool parse_hex(std::string_view text, uint32_t& value) {
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) text.remove_prefix(2);
  if (text.empty() || text.size() > 8) return false;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, 16);
  return error == std::errc{} && end == text.data() + text.size();
}

// "$t0", "t0", "$8", "r8": a name, or a number in decimal after '$' or 'r'
// as assemblers write it. With `bare_hex`, plain digits are hex, as every
// other number of a key=value line and as $display's %h prints a 5-bit
// register ("1f"); no register name is also a hex number below 0x20, so
// the two never clash.
bool parse_register(std::string_view text, unsigned& number, bool bare_hex = false) {
  const bool marked = text.starts_with('$');
  if (marked) text.remove_prefix(1);
  for (unsigned reg = 0; reg < 32; ++reg)
    if (isa::reg_name(reg).substr(1) == text) return number = reg, true;
  if (bare_hex && !marked && !text.starts_with('r')) {
    uint32_t value = 0;
    return parse_hex(text, value) && value < 32 && (number = value, true);
  }
  if (!marked && text.starts_with('r')) text.remove_prefix(1);
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), number, 10);
  return error == std::errc{} && end == text.data() + text.size() && !text.empty() && number < 32;
}

// The line without a trailing comment: '#' at the start of a word starts
// one, as it does a whole comment line.
std::string_view without_comment(std::string_view text) {
  for (size_t at = text.find('#'); at != std::string_view::npos; at = text.find('#', at + 1))
    if (at == 0 || text[at - 1] == ' ' || text[at - 1] == '\t') return text.substr(0, at);
  return text;
}

// The words of a line quoted in an error: short and escaped.
std::string quoted(std::string_view text) { return "'" + excerpt(trim(text)) + "'"; }

// "c0_sr", "$c0_cause": objdump's R3000 names, as the trace writes them.
bool parse_cop0_register(std::string_view text, unsigned& number) {
  if (text.starts_with('$')) text.remove_prefix(1);
  for (unsigned reg = 0; reg < 32; ++reg)
    if (isa::cop0_reg_name(reg) == text) return number = reg, true;
  return false;
}

}  // namespace

TraceKeys parse_key_map(const std::string& text) {
  TraceKeys keys;
  std::string_view rest = text;
  while (!rest.empty()) {
    const size_t comma = rest.find(',');
    const std::string_view pair = rest.substr(0, comma);
    rest = comma == std::string_view::npos ? std::string_view{} : rest.substr(comma + 1);
    const size_t equals = pair.find('=');
    if (equals == std::string_view::npos || equals == 0 || equals + 1 == pair.size())
      throw Error("trace-diff: bad --keys entry '" + std::string(pair) + "' (expected FIELD=KEY, e.g. pc=pc)");
    const std::string_view field = pair.substr(0, equals);
    const std::string key(pair.substr(equals + 1));
    if (field == "pc") keys.pc = key;
    else if (field == "word") keys.word = key;
    else if (field == "reg") keys.reg = key;
    else if (field == "value") keys.value = key;
    else throw Error("trace-diff: unknown --keys field '" + std::string(field) + "' (fields: pc, word, reg, value)");
  }
  return keys;
}

DesignTrace::DesignTrace(std::FILE* file, std::optional<TraceKeys> keys)
    : file_(file), keys_(std::move(keys)), buffer_(kChunk) {}

DesignTrace::Status DesignTrace::peek(const DesignLine*& line) {
  if (!has_peeked_) {
    peeked_status_ = next(peeked_);
    has_peeked_ = true;
  }
  line = &peeked_;
  return peeked_status_;
}

DesignTrace::Status DesignTrace::next(DesignLine& line) {
  if (has_peeked_) {
    has_peeked_ = false;
    if (peeked_status_ == Status::line) line = peeked_;
    return peeked_status_;
  }
  if (!error_.empty()) return Status::error;
  for (;;) {
    const Status read = read_line(line.text);
    if (read != Status::line) return read;
    line.number = line_number_;
    if (parse(line)) return Status::line;
    if (!error_.empty()) return Status::error;
  }
}

DesignTrace::Status DesignTrace::read_line(std::string& text) {
  for (;;) {
    if (const void* newline = std::memchr(buffer_.data() + begin_, '\n', end_ - begin_)) {
      const size_t at = static_cast<size_t>(static_cast<const char*>(newline) - buffer_.data());
      if (at - begin_ > kMostLineBytes) return too_long(std::string_view(buffer_.data() + begin_, at - begin_));
      text.assign(buffer_.data() + begin_, at - begin_);
      begin_ = at + 1;
      ++line_number_;
      return Status::line;
    }
    const std::string_view partial(buffer_.data() + begin_, end_ - begin_);
    if (partial.size() > kMostLineBytes) return too_long(partial);
    if (eof_) {
      if (partial.empty()) return Status::end;
      // A writer stopped in the middle of a line: whatever the line says,
      // it may say only part of it.
      return fail_reading("the trace ends inside this line (no newline after it), so it was cut: " + quoted(partial));
    }
    // Keep the partial line, make room and read more.
    std::memmove(buffer_.data(), buffer_.data() + begin_, end_ - begin_);
    end_ -= begin_, begin_ = 0;
    if (buffer_.size() - end_ < kChunk) buffer_.resize(buffer_.size() + kChunk);  // a line longer than a chunk
    const size_t got = std::fread(buffer_.data() + end_, 1, buffer_.size() - end_, file_);
    end_ += got;
    if (got == 0 && std::ferror(file_)) return fail_reading(std::string("cannot read the trace: ") + std::strerror(errno));
    if (got == 0) eof_ = true;
  }
}

DesignTrace::Status DesignTrace::too_long(std::string_view line) {
  return fail_reading("longer than " + std::to_string(kMostLineBytes) + " bytes, so not a trace line: " + quoted(line));
}

DesignTrace::Status DesignTrace::fail_reading(const std::string& reason) {
  error_ = "line " + std::to_string(line_number_ + 1) + ": " + reason;
  return Status::error;
}

bool DesignTrace::fail(const std::string& reason) {
  error_ = "line " + std::to_string(line_number_) + ": " + reason;
  return false;
}

bool DesignTrace::parse(DesignLine& line) {
  line.record = sim::TraceRecord{};
  line.has_word = line.has_writes = line.has_reg = line.has_value = line.has_epc = line.has_ce = false;
  line.value = 0;
  return keys_ ? parse_key_value_line(line) : parse_commit_line(line);
}

bool DesignTrace::parse_commit_line(DesignLine& line) {
  std::string_view rest = trim(without_comment(line.text));
  if (rest.empty()) return false;
  const std::string_view first = take_word(rest);
  sim::TraceRecord& r = line.record;
  if (first == "r3kcheck-trace") {
    if (trim(rest) != "1") return fail("unsupported trace format version " + quoted(rest) + " (this tool reads version 1)");
    return false;
  }
  if (first == "exception") {
    r.is_exception = true;
    if (!sim::parse_exception_code(take_word(rest), r.cause)) return fail("unknown exception code in " + quoted(line.text));
    for (std::string_view word = take_word(rest); !word.empty(); word = take_word(rest)) {
      if (word.starts_with("pc=") && parse_hex(word.substr(3), r.pc)) continue;
      if (word.starts_with("address=") && parse_hex(word.substr(8), r.bad_address)) continue;
      uint32_t unit = 0;
      if (word.starts_with("epc=") && parse_hex(word.substr(4), r.epc)) {
        line.has_epc = r.handled = true;
        continue;
      }
      if (word.starts_with("ce=") && parse_hex(word.substr(3), unit) && unit < 4) {
        line.has_ce = r.handled = true;
        r.coprocessor = static_cast<uint8_t>(unit);
        continue;
      }
      return fail("cannot read " + quoted(word) + " in an exception line");
    }
    line.has_word = line.has_writes = true;
    return true;
  }
  if (!parse_hex(first, r.pc)) return fail("expected an address in hex, found " + quoted(first));
  const std::string_view word = take_word(rest);
  if (!parse_hex(word, r.word)) return fail("expected the instruction word in hex after the address, found " + quoted(word));
  for (std::string_view write = take_word(rest); !write.empty(); write = take_word(rest)) {
    const size_t equals = write.find('=');
    uint32_t value = 0;
    if (equals == std::string_view::npos || !parse_hex(write.substr(equals + 1), value))
      return fail("cannot read the write " + quoted(write) + " (expected $reg=hex, hi=hex, lo=hex or [address]w=hex)");
    const std::string_view target = write.substr(0, equals);
    unsigned reg = 0;
    if (target.starts_with("c0_") || target.starts_with("$c0_")) {
      if (!parse_cop0_register(target, reg)) return fail("unknown coprocessor-0 register " + quoted(target));
      r.writes_cop0 = true, r.cop0_reg = static_cast<uint8_t>(reg), r.cop0_value = value;
    } else if (target == "hi") r.writes_hi = true, r.hi = value;
    else if (target == "lo") r.writes_lo = true, r.lo = value;
    else if (target.starts_with('[') && target.size() > 3 && target[target.size() - 2] == ']' &&
             std::strchr("bhw", target.back()) && parse_hex(target.substr(1, target.size() - 3), r.store.address)) {
      r.stores = true, r.store.width = target.back(), r.store.value = value;
    } else if (target.starts_with('$') && parse_register(target, reg)) {
      if (r.reg_count == r.regs.size()) return fail("more than " + std::to_string(r.regs.size()) + " register writes");
      r.add_register_write(reg, value);  // $zero: no write
    } else {
      return fail("cannot read the write " + quoted(write) + " (expected $reg=hex, hi=hex, lo=hex, [address]w=hex or c0_name=hex)");
    }
  }
  line.has_word = line.has_writes = true;
  return true;
}

bool DesignTrace::parse_key_value_line(DesignLine& line) {
  const TraceKeys& keys = *keys_;
  std::string_view rest = without_comment(line.text);
  std::optional<std::string_view> pc, word, reg, value;
  for (std::string_view item = take_word(rest); !item.empty(); item = take_word(rest)) {
    const size_t equals = item.find('=');
    if (equals == std::string_view::npos) continue;
    const std::string_view key = item.substr(0, equals), text = item.substr(equals + 1);
    if (key == keys.pc) pc = text;
    else if (!keys.word.empty() && key == keys.word) word = text;
    else if (!keys.reg.empty() && key == keys.reg) reg = text;
    else if (!keys.value.empty() && key == keys.value) value = text;
  }
  if (!pc) return false;  // the bench's other messages
  sim::TraceRecord& r = line.record;
  auto bad = [&](const std::string& field, std::string_view text) {
    return fail("bad " + field + " " + quoted(text) + " in " + quoted(line.text));
  };
  if (!parse_hex(*pc, r.pc)) return bad(keys.pc + " (expected hex)", *pc);
  if (word && !parse_hex(*word, r.word)) return bad(keys.word + " (expected hex)", *word);
  line.has_word = word.has_value();
  unsigned number = 0;
  if (reg && !parse_register(*reg, number, true))
    return bad(keys.reg + " (expected a register: hex 0 to 1f, or a name like t0)", *reg);
  line.has_reg = reg.has_value();
  if (value && !parse_hex(*value, line.value)) return bad(keys.value + " (expected hex)", *value);
  line.has_value = value.has_value();
  r.add_register_write(number, line.value);
  return true;
}

}  // namespace r3k::trace

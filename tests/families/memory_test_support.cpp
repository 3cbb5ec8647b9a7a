#include "families/memory_test_support.h"

#include "sim/semantics.h"

namespace r3k::test {

using namespace isa;  // register names

namespace {

std::string name(Reg reg) { return std::string(reg_name(reg)); }

}  // namespace

void access(Listing& listing, std::string_view op, Reg rt, uint32_t offset, Reg base) {
  const std::string mnemonic(op);
  if (offset < 0x8000) {
    listing.line(mnemonic + " " + name(rt) + ", " + hex_text(offset) + "(" + name(base) + ")");
    return;
  }
  const bool via_at = mnemonic[0] == 's' || mnemonic == "lwl" || mnemonic == "lwr";
  const std::string temp = via_at ? "$at" : name(rt);
  listing.line("lui " + temp + ", 0x1").line("addu " + temp + ", " + temp + ", " + name(base));
  listing.line(mnemonic + " " + name(rt) + ", -" + hex_text(0x10000 - offset) + "(" + temp + ")");
}

void neighbour_words(Listing& listing, uint32_t offset, int second_neighbour) {
  listing.line("addiu $a0, $t0, 0x4").line("addiu $a1, $t0, -" + hex_text(static_cast<uint32_t>(-second_neighbour)));
  access(listing, "sw", a0, offset, a0);
  access(listing, "sw", a1, offset, a1);
}

void follow_ups(Listing& listing, uint32_t offset, bool a1_first) {
  const Reg first = a1_first ? a1 : a0, second = a1_first ? a0 : a1;
  access(listing, "lw", first, offset, second);
  access(listing, "lw", second, offset, first);
  access(listing, "lw", a2, offset, a1);
}

void check(Listing& listing, uint32_t inst_error) {
  listing.outside("inst_error", inst_error).line("bne $v0, $v1, @inst_error").nop();
}

Listing load_template(std::string_view op, const memory::MemoryCase& c, bool preset, uint32_t inst_error) {
  Listing listing;
  listing.li(t1, c.memory_word).li(t0, c.base);
  if (preset) listing.li(v0, c.register_value);
  listing.li(v1, c.expected);
  access(listing, "sw", t1, c.offset, t0);
  neighbour_words(listing, c.offset, -8);
  access(listing, op, v0, c.offset + c.lane, t0);
  follow_ups(listing, c.offset, true);
  check(listing, inst_error);
  return listing;
}

Listing store_template(std::string_view op, const memory::MemoryCase& c, uint32_t inst_error) {
  Listing listing;
  listing.li(t2, c.memory_word).li(t1, c.register_value).li(t0, c.base).li(v1, c.expected);
  access(listing, "sw", t2, c.offset, t0);
  access(listing, op, t1, c.offset + c.lane, t0);
  neighbour_words(listing, c.offset, -8);
  access(listing, "lw", v0, c.offset, t0);
  follow_ups(listing, c.offset, false);
  check(listing, inst_error);
  return listing;
}

}  // namespace r3k::test

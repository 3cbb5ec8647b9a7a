// Load and store faults: byte lanes, extension, unaligned merges, addresses.
#include "faults/catalog_parts.h"
#include "faults/fault_kit.h"

namespace r3k::faults {

using namespace kit;
using sim::Width;

namespace {

bool in_ram(uint32_t address) { return address - 0x80000000u < 0x40000u; }
uint32_t address_of(const Cpu& c, const Decoded& d) { return c.reg(d.rs) + d.imm; }
uint32_t zero_extend(uint32_t value) { return value; }

// A byte or halfword load from the address with `lane_flip` XORed in (3
// turns little-endian byte lanes into big-endian ones, 2 swaps halfwords).
Fault load_unit(Op op, Width width, uint32_t lane_flip, uint32_t (*extend)(uint32_t)) {
  return replace(op, [=](Cpu& c, const Decoded& d) {
    uint32_t value;
    if (c.load(address_of(c, d) ^ lane_flip, width, value)) c.set_reg(d.rt, extend(value));
  });
}
Fault store_unit(Op op, Width width, uint32_t lane_flip) {
  return replace(op, [=](Cpu& c, const Decoded& d) { c.store(address_of(c, d) ^ lane_flip, width, rt(c, d)); });
}
Fault store_whole_word(Op op) {
  return replace(op, [](Cpu& c, const Decoded& d) { c.store(address_of(c, d) & ~3u, Width::word, rt(c, d)); });
}

// The merge of lwl, lwr, swl or swr with a lane the hardware got wrong.
Fault merge_with_lane(Op op, unsigned (*wrong_lane)(unsigned)) {
  return replace(op, [=](Cpu& c, const Decoded& d) {
    const uint32_t address = address_of(c, d);
    const unsigned lane = wrong_lane(address & 3);
    uint32_t word;
    if (!c.load(address, Width::partial_word, word)) return;
    switch (op) {
      case Op::lwl: c.set_reg(d.rt, sim::merge_lwl(rt(c, d), word, lane)); break;
      case Op::lwr: c.set_reg(d.rt, sim::merge_lwr(rt(c, d), word, lane)); break;
      case Op::swl: c.store(address, Width::partial_word, sim::merge_swl(word, rt(c, d), lane)); break;
      default: c.store(address, Width::partial_word, sim::merge_swr(word, rt(c, d), lane)); break;
    }
  });
}
unsigned big_endian_lane(unsigned lane) { return 3 - lane; }
unsigned next_lane(unsigned lane) { return (lane + 1) % 4; }

// What `op` stores, at an address of the fault's choosing.
void store_at(Cpu& c, Op op, uint32_t address, uint32_t value) {
  uint32_t word;
  switch (op) {
    case Op::sb: c.store(address, Width::byte, value); break;
    case Op::sh: c.store(address, Width::half, value); break;
    case Op::sw: c.store(address, Width::word, value); break;
    case Op::swl:
      if (c.load(address, Width::partial_word, word))
        c.store(address, Width::partial_word, sim::merge_swl(word, value, address & 3));
      break;
    default:
      if (c.load(address, Width::partial_word, word))
        c.store(address, Width::partial_word, sim::merge_swr(word, value, address & 3));
      break;
  }
}

// A store through the long form's $at whose address loses the 0x10000 the
// long form's lui put into the base: it lands 64 KiB lower (RAM repeats
// every 256 KiB, so it stays in RAM). $at is a base only in the long form.
Fault long_form_store_drops_upper_half(Op op) {
  return replace(op, [op](Cpu& c, const Decoded& d) {
    const uint32_t address = address_of(c, d);
    if (d.rs != isa::at || !in_ram(address)) return void(sim::execute_normal(c, d));
    store_at(c, op, 0x80000000u + ((address - 0x10000u) & 0x3FFFFu), rt(c, d));
  });
}

// lw or sw exchanging the byte order of RAM words; the board registers and
// the flag read keep working.
Fault word_big_endian_in_ram(Op op) {
  return replace(op, [op](Cpu& c, const Decoded& d) {
    const uint32_t address = address_of(c, d);
    if (!in_ram(address)) return void(sim::execute_normal(c, d));
    if (op == Op::sw) {
      store_at(c, op, address, __builtin_bswap32(rt(c, d)));
    } else {
      uint32_t value;
      if (c.load(address, Width::word, value)) c.set_reg(d.rt, __builtin_bswap32(value));
    }
  });
}

constexpr std::string_view kChasedWords =
    "a follow-up load in n6 takes its base from a spoiled neighbour word and traps";

}  // namespace

std::vector<CatalogFault> memory_faults() {
  constexpr auto L = FaultClass::load_store_lane;
  constexpr auto U = FaultClass::unaligned_merge;
  const auto mk = [](std::string_view name, FaultClass cls, Op op, std::string_view models, Expectation e,
                     Fault (*make)(const ImageShape&)) { return CatalogFault{name, cls, op, models, e, "", make}; };
  return {
      mk("lb-zero-extends", L, Op::lb, "lb zero-extends", fails({59}),
         [](const ImageShape&) { return load_unit(Op::lb, Width::byte, 0, zero_extend); }),
      mk("lbu-sign-extends", L, Op::lbu, "lbu sign-extends", fails({60}),
         [](const ImageShape&) { return load_unit(Op::lbu, Width::byte, 0, sim::sign_extend_byte); }),
      mk("lh-zero-extends", L, Op::lh, "lh zero-extends", fails({61}),
         [](const ImageShape&) { return load_unit(Op::lh, Width::half, 0, zero_extend); }),
      mk("lhu-sign-extends", L, Op::lhu, "lhu sign-extends", fails({62}),
         [](const ImageShape&) { return load_unit(Op::lhu, Width::half, 0, sim::sign_extend_half); }),
      mk("lb-big-endian-lanes", L, Op::lb, "lb reads big-endian byte lanes", fails({59}),
         [](const ImageShape&) { return load_unit(Op::lb, Width::byte, 3, sim::sign_extend_byte); }),
      mk("lbu-big-endian-lanes", L, Op::lbu, "lbu reads big-endian byte lanes", fails({60}),
         [](const ImageShape&) { return load_unit(Op::lbu, Width::byte, 3, zero_extend); }),
      mk("lh-other-halfword", L, Op::lh, "lh reads the other halfword of the word", fails({61}),
         [](const ImageShape&) { return load_unit(Op::lh, Width::half, 2, sim::sign_extend_half); }),
      mk("lhu-other-halfword", L, Op::lhu, "lhu reads the other halfword of the word", fails({62}),
         [](const ImageShape&) { return load_unit(Op::lhu, Width::half, 2, zero_extend); }),
      mk("sb-big-endian-lanes", L, Op::sb, "sb writes big-endian byte lanes", fails({65}),
         [](const ImageShape&) { return store_unit(Op::sb, Width::byte, 3); }),
      mk("sh-other-halfword", L, Op::sh, "sh writes the other halfword of the word", fails({66}),
         [](const ImageShape&) { return store_unit(Op::sh, Width::half, 2); }),
      mk("sb-whole-word", L, Op::sb, "sb writes the whole word (no byte enables)", fails({65}),
         [](const ImageShape&) { return store_whole_word(Op::sb); }),
      mk("sh-whole-word", L, Op::sh, "sh writes the whole word (no byte enables)", fails({66}),
         [](const ImageShape&) { return store_whole_word(Op::sh); }),
      mk("lwl-big-endian-merge", U, Op::lwl, "lwl merges by big-endian lanes", fails({63}),
         [](const ImageShape&) { return merge_with_lane(Op::lwl, big_endian_lane); }),
      mk("lwr-big-endian-merge", U, Op::lwr, "lwr merges by big-endian lanes", fails({64}),
         [](const ImageShape&) { return merge_with_lane(Op::lwr, big_endian_lane); }),
      mk("swl-big-endian-merge", U, Op::swl, "swl merges by big-endian lanes", fails({67}),
         [](const ImageShape&) { return merge_with_lane(Op::swl, big_endian_lane); }),
      mk("swr-big-endian-merge", U, Op::swr, "swr merges by big-endian lanes", fails({68}),
         [](const ImageShape&) { return merge_with_lane(Op::swr, big_endian_lane); }),
      mk("lwl-lane-off-by-one", U, Op::lwl, "lwl merges one lane off", fails({63}),
         [](const ImageShape&) { return merge_with_lane(Op::lwl, next_lane); }),
      mk("lwr-lane-off-by-one", U, Op::lwr, "lwr merges one lane off", fails({64}),
         [](const ImageShape&) { return merge_with_lane(Op::lwr, next_lane); }),
      mk("swl-lane-off-by-one", U, Op::swl, "swl merges one lane off", fails({67}),
         [](const ImageShape&) { return merge_with_lane(Op::swl, next_lane); }),
      mk("swr-lane-off-by-one", U, Op::swr, "swr merges one lane off", fails({68}),
         [](const ImageShape&) { return merge_with_lane(Op::swr, next_lane); }),
      mk("sb-long-form-low-base", L, Op::sb, "a long-form sb loses the upper half of its base (64 KiB low)",
         fails({65}), [](const ImageShape&) { return long_form_store_drops_upper_half(Op::sb); }),
      mk("sh-long-form-low-base", L, Op::sh, "a long-form sh loses the upper half of its base (64 KiB low)",
         fails({66}), [](const ImageShape&) { return long_form_store_drops_upper_half(Op::sh); }),
      mk("swl-long-form-low-base", U, Op::swl, "a long-form swl loses the upper half of its base (64 KiB low)",
         fails({67}), [](const ImageShape&) { return long_form_store_drops_upper_half(Op::swl); }),
      mk("swr-long-form-low-base", U, Op::swr, "a long-form swr loses the upper half of its base (64 KiB low)",
         fails({68}), [](const ImageShape&) { return long_form_store_drops_upper_half(Op::swr); }),
      mk("sw-long-form-low-base", L, Op::sw, "a long-form sw loses the upper half of its base (64 KiB low)",
         exception_loop({}, kChasedWords, 6), [](const ImageShape&) { return long_form_store_drops_upper_half(Op::sw); }),
      mk("lw-big-endian-in-ram", L, Op::lw, "lw reverses the byte order of RAM words",
         exception_loop({}, kChasedWords, 6), [](const ImageShape&) { return word_big_endian_in_ram(Op::lw); }),
      mk("sw-big-endian-in-ram", L, Op::sw, "sw reverses the byte order of RAM words",
         exception_loop({}, kChasedWords, 6), [](const ImageShape&) { return word_big_endian_in_ram(Op::sw); }),
  };
}

}  // namespace r3k::faults

// Load and store mistakes: a sign taken from the wrong lane or bit, a lane
// select fed the wrong address bit, a byte enable on the wrong lane, store
// data not moved into its lane, an unaligned merge one lane off, the
// write-back mux selecting the address.
#include "evaluation/evaluation_parts.h"
#include "faults/fault_kit.h"

namespace r3k::evaluation {

using namespace faults::kit;
using namespace part_kit;
using faults::FaultClass;
using faults::ImageShape;
using sim::Width;

namespace {

// The lane an aligned access of `width` selects when the select reads
// address bit 0 where bit 1 was meant.
uint32_t half_lane_from_bit0(uint32_t address) { return (address & ~3u) | (address & 1) << 1; }

// A load that reads `width` at `where(address)` and writes `finish(address,
// value)`; an access the right instruction would fault on faults the same.
template <class Where, class Finish>
Fault load_mistake(Op op, Width width, Where where, Finish finish) {
  return replace(op, [=](Cpu& c, const Decoded& d) {
    const uint32_t address = address_of(c, d);
    uint32_t value;
    if (!c.load(address, width, value)) return;
    if (where(address) != address && !c.load(where(address), width, value)) return;
    c.set_reg(d.rt, finish(c, address, value));
  });
}

// A store that writes `value(address, rt)` at `where(address)`.
template <class Where, class Value>
Fault store_mistake(Op op, Width width, Where where, Value value) {
  return replace(op, [=](Cpu& c, const Decoded& d) {
    const uint32_t address = address_of(c, d);
    if (width == Width::half && address & 1) return c.raise(sim::Cause::AddressErrorStore, address);
    c.store(where(address), width, value(address, rt(c, d)));
  });
}

uint32_t same_address(uint32_t address) { return address; }

}  // namespace

std::vector<EvaluationFault> memory_mistakes() {
  constexpr auto L = FaultClass::load_store_lane;
  constexpr auto U = FaultClass::unaligned_merge;
  return {
      mistake("lb-sign-from-lane0", L, Op::lb, "lb's sign extension reads mem_data[7] instead of the selected byte's bit 7",
              "lb's sign from the wrong byte lane", {"lb-zero-extends"},
              [](const ImageShape&) {
                return load_mistake(Op::lb, Width::byte, same_address, [](Cpu& c, uint32_t address, uint32_t byte) {
                  uint32_t word = 0;
                  c.bus().read(address & ~3u, Width::partial_word, word);
                  return byte | (word & 0x80 ? 0xFFFFFF00u : 0);
                });
              }),
      mistake("lh-sign-from-bit7", L, Op::lh, "lh extended as {{16{data[7]}}, data[15:0]} (the byte's sign bit)",
              "lh's sign from the wrong bit", {"lh-zero-extends"},
              [](const ImageShape&) {
                return load_mistake(Op::lh, Width::half, same_address, [](Cpu&, uint32_t, uint32_t half) {
                  return half | (half & 0x80 ? 0xFFFF0000u : 0);
                });
              }),
      mistake("lbu-lane-select-stuck", L, Op::lbu, "lbu's byte mux select is tied to 2'b00", "byte lane select",
              {"lbu-big-endian-lanes"},
              [](const ImageShape&) {
                return load_mistake(Op::lbu, Width::byte, [](uint32_t a) { return a & ~3u; },
                                    [](Cpu&, uint32_t, uint32_t byte) { return byte; });
              }),
      mistake("lb-lane-bit0-inverted", L, Op::lb, "lb's byte mux select is {addr[1], ~addr[0]}", "byte lane select",
              {"lb-big-endian-lanes"},
              [](const ImageShape&) {
                return load_mistake(Op::lb, Width::byte, [](uint32_t a) { return a ^ 1; },
                                    [](Cpu&, uint32_t, uint32_t byte) { return sim::sign_extend_byte(byte); });
              }),
      mistake("lhu-half-select-from-bit0", L, Op::lhu, "lhu's halfword select reads addr[0] instead of addr[1]",
              "halfword lane select", {"lhu-other-halfword"},
              [](const ImageShape&) {
                return load_mistake(Op::lhu, Width::half, half_lane_from_bit0,
                                    [](Cpu&, uint32_t, uint32_t half) { return half; });
              }),
      mistake("lh-bytes-swapped", L, Op::lh, "lh assembles {data[7:0], data[15:8]} and extends from the low byte's bit 7",
              "lh's byte order within the halfword", {"lh-other-halfword"},
              [](const ImageShape&) {
                return load_mistake(Op::lh, Width::half, same_address, [](Cpu&, uint32_t, uint32_t half) {
                  return sim::sign_extend_half((half & 0xFF) << 8 | half >> 8);
                });
              }),
      mistake("sb-enable-lane0", L, Op::sb, "sb's byte enables are 4'b0001 whatever addr[1:0]",
              "store byte enable of the wrong lane", {"sb-big-endian-lanes"},
              [](const ImageShape&) {
                return store_mistake(Op::sb, Width::byte, [](uint32_t a) { return a & ~3u; },
                                     [](uint32_t, uint32_t value) { return value; });
              }),
      mistake("sb-data-not-replicated", L, Op::sb,
              "sb drives the write bus with rt unshifted, so lane n gets rt[8n+7:8n]", "store data not moved to its lane",
              {"sb-big-endian-lanes"},
              [](const ImageShape&) {
                return store_mistake(Op::sb, Width::byte, same_address,
                                     [](uint32_t a, uint32_t value) { return value >> 8 * (a & 3); });
              }),
      mistake("sh-data-not-replicated", L, Op::sh,
              "sh drives the write bus with rt unshifted, so the upper half gets rt[31:16]",
              "store data not moved to its lane", {"sh-other-halfword"},
              [](const ImageShape&) {
                return store_mistake(Op::sh, Width::half, same_address,
                                     [](uint32_t a, uint32_t value) { return value >> 8 * (a & 2); });
              }),
      mistake("sh-enable-from-bit0", L, Op::sh, "sh's byte enables decode addr[0] where addr[1] was meant",
              "store byte enable of the wrong lane", {"sh-other-halfword"},
              [](const ImageShape&) {
                return store_mistake(Op::sh, Width::half, half_lane_from_bit0,
                                     [](uint32_t, uint32_t value) { return value; });
              }),
      mistake("lwr-lane-one-back", U, Op::lwr, "lwr's merge select is addr[1:0] - 1", "unaligned merge lane",
              {"lwr-lane-off-by-one", "lwr-big-endian-merge"},
              [](const ImageShape&) {
                return replace(Op::lwr, [](Cpu& c, const Decoded& d) {
                  const uint32_t address = address_of(c, d);
                  uint32_t word;
                  if (c.load(address, Width::partial_word, word))
                    c.set_reg(d.rt, sim::merge_lwr(rt(c, d), word, (address + 3) & 3));
                });
              }),
      mistake("swl-merges-as-swr", U, Op::swl, "swl and swr share a merge unit whose select ignores opcode bit 2",
              "unaligned merge lane", {"swl-big-endian-merge", "swl-lane-off-by-one"},
              [](const ImageShape&) {
                return replace(Op::swl, [](Cpu& c, const Decoded& d) {
                  const uint32_t address = address_of(c, d);
                  uint32_t word;
                  if (c.load(address, Width::partial_word, word))
                    c.store(address, Width::partial_word, sim::merge_swr(word, rt(c, d), address & 3));
                });
              }),
      mistake("lh-writes-address", L, Op::lh, "the write-back mux's memory select leaves out lh: it writes the address",
              "write-back select (the address for the loaded value)", {},
              [](const ImageShape&) {
                return load_mistake(Op::lh, Width::half, same_address, [](Cpu&, uint32_t a, uint32_t) { return a; });
              }),
  };
}

}  // namespace r3k::evaluation

// Small pieces the catalog's faults are made of: replacement semantics for
// one instruction kind, pipeline disturbances, confinement to one routine.
#pragma once

#include <utility>

#include "faults/catalog.h"
#include "sim/cpu.h"
#include "sim/decoded.h"
#include "sim/semantics.h"

namespace r3k::faults::kit {

using isa::Op;
using sim::Cpu;
using sim::Decoded;
using sim::Fault;
using sim::PipelineEffect;

inline Fault replace(Op op, sim::Semantics semantics) { return {op, std::move(semantics), PipelineEffect::none}; }
inline Fault disturb(Op op, PipelineEffect effect, int latency = 1) { return {op, {}, effect, latency}; }
// A fault of the bypass network alone, whatever the instructions.
inline Fault bypass_fault(sim::Hazard hazard) {
  Fault fault;
  fault.hazard = hazard;
  return fault;
}

inline uint32_t rs(const Cpu& c, const Decoded& d) { return c.reg(d.rs); }
inline uint32_t rt(const Cpu& c, const Decoded& d) { return c.reg(d.rt); }
inline int32_t rs_signed(const Cpu& c, const Decoded& d) { return static_cast<int32_t>(c.reg(d.rs)); }
inline uint16_t immediate_field(const Decoded& d) { return static_cast<uint16_t>(d.word); }
inline void branch_if(Cpu& c, const Decoded& d, bool taken) {
  if (taken) c.branch(d.target);
}

// A register-format instruction computing `value($rs, $rt)` into $rd.
template <class Value>
Fault register_result(Op op, Value value) {
  return replace(op, [value](Cpu& c, const Decoded& d) { c.set_reg(d.rd, value(rs(c, d), rt(c, d))); });
}
// An immediate-format instruction computing `value($rs, raw field)` into $rt.
template <class Value>
Fault immediate_result(Op op, Value value) {
  return replace(op, [value](Cpu& c, const Decoded& d) { c.set_reg(d.rt, value(rs(c, d), immediate_field(d))); });
}

// The fault inside routine `number`'s cases only; the real instruction elsewhere.
inline Fault inside(const ImageShape& shape, int number, Op op, sim::Semantics faulty) {
  const uint32_t begin = shape.cases_begin(number), end = shape.cases_end(number);
  return replace(op, [=](Cpu& c, const Decoded& d) {
    if (c.pc >= begin && c.pc < end) faulty(c, d);
    else sim::execute_normal(c, d);
  });
}

}  // namespace r3k::faults::kit

// Multiply, divide and HI/LO move faults.
#include "faults/catalog_parts.h"
#include "faults/fault_kit.h"

namespace r3k::faults {

using namespace kit;
using sim::HiLo;

namespace {

template <class Result>
Fault hilo_result(Op op, Result result) {
  return replace(op, [result](Cpu& c, const Decoded& d) { sim::set_hi_lo(c, result(rs(c, d), rt(c, d))); });
}
HiLo swapped(HiLo r) { return {r.lo, r.hi}; }

// Division rounding the quotient toward minus infinity: the remainder then
// takes the divisor's sign. A zero divisor leaves what the right divide does.
HiLo floor_divide(uint32_t x, uint32_t y) {
  if (y == 0) return sim::divide_signed(x, y);
  const int64_t n = int32_t(x), d = int32_t(y);
  int64_t q = n / d;
  if (n % d != 0 && (n < 0) != (d < 0)) --q;
  return {uint32_t(n - q * d), uint32_t(q)};
}
// The quotient truncated, but the remainder given the divisor's sign.
HiLo remainder_with_divisor_sign(uint32_t x, uint32_t y) {
  HiLo r = sim::divide_signed(x, y);
  if (r.hi != 0 && (int32_t(r.hi) < 0) != (int32_t(y) < 0)) r.hi += y;
  return r;
}

// A divide that traps on the operands MIPS leaves undefined.
Fault divide_trapping(Op op) {
  return replace(op, [op](Cpu& c, const Decoded& d) {
    const bool overflow = op == Op::div && rs(c, d) == 0x80000000 && rt(c, d) == 0xFFFFFFFF;
    if (rt(c, d) == 0 || overflow) c.raise(sim::Cause::Breakpoint);
    else sim::execute_normal(c, d);
  });
}

}  // namespace

std::vector<CatalogFault> multiply_divide_faults() {
  constexpr auto M = FaultClass::multiply_divide;
  constexpr auto H = FaultClass::hi_lo;
  return {
      {"div-floor", M, Op::div, "div rounds the quotient toward minus infinity", fails({44}), "",
       [](const ImageShape&) { return hilo_result(Op::div, floor_divide); }},
      {"div-remainder-divisor-sign", M, Op::div, "div gives the remainder the divisor's sign", fails({44}), "",
       [](const ImageShape&) { return hilo_result(Op::div, remainder_with_divisor_sign); }},
      {"div-unsigned", M, Op::div, "div divides unsigned", fails({44}), "",
       [](const ImageShape&) { return hilo_result(Op::div, sim::divide_unsigned); }},
      {"div-hi-lo-swapped", M, Op::div, "div puts the quotient in HI and the remainder in LO", fails({44}), "",
       [](const ImageShape&) {
         return hilo_result(Op::div, [](uint32_t x, uint32_t y) { return swapped(sim::divide_signed(x, y)); });
       }},
      {"div-traps-on-undefined", M, Op::div, "div traps on a zero divisor or 0x80000000 / -1",
       unseen("no case divides by zero or divides 0x80000000 by -1"), "",
       [](const ImageShape&) { return divide_trapping(Op::div); }},
      {"divu-signed", M, Op::divu, "divu divides signed", fails({45}), "",
       [](const ImageShape&) { return hilo_result(Op::divu, sim::divide_signed); }},
      {"divu-hi-lo-swapped", M, Op::divu, "divu puts the quotient in HI and the remainder in LO", fails({45}), "",
       [](const ImageShape&) {
         return hilo_result(Op::divu, [](uint32_t x, uint32_t y) { return swapped(sim::divide_unsigned(x, y)); });
       }},
      {"divu-traps-on-zero", M, Op::divu, "divu traps on a zero divisor", unseen("no case divides by zero"), "",
       [](const ImageShape&) { return divide_trapping(Op::divu); }},
      {"mult-unsigned", M, Op::mult, "mult multiplies unsigned", fails({46}), "",
       [](const ImageShape&) { return hilo_result(Op::mult, sim::multiply_unsigned); }},
      {"mult-hi-lo-swapped", M, Op::mult, "mult puts the low word in HI and the high word in LO", fails({46}), "",
       [](const ImageShape&) {
         return hilo_result(Op::mult, [](uint32_t x, uint32_t y) { return swapped(sim::multiply_signed(x, y)); });
       }},
      {"multu-signed", M, Op::multu, "multu multiplies signed", fails({47}), "",
       [](const ImageShape&) { return hilo_result(Op::multu, sim::multiply_signed); }},
      {"multu-hi-lo-swapped", M, Op::multu, "multu puts the low word in HI and the high word in LO", fails({47}), "",
       [](const ImageShape&) {
         return hilo_result(Op::multu, [](uint32_t x, uint32_t y) { return swapped(sim::multiply_unsigned(x, y)); });
       }},
      {"mfhi-reads-lo", H, Op::mfhi, "mfhi reads LO", fails({44, 45, 46, 47, 48, 50}), "",
       [](const ImageShape&) { return replace(Op::mfhi, [](Cpu& c, const Decoded& d) { c.set_reg(d.rd, c.lo); }); }},
      {"mflo-reads-hi", H, Op::mflo, "mflo reads HI", fails({44, 45, 46, 47, 49, 51}), "",
       [](const ImageShape&) { return replace(Op::mflo, [](Cpu& c, const Decoded& d) { c.set_reg(d.rd, c.hi); }); }},
      {"mthi-writes-lo", H, Op::mthi, "mthi writes LO instead of HI", fails({48, 50}),
       "mfhi (n48 and n50 share a template)", [](const ImageShape&) {
         return replace(Op::mthi, [](Cpu& c, const Decoded& d) { c.lo = rs(c, d); });
       }},
      {"mtlo-writes-hi", H, Op::mtlo, "mtlo writes HI instead of LO", fails({49, 51}),
       "mflo (n49 and n51 share a template)", [](const ImageShape&) {
         return replace(Op::mtlo, [](Cpu& c, const Decoded& d) { c.hi = rs(c, d); });
       }},
      {"mthi-also-writes-lo", H, Op::mthi, "mthi writes LO as well as HI",
       unseen("no case checks that a move leaves the other register alone"), "", [](const ImageShape&) {
         return replace(Op::mthi, [](Cpu& c, const Decoded& d) { c.hi = c.lo = rs(c, d); });
       }},
      {"mtlo-also-writes-hi", H, Op::mtlo, "mtlo writes HI as well as LO",
       unseen("no case checks that a move leaves the other register alone"), "", [](const ImageShape&) {
         return replace(Op::mtlo, [](Cpu& c, const Decoded& d) { c.hi = c.lo = rs(c, d); });
       }},
  };
}

}  // namespace r3k::faults

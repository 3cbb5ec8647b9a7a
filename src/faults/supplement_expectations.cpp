// What the supplement does about the catalog's faults: every fault the main
// image cannot see, the ones its routines are named for, and the faults
// tied to the main image's code, and where the runs that stop short stop.
// Faults left out are run and shown, not judged: they fail the supplement
// only by the way, or not at all.
#include "faults/catalog_parts.h"

namespace r3k::faults {

namespace {

constexpr std::string_view kTrapEndsTheRun =
    "neither this image nor the main image can: the right trap ends the run in the exception loop at "
    "0xBFC00380, so neither may overflow (the exceptions image can)";

constexpr std::string_view kLost = "the run is lost and goes on writing display words past n19";

}  // namespace

std::vector<std::pair<std::string_view, Expectation>> supplement_expectations() {
  // n19 reads an addu's result in every instruction that reads a register:
  // every fault of the bypass fails it too, unless it spares addu's result
  // or hits only a consumer n19 leaves out (jr).
  const auto and_n19 = [](std::set<int> routines) {
    routines.insert(19);
    return fails(std::move(routines));
  };
  const Expectation n9 = fails({9}), n14 = fails({14}), forwarding = and_n19(routine_range(11, 17));
  ExpectationTable table = {
      // One bypass path lost: the supplement's frame and case code keep
      // three instructions between a write and its read, so only the
      // routines that read a result on purpose sooner fail (the load chain
      // reads each base two instructions after its load).
      {"rs-bypass-1-lost", forwarding},
      {"rt-bypass-1-lost", forwarding},
      {"rs-bypass-2-lost", and_n19(routine_range(10, 16))},
      {"rt-bypass-2-lost", and_n19(routine_range(11, 16))},
      {"rs-bypass-3-lost", and_n19(routine_range(11, 16))},
      {"rt-bypass-3-lost", and_n19(routine_range(11, 16))},
      // Absolute links (n1 to n3; n16 reads the links at once).
      {"jal-link-own-address", fails({1, 16})},
      {"jal-link-one-word-far", fails({1, 16})},
      {"jalr-links-into-ra", fails({2, 16})},
      {"jalr-link-own-address", fails({2, 16})},
      {"jalr-link-into-target", fails({2, 16})},
      {"bltzal-link-only-taken", fails({3})},
      {"bgezal-link-only-taken", fails({3})},
      // Set-on-less-than at the overflow boundary (n4, n5).
      {"slt-sign-of-difference", fails({4})},
      {"slt-unsigned", fails({4})},
      {"sltu-signed", fails({4})},
      {"slti-sign-of-difference", fails({5})},
      {"sltiu-sign-of-difference", fails({5})},
      {"slti-zero-extends", fails({5})},
      {"sltiu-signed", fails({5})},
      // Branch compares in the high half (n6).
      {"beq-low16-only", fails({6})},
      {"bne-low16-only", fails({6})},
      // HI and LO (n7).
      {"mthi-also-writes-lo", fails({7})},
      {"mtlo-also-writes-hi", fails({7, 17})},
      {"mfhi-stale-after-muldiv", fails({7})},
      {"div-traps-on-undefined", exception_loop({}, "n7 divides by zero", 7)},
      {"divu-traps-on-zero", exception_loop({}, "n7 divides by zero", 7)},
      // Variable shift amounts above 31 (n8).
      {"srav-reads-all-of-rs", fails({8})},
      {"sllv-reads-all-of-rs", fails({8})},
      {"srlv-reads-all-of-rs", fails({8})},
      // Delay slots that update their own register (n9).
      {"beq-slot-twice", n9},
      {"bne-slot-twice", n9},
      {"bgez-slot-twice", n9},
      {"bgtz-slot-twice", n9},
      {"blez-slot-twice", n9},
      {"bltz-slot-twice", n9},
      {"bltzal-slot-twice", n9},
      {"bgezal-slot-twice", n9},
      {"j-slot-twice", n9},
      {"jal-slot-twice", n9},
      {"jr-slot-twice", n9},
      {"jalr-slot-twice", n9},
      // Loads read at once (n10 the load chains, n14 every load kind).
      {"load-base-stale-after-load", fails({10, 14})},
      {"load-use-stale", n14},
      {"lb-load-use-stale", n14},
      {"lbu-load-use-stale", n14},
      {"lh-load-use-stale", n14},
      {"lhu-load-use-stale", n14},
      {"lwl-load-use-stale", n14},
      {"lwr-load-use-stale", n14},
      // Forwarding (n11 to n19).
      {"no-bypass", forwarding},
      {"addu-rt-stale", forwarding},
      {"subu-rs-stale", forwarding},
      {"beq-rs-stale", fails({11, 12, 13, 14, 15, 17, 19})},
      {"jr-target-stale", fails({11, 12, 14, 15})},
      {"jal-link-late", fails({16})},
      {"jalr-link-late", fails({16})},
      {"older-result-wins", fails({17})},
      {"zero-write-forwarded", fails({18})},
      // Runs that stop, in the same routine for every seed checked.
      {"add-traps-on-carry", exception_loop({}, "an add of n19 carries and traps", 19)},
      {"addiu-zero-extends", exception_loop({}, "bus error in the start code, whose address loads use addiu", 1)},
      {"lui-sign-fills-low-half", exception_loop({1}, "n1 fails; the run ends in the exception loop in n2", 2)},
      {"ori-sign-extends", exception_loop(routine_range(3, 9), "n3 to n9 fail; the run ends in the exception loop in n10", 10)},
      {"lw-big-endian-in-ram", exception_loop({}, "n10's load chains take a base from a reversed word and trap", 10)},
      {"sw-big-endian-in-ram", exception_loop({}, "n10's load chains take a base from a reversed word and trap", 10)},
      {"bgtz-offset-not-shifted", exception_loop({9}, "n9 fails; the run ends in the exception loop in n19", 19)},
      {"j-no-transfer", breaks_run("the reset vector's j goes nowhere: no routine runs", 1)},
      {"beq-target-one-word-late", breaks_run(kLost, kPastTheRoutines)},
      {"beq-slot-skipped-taken", breaks_run(kLost, kPastTheRoutines)},
      {"bltzal-slot-skipped-taken", breaks_run(kLost, kPastTheRoutines)},
      {"bgezal-slot-skipped-taken", breaks_run(kLost, kPastTheRoutines)},
      {"jalr-no-transfer", breaks_run(kLost, kPastTheRoutines)},
      // What no image here can see.
      {"add-never-traps", unseen(kTrapEndsTheRun)},
      {"sub-never-traps", unseen(kTrapEndsTheRun)},
  };
  add_confined_to_main_image(table);
  return table;
}

}  // namespace r3k::faults

#include "cli/kit_files.h"

namespace r3k::cli {
namespace {

// The simulation's "R3K VERDICT" line as the recipe's status: 0 for PASS;
// make itself then stops with its own status for FAIL and NONE, and the
// line in the log (and the file `verdict`) tells them apart. In lock step
// the checker may end the run first (it knows the end one instruction
// before the board sees the end loop retire): then its line decides.
constexpr const char* kVerdictRecipe =
    "\t@$(RUN) | tee $(OUT)/run.log; \\\n"
    "\tverdict=$$(sed -n 's/^R3K VERDICT //p' $(OUT)/run.log); \\\n"
    "\tif [ -z \"$$verdict\" ]; then \\\n"
    "\t  if grep -q '^r3k_cosim: PASS' $(OUT)/run.log; then verdict=PASS; \\\n"
    "\t  elif grep -q 'r3k_cosim: \\(FAIL\\|MISMATCH\\)' $(OUT)/run.log; then verdict=FAIL; fi; fi; \\\n"
    "\techo $${verdict:-NONE} > $(OUT)/verdict; \\\n"
    "\tcase \"$$verdict\" in PASS) exit 0;; FAIL) exit 1;; *) exit 2;; esac\n";

std::string common_part(const std::string& out, const KitImage& image) {
  return "CORE_SOURCES ?= r3k_core.v\n"
         "PLUSARGS ?=\n"
         "OUT = " + out + "\n"
         "KIT = r3k_board.v r3k_trace_printer.v r3k_kit_top.v\n"
         "RUN_ARGS = +r3k_rom=image.hex +r3k_names=names.txt +r3k_routines=" + std::to_string(image.routines) +
         (image.handles_exceptions ? " +r3k_handled_exceptions" : "") + " +r3k_trace=$(OUT)/trace.txt $(PLUSARGS)\n\n";
}

}  // namespace

std::string simulator_makefile(Simulator simulator, const KitImage& image, bool lockstep) {
  if (simulator == Simulator::icarus)
    return "# Icarus Verilog: `make -f Makefile.icarus` builds and runs the image; the\n"
           "# status is 0 for PASS only (see r3k_board.v for the verdict line).\n" +
           common_part("icarus", image) +
           "RUN = vvp -n $(OUT)/sim.vvp $(RUN_ARGS)\n\n"
           "run: $(OUT)/sim.vvp\n" + kVerdictRecipe +
           "\n$(OUT)/sim.vvp: $(KIT) $(CORE_SOURCES)\n"
           "\t@mkdir -p $(OUT)\n"
           "\tiverilog -g2005 -s r3k_kit_top -o $@ $(KIT) $(CORE_SOURCES)\n\n"
           ".PHONY: run\n";
  std::string lockstep_part;
  if (lockstep)
    lockstep_part = "# the lock-step checker: libr3kcosim through pkg-config, or R3K_COSIM_LIBS=...\n"
                    "R3K_COSIM_LIBS ?= $(shell pkg-config --libs r3kcheck)\n"
                    "LOCKSTEP = +define+R3K_LOCKSTEP +define+R3K_IMAGE=\\\"image.elf\\\" r3k_cosim_pkg.sv "
                    "r3k_cosim_checker.sv -LDFLAGS \"$(R3K_COSIM_LIBS)\"\n";
  else
    lockstep_part = "LOCKSTEP =\n";
  return "# Verilator: `make -f Makefile.verilator` builds and runs the image; the\n"
         "# status is 0 for PASS only (see r3k_board.v for the verdict line).\n" +
         common_part("verilator", image) + lockstep_part +
         "RUN = $(OUT)/Vr3k_kit_top $(RUN_ARGS)\n\n"
         "run: $(OUT)/Vr3k_kit_top\n" + kVerdictRecipe +
         "\n$(OUT)/Vr3k_kit_top: $(KIT) $(CORE_SOURCES)\n"
         "\tverilator --binary --timing -Wno-fatal -j 2 --Mdir $(OUT) --top-module r3k_kit_top $(LOCKSTEP) "
         "$(KIT) $(CORE_SOURCES)\n\n"
         ".PHONY: run\n";
}

std::string top_makefile(bool icarus, bool verilator) {
  std::string simulators = std::string(icarus ? " icarus" : "") + (verilator ? " verilator" : "");
  return "# `make` builds and runs the image on" + simulators + ";\n"
         "# `make icarus` or `make verilator` on one. The status is 0 when every run\n"
         "# passed; each simulator's directory keeps run.log, trace.txt and verdict.\n"
         "all:" + simulators + "\n\n"
         "icarus:\n\t$(MAKE) -f Makefile.icarus\n\n"
         "verilator:\n\t$(MAKE) -f Makefile.verilator\n\n"
         "clean:\n\trm -rf icarus verilator\n\n"
         ".PHONY: all icarus verilator clean\n";
}

std::string stand_in_core() {
  return R"(// Stands in for the processor until it is in: drives nothing, so the board
// ends the run with no verdict. Replace this file (CORE_SOURCES=...) with a
// module r3k_core of these ports that wraps the core.
/* verilator lint_off UNUSEDSIGNAL */
module r3k_core (
    input wire clk,
    input wire reset,
    output wire i_req,
    output wire [31:0] i_addr,
    input wire [31:0] i_rdata,
    output wire d_req,
    output wire d_we,
    output wire [3:0] d_be,
    output wire [31:0] d_addr,
    output wire [31:0] d_wdata,
    input wire [31:0] d_rdata,
    output wire ret_valid,
    output wire [31:0] ret_pc,
    output wire [31:0] ret_word,
    output wire [4:0] ret_rd,
    output wire [31:0] ret_rd_value,
    output wire ret_hi_written,
    output wire ret_lo_written,
    output wire [31:0] ret_hi,
    output wire [31:0] ret_lo,
    output wire [3:0] ret_store_mask,
    output wire [31:0] ret_store_addr,
    output wire [31:0] ret_store_data,
    output wire ret_load_valid,
    output wire [31:0] ret_load_addr,
    output wire ret_exception,
    output wire [4:0] ret_cause,
    output wire [31:0] ret_bad_addr
);
  assign {i_req, i_addr, d_req, d_we, d_be, d_addr, d_wdata} = 0;
  assign {ret_valid, ret_pc, ret_word, ret_rd, ret_rd_value, ret_hi_written, ret_lo_written, ret_hi, ret_lo} = 0;
  assign {ret_store_mask, ret_store_addr, ret_store_data, ret_load_valid, ret_load_addr} = 0;
  assign {ret_exception, ret_cause, ret_bad_addr} = 0;
endmodule
/* verilator lint_on UNUSEDSIGNAL */
)";
}

}  // namespace r3k::cli

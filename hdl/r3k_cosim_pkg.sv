// The DPI-C imports of libr3kcosim (r3kcheck/cosim.h): the reference
// processor stepped once per retired instruction from a testbench.
package r3k_cosim_pkg;

  // Parts of a retirement a core reports (the REPORTS parameter of r3k_cosim_checker).
  /* verilator lint_off UNUSEDPARAM */
  localparam int unsigned REPORTS_WORD = 32'h01;
  localparam int unsigned REPORTS_REG = 32'h02;
  localparam int unsigned REPORTS_HI_LO = 32'h04;
  localparam int unsigned REPORTS_STORE = 32'h08;
  localparam int unsigned REPORTS_LOAD = 32'h10;
  localparam int unsigned REPORTS_EXCEPTION = 32'h20;
  localparam int unsigned REPORTS_ALL = 32'h3F;

  // Step results; negative ones are errors (r3k_cosim_last_error says which).
  localparam int IN_STEP = 0;
  localparam int MISMATCH = 1;
  localparam int END_LOOP = 2;
  localparam int EXCEPTION_LOOP = 3;
  localparam int LIMIT = 4;
  /* verilator lint_on UNUSEDPARAM */

  import "DPI-C" function chandle r3k_cosim_dpi_open(input string image_path, input int unsigned quick_run_flag,
                                                     input longint unsigned max_instructions,
                                                     input int unsigned seed, input int unsigned reports,
                                                     input int unsigned writes_only);
  import "DPI-C" function int r3k_cosim_dpi_step(
      input chandle handle, input int unsigned pc, input int unsigned word, input int unsigned rd,
      input int unsigned rd_value, input int unsigned hi_written, input int unsigned lo_written,
      input int unsigned hi, input int unsigned lo, input int unsigned store_mask, input int unsigned store_addr,
      input int unsigned store_data, input int unsigned load_valid, input int unsigned load_addr,
      input int unsigned exception, input int unsigned cause, input int unsigned bad_addr);
  import "DPI-C" function string r3k_cosim_dpi_report(input chandle handle);
  import "DPI-C" function string r3k_cosim_dpi_verdict(input chandle handle);
  import "DPI-C" function string r3k_cosim_last_error();
  import "DPI-C" function void r3k_cosim_dpi_close(input chandle handle);

endpackage

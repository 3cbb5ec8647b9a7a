// Checks a core against the reference processor as it runs: one call per
// retirement, the simulation ended at the first instruction that differs,
// with the report naming the image's routine, case and code. The ports are
// the retirement record of the README ("Co-simulation"); tie off what the
// core does not report and leave its bit out of REPORTS.
//
// Ends the simulation with $finish when the run reaches the end loop with a
// PASS verdict, and with $fatal at a mismatch, at any other end, or when the
// image cannot be opened. +r3k_image=PATH overrides IMAGE.
module r3k_cosim_checker #(
    parameter string IMAGE = "out/image.elf",
    parameter int unsigned QUICK_RUN_FLAG = 1,
    parameter longint unsigned MAX_INSTRUCTIONS = 64'd2000000000,
    parameter int unsigned SEED = 32'h52334B31,
    parameter int unsigned REPORTS = r3k_cosim_pkg::REPORTS_ALL,
    parameter bit WRITES_ONLY = 1'b0
) (
    input logic clk,
    input logic ret_valid,
    input logic [31:0] ret_pc,
    input logic [31:0] ret_word,
    input logic [4:0] ret_rd,  // 0: no register written
    input logic [31:0] ret_rd_value,
    input logic ret_hi_written,
    input logic ret_lo_written,
    input logic [31:0] ret_hi,
    input logic [31:0] ret_lo,
    input logic [3:0] ret_store_mask,  // 0: no store
    input logic [31:0] ret_store_addr,
    input logic [31:0] ret_store_data,
    input logic ret_load_valid,
    input logic [31:0] ret_load_addr,
    input logic ret_exception,  // an exception instead of the retirement
    input logic [4:0] ret_cause,
    input logic [31:0] ret_bad_addr
);
  import r3k_cosim_pkg::*;

  chandle handle = null;
  bit over = 1'b0;  // the run ended: later retirements are not the reference's

  final if (handle != null) r3k_cosim_dpi_close(handle);

  initial begin
    string image;
    image = IMAGE;
    if ($value$plusargs("r3k_image=%s", image)) begin
    end
    handle = r3k_cosim_dpi_open(image, QUICK_RUN_FLAG, MAX_INSTRUCTIONS, SEED, REPORTS, {31'd0, WRITES_ONLY});
    if (handle == null) $fatal(1, "r3k_cosim: %s", r3k_cosim_last_error());
  end

  always @(posedge clk) begin
    if (ret_valid && handle != null && !over) begin
      int result;
      string verdict;
      result = r3k_cosim_dpi_step(handle, ret_pc, ret_word, {27'd0, ret_rd}, ret_rd_value,
                                  {31'd0, ret_hi_written}, {31'd0, ret_lo_written}, ret_hi, ret_lo,
                                  {28'd0, ret_store_mask}, ret_store_addr, ret_store_data,
                                  {31'd0, ret_load_valid}, ret_load_addr, {31'd0, ret_exception},
                                  {27'd0, ret_cause}, ret_bad_addr);
      if (result == MISMATCH) begin
        over <= 1'b1;
        $write("%s", r3k_cosim_dpi_report(handle));
        $fatal(1, "r3k_cosim: MISMATCH");
      end else if (result == END_LOOP || result == EXCEPTION_LOOP || result == LIMIT) begin
        verdict = r3k_cosim_dpi_verdict(handle);
        $write("r3k_cosim: %s", verdict);
        over <= 1'b1;
        if (result == END_LOOP && verdict.substr(0, 3) == "PASS") $finish;
        else $fatal(1, "r3k_cosim: the run ended without a pass");
      end else if (result != IN_STEP) begin
        $fatal(1, "r3k_cosim: %s", r3k_cosim_last_error());
      end
    end
  end
endmodule

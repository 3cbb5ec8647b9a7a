// The top level of a kit: a clock, the board with the image, the trace
// printer and, with R3K_LOCKSTEP defined (SystemVerilog simulators), the
// co-simulation checker, all on one retirement port. Put the processor in
// the marked place: a module r3k_core with these ports (a wrapper around
// the core does the mapping), or edit the instance.
//
// Defines (+define+NAME=VALUE / -DNAME=VALUE): R3K_ROM_FILE, R3K_ROUTINES,
// R3K_QUICK_RUN_FLAG, R3K_IDLE_CYCLES, R3K_TRACE_FILE, R3K_IMAGE (the ELF
// file, for the checker), R3K_RETIREMENT (0: a core without a retirement
// port, judged by its fetches of the end loop; see r3k_board.v).
`ifndef R3K_ROM_FILE
`define R3K_ROM_FILE "image.hex"
`endif
`ifndef R3K_ROUTINES
`define R3K_ROUTINES 68
`endif
`ifndef R3K_QUICK_RUN_FLAG
`define R3K_QUICK_RUN_FLAG 1
`endif
`ifndef R3K_IDLE_CYCLES
`define R3K_IDLE_CYCLES 100000
`endif
`ifndef R3K_RETIREMENT
`define R3K_RETIREMENT 1
`endif
`ifndef R3K_TRACE_FILE
`define R3K_TRACE_FILE "trace.txt"
`endif
module r3k_kit_top;
  reg clk = 1'b0;
  reg reset = 1'b1;
  always #5 clk = !clk;
  initial #25 reset = 1'b0;

  wire i_req, d_req, d_we;
  wire [3:0] d_be;
  wire [31:0] i_addr, i_rdata, d_addr, d_wdata, d_rdata;
  wire ret_valid, ret_hi_written, ret_lo_written, ret_load_valid, ret_exception;
  wire [4:0] ret_rd, ret_cause;
  wire [3:0] ret_store_mask;
  wire [31:0] ret_pc, ret_word, ret_rd_value, ret_hi, ret_lo, ret_store_addr, ret_store_data, ret_load_addr;
  wire [31:0] ret_bad_addr, peek_addr, peek_data;

  // ======================= YOUR CORE GOES HERE =======================
  // reset is high for the first two cycles. Memory ports: see r3k_board.v
  // (request in cycle n, read data in cycle n+1). Retirement port: one
  // record per retired instruction or exception (see r3k_trace_printer.v);
  // tie off what the core cannot report.
  r3k_core u_core (
      .clk(clk), .reset(reset),
      .i_req(i_req), .i_addr(i_addr), .i_rdata(i_rdata),
      .d_req(d_req), .d_we(d_we), .d_be(d_be), .d_addr(d_addr), .d_wdata(d_wdata), .d_rdata(d_rdata),
      .ret_valid(ret_valid), .ret_pc(ret_pc), .ret_word(ret_word), .ret_rd(ret_rd),
      .ret_rd_value(ret_rd_value), .ret_hi_written(ret_hi_written), .ret_lo_written(ret_lo_written),
      .ret_hi(ret_hi), .ret_lo(ret_lo), .ret_store_mask(ret_store_mask), .ret_store_addr(ret_store_addr),
      .ret_store_data(ret_store_data), .ret_load_valid(ret_load_valid), .ret_load_addr(ret_load_addr),
      .ret_exception(ret_exception), .ret_cause(ret_cause), .ret_bad_addr(ret_bad_addr));
  // ===================================================================

  r3k_board #(
      .ROM_FILE(`R3K_ROM_FILE), .ROUTINES(`R3K_ROUTINES), .QUICK_RUN_FLAG(`R3K_QUICK_RUN_FLAG),
      .IDLE_CYCLES(`R3K_IDLE_CYCLES), .RETIREMENT(`R3K_RETIREMENT)
  ) u_board (
      .clk(clk), .i_req(i_req), .i_addr(i_addr), .i_rdata(i_rdata),
      .d_req(d_req), .d_we(d_we), .d_be(d_be), .d_addr(d_addr), .d_wdata(d_wdata), .d_rdata(d_rdata),
      .ret_valid(ret_valid), .ret_pc(ret_pc), .ret_exception(ret_exception), .ret_cause(ret_cause),
      .ret_bad_addr(ret_bad_addr), .peek_addr(peek_addr), .peek_data(peek_data));

  r3k_trace_printer #(.FILE(`R3K_TRACE_FILE)) u_trace (
      .clk(clk), .ret_valid(ret_valid), .ret_pc(ret_pc), .ret_word(ret_word), .ret_rd(ret_rd),
      .ret_rd_value(ret_rd_value), .ret_hi_written(ret_hi_written), .ret_lo_written(ret_lo_written),
      .ret_hi(ret_hi), .ret_lo(ret_lo), .ret_store_mask(ret_store_mask), .ret_store_addr(ret_store_addr),
      .ret_store_data(ret_store_data), .ret_load_valid(ret_load_valid), .ret_load_addr(ret_load_addr),
      .ret_exception(ret_exception), .ret_cause(ret_cause), .ret_bad_addr(ret_bad_addr),
      .mem_addr(peek_addr), .mem_word(peek_data));

`ifdef R3K_LOCKSTEP
  r3k_cosim_checker #(.IMAGE(`R3K_IMAGE), .QUICK_RUN_FLAG(`R3K_QUICK_RUN_FLAG)) u_checker (
      .clk(clk), .ret_valid(ret_valid), .ret_pc(ret_pc), .ret_word(ret_word), .ret_rd(ret_rd),
      .ret_rd_value(ret_rd_value), .ret_hi_written(ret_hi_written), .ret_lo_written(ret_lo_written),
      .ret_hi(ret_hi), .ret_lo(ret_lo), .ret_store_mask(ret_store_mask), .ret_store_addr(ret_store_addr),
      .ret_store_data(ret_store_data), .ret_load_valid(ret_load_valid), .ret_load_addr(ret_load_addr),
      .ret_exception(ret_exception), .ret_cause(ret_cause), .ret_bad_addr(ret_bad_addr));
`endif
endmodule

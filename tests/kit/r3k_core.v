// The replay in the kit top level's place for the core.
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
  r3k_bus_replay u_replay (
      .clk(clk), .i_req(i_req), .i_addr(i_addr), .d_req(d_req), .d_we(d_we), .d_be(d_be), .d_addr(d_addr),
      .d_wdata(d_wdata), .ret_valid(ret_valid), .ret_pc(ret_pc), .ret_word(ret_word), .ret_rd(ret_rd),
      .ret_rd_value(ret_rd_value), .ret_hi_written(ret_hi_written), .ret_lo_written(ret_lo_written),
      .ret_hi(ret_hi), .ret_lo(ret_lo), .ret_store_mask(ret_store_mask), .ret_store_addr(ret_store_addr),
      .ret_store_data(ret_store_data), .ret_load_valid(ret_load_valid), .ret_load_addr(ret_load_addr),
      .ret_exception(ret_exception), .ret_cause(ret_cause), .ret_bad_addr(ret_bad_addr));
endmodule
/* verilator lint_on UNUSEDSIGNAL */

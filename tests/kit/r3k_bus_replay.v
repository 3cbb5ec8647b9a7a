// Plays back a reference run as a core would drive the board: record k
// (16 words of r3k_cosim_record, pc first, one 512-bit $readmemh line each)
// fetches its pc and makes its load or store in cycle k, and retires in
// cycle k+1, after the memory took its store. +records=PATH, and after
// +count=N records it stops driving; the board's idle watchdog then calls
// the run.
/* verilator lint_off UNUSEDSIGNAL */
/* verilator lint_off WIDTH */
/* verilator lint_off BLKSEQ */
module r3k_bus_replay #(
    parameter MAX_RECORDS = 262144
) (
    input wire clk,
    output reg i_req,
    output reg [31:0] i_addr,
    output reg d_req,
    output reg d_we,
    output reg [3:0] d_be,
    output reg [31:0] d_addr,
    output reg [31:0] d_wdata,
    output reg ret_valid,
    output reg [31:0] ret_pc,
    output reg [31:0] ret_word,
    output reg [4:0] ret_rd,
    output reg [31:0] ret_rd_value,
    output reg ret_hi_written,
    output reg ret_lo_written,
    output reg [31:0] ret_hi,
    output reg [31:0] ret_lo,
    output reg [3:0] ret_store_mask,
    output reg [31:0] ret_store_addr,
    output reg [31:0] ret_store_data,
    output reg ret_load_valid,
    output reg [31:0] ret_load_addr,
    output reg ret_exception,
    output reg [4:0] ret_cause,
    output reg [31:0] ret_bad_addr
);
  reg [511:0] records[0:MAX_RECORDS-1];
  reg [511:0] r, last;
  reg [8*1024-1:0] path;
  integer k, COUNT;

  initial begin
    if (!$value$plusargs("records=%s", path)) $display("replay: no +records=PATH");
    if (!$value$plusargs("count=%d", COUNT)) $display("replay: no +count=N");
    $readmemh(path, records);
    k = 0;
    last = 0;
    i_req = 0; i_addr = 0; d_req = 0; d_we = 0; d_be = 0; d_addr = 0; d_wdata = 0;
    ret_valid = 0;
  end

  // word n of a record, 0 the pc
  function [31:0] field(input [511:0] x, input integer n);
    field = x[511 - 32 * n -: 32];
  endfunction

  always @(posedge clk) begin
    // retire the previous cycle's record
    ret_valid <= k > 0 && k <= COUNT;
    ret_pc <= field(last, 0);
    ret_word <= field(last, 1);
    ret_rd <= field(last, 2) & 5'h1F;
    ret_rd_value <= field(last, 3);
    ret_hi_written <= field(last, 4) != 0;
    ret_lo_written <= field(last, 5) != 0;
    ret_hi <= field(last, 6);
    ret_lo <= field(last, 7);
    ret_store_mask <= field(last, 8) & 4'hF;
    ret_store_addr <= field(last, 9);
    ret_store_data <= field(last, 10);
    ret_load_valid <= field(last, 11) != 0;
    ret_load_addr <= field(last, 12);
    ret_exception <= field(last, 13) != 0;
    ret_cause <= field(last, 14) & 5'h1F;
    ret_bad_addr <= field(last, 15);
    if (k < COUNT) begin
      r = records[k];
      i_req <= 1'b1;
      i_addr <= field(r, 0);
      d_req <= field(r, 13) == 0 && (field(r, 8) != 0 || field(r, 11) != 0);
      d_we <= field(r, 8) != 0;
      d_be <= field(r, 8) != 0 ? field(r, 8) & 4'hF : 4'hF;
      d_addr <= field(r, 8) != 0 ? {field(r, 9) >> 2, 2'b00} : field(r, 12);
      d_wdata <= field(r, 10);
      last <= r;
    end else begin
      i_req <= 1'b0;
      d_req <= 1'b0;
    end
    if (k <= COUNT) k <= k + 1;
  end
endmodule
/* verilator lint_on BLKSEQ */
/* verilator lint_on WIDTH */
/* verilator lint_on UNUSEDSIGNAL */

// Writes the commit trace `r3kcheck run --trace` writes (the README's "The
// commit trace"), from a core's retirement port, so `r3kcheck trace-diff`
// reads it as it is. Plain Verilog-2005.
//
// The ports are the retirement record of the co-simulation checker. For an
// swl or swr the trace shows the aligned word after the merge, which
// the port does not carry, so the printer reads it back through mem_addr /
// mem_word (r3k_board's peek port). The core must retire a store after the
// memory took it; tie mem_word to 0 if the core never stores partial words.
//
// +r3k_trace=PATH overrides FILE. The file is flushed at every line's end
// of the run: when the board ends the simulation.
/* verilator lint_off UNUSEDSIGNAL */
module r3k_trace_printer #(
    parameter [8*256-1:0] FILE = "trace.txt"
) (
    input wire clk,
    input wire ret_valid,
    input wire [31:0] ret_pc,
    input wire [31:0] ret_word,
    input wire [4:0] ret_rd,  // 0: no register written
    input wire [31:0] ret_rd_value,
    input wire ret_hi_written,
    input wire ret_lo_written,
    input wire [31:0] ret_hi,
    input wire [31:0] ret_lo,
    input wire [3:0] ret_store_mask,  // 0: no store
    input wire [31:0] ret_store_addr,
    input wire [31:0] ret_store_data,
    input wire ret_load_valid,
    input wire [31:0] ret_load_addr,
    input wire ret_exception,
    input wire [4:0] ret_cause,
    input wire [31:0] ret_bad_addr,
    output wire [31:0] mem_addr,
    input wire [31:0] mem_word
);
  integer fd;
  reg [8*256-1:0] path;

  assign mem_addr = {ret_store_addr[31:2], 2'b00};

  initial begin
    path = FILE;
    if ($value$plusargs("r3k_trace=%s", path)) begin
    end
    fd = $fopen(path, "w");
    if (fd == 0) begin
      $display("r3k_trace_printer: cannot write %0s", path);
      $finish;
    end
    $fwrite(fd, "r3kcheck-trace 1\n");
  end

  function [8*5-1:0] reg_name(input [4:0] r);
    case (r)
      0: reg_name = "$zero"; 1: reg_name = "$at"; 2: reg_name = "$v0"; 3: reg_name = "$v1";
      4: reg_name = "$a0"; 5: reg_name = "$a1"; 6: reg_name = "$a2"; 7: reg_name = "$a3";
      8: reg_name = "$t0"; 9: reg_name = "$t1"; 10: reg_name = "$t2"; 11: reg_name = "$t3";
      12: reg_name = "$t4"; 13: reg_name = "$t5"; 14: reg_name = "$t6"; 15: reg_name = "$t7";
      16: reg_name = "$s0"; 17: reg_name = "$s1"; 18: reg_name = "$s2"; 19: reg_name = "$s3";
      20: reg_name = "$s4"; 21: reg_name = "$s5"; 22: reg_name = "$s6"; 23: reg_name = "$s7";
      24: reg_name = "$t8"; 25: reg_name = "$t9"; 26: reg_name = "$k0"; 27: reg_name = "$k1";
      28: reg_name = "$gp"; 29: reg_name = "$sp"; 30: reg_name = "$fp"; default: reg_name = "$ra";
    endcase
  endfunction

  // The Cause register's code as the trace names it.
  function [8*4-1:0] cause_name(input [4:0] c);
    case (c)
      0: cause_name = "Int"; 4: cause_name = "AdEL"; 5: cause_name = "AdES"; 6: cause_name = "IBE";
      7: cause_name = "DBE"; 8: cause_name = "Sys"; 9: cause_name = "Bp"; 10: cause_name = "RI";
      11: cause_name = "CpU"; 12: cause_name = "Ov"; default: cause_name = "?";
    endcase
  endfunction

  // Byte and half stores show the bytes stored, at their own address; swl
  // and swr the aligned word after the merge. The opcode tells them apart
  // (an swl's lanes can be a half's).
  task write_store;
    reg [1:0] lane;
    begin
      lane = ret_store_mask[0] ? 2'd0 : ret_store_mask[1] ? 2'd1 : ret_store_mask[2] ? 2'd2 : 2'd3;
      case (ret_word[31:26])
        6'h28: $fwrite(fd, " [%h]b=%h", {ret_store_addr[31:2], lane}, {24'd0, ret_store_data[8*lane+:8]});
        6'h29: $fwrite(fd, " [%h]h=%h", {ret_store_addr[31:2], lane}, {16'd0, ret_store_data[8*lane+:16]});
        6'h2B: $fwrite(fd, " [%h]w=%h", {ret_store_addr[31:2], 2'd0}, ret_store_data);
        default: $fwrite(fd, " [%h]w=%h", {ret_store_addr[31:2], 2'd0}, mem_word);
      endcase
    end
  endtask

  always @(posedge clk)
    if (ret_valid && fd != 0) begin
      if (ret_exception) begin
        $fwrite(fd, "exception %0s pc=%h", cause_name(ret_cause), ret_pc);
        if (ret_cause == 4 && ret_bad_addr != ret_pc || ret_cause == 5 || ret_cause == 7)  // not a fetch's
          $fwrite(fd, " address=%h", ret_bad_addr);
      end else begin
        $fwrite(fd, "%h %h", ret_pc, ret_word);
        if (ret_rd != 0) $fwrite(fd, " %0s=%h", reg_name(ret_rd), ret_rd_value);
        if (ret_hi_written) $fwrite(fd, " hi=%h", ret_hi);
        if (ret_lo_written) $fwrite(fd, " lo=%h", ret_lo);
        if (ret_store_mask != 0) write_store;
      end
      $fwrite(fd, "\n");
    end
endmodule
/* verilator lint_on UNUSEDSIGNAL */

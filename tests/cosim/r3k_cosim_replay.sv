// Replays retirement records from a file (+records=PATH, one per line, 16 hex
// fields in the order of r3k_cosim_record) into r3k_cosim_checker, one per
// clock, as a core's retirement port would drive it.
module r3k_cosim_replay;
  logic clk = 1'b0;
  logic valid = 1'b0;
  logic [31:0] pc, word, rd_value, hi, lo, store_addr, store_data, load_addr, bad_addr;
  logic [4:0] rd, cause;
  logic [3:0] store_mask;
  logic hi_written, lo_written, load_valid, exception;

  r3k_cosim_checker u_checker (
      .clk(clk), .ret_valid(valid), .ret_pc(pc), .ret_word(word), .ret_rd(rd), .ret_rd_value(rd_value),
      .ret_hi_written(hi_written), .ret_lo_written(lo_written), .ret_hi(hi), .ret_lo(lo),
      .ret_store_mask(store_mask), .ret_store_addr(store_addr), .ret_store_data(store_data),
      .ret_load_valid(load_valid), .ret_load_addr(load_addr), .ret_exception(exception),
      .ret_cause(cause), .ret_bad_addr(bad_addr));

  initial begin
    string path;
    int fd, fields;
    if (!$value$plusargs("records=%s", path)) $fatal(1, "replay: no +records=PATH");
    fd = $fopen(path, "r");
    if (fd == 0) $fatal(1, "replay: cannot open %s", path);
    forever begin
      fields = $fscanf(fd, "%h %h %h %h %h %h %h %h %h %h %h %h %h %h %h %h\n", pc, word, rd, rd_value,
                       hi_written, lo_written, hi, lo, store_mask, store_addr, store_data, load_valid,
                       load_addr, exception, cause, bad_addr);
      if (fields != 16) break;
      valid = 1'b1;
      #1 clk = 1'b1;
      #1 clk = 1'b0;
    end
    $display("replay: the records ran out before the checker ended the run");
    $fatal(1, "replay: out of records");
  end
endmodule

// The board the test image expects, for a core in a logic simulator: boot ROM
// at 0xBFC00000 loaded from `r3kcheck export IMAGE --format hex`, 256 KiB of
// RAM at 0x80000000, the five board registers at 0xFFFFF000, and the verdict
// `r3kcheck run` prints, in the same words, when the core retires the end loop.
//
// Plain Verilog-2005 so Icarus, Verilator and commercial simulators take it.
//
// Addresses: kseg0 and kseg1 map to the same physical memory (the top three
// bits are dropped), 0xFFFFFxxx are the board registers. Anything else reads
// 0 and is reported once per access.
//
// Memory timing (both ports alike, one access per cycle each):
//
//   cycle  | core drives                         | board answers
//   -------+-------------------------------------+-------------------------------
//   n      | *_req=1, *_addr, d_we, d_be, d_wdata | (a store takes effect at the edge)
//   n+1    | next request, or nothing             | *_rdata = the word at *_addr of n
//   any    | peek_addr                           | peek_data (no cycle; for the trace printer)
//
// rdata is the whole aligned word; d_be picks the bytes a store writes
// (d_be[0] is bits 7:0, the lowest address: little-endian). A store and a
// fetch of the same word in one cycle: the fetch sees the old word.
//
// The end: with RETIREMENT=1 the verdict comes when the core retires the
// instruction at the end loop (0xBFC00100) or the exception loop
// (0xBFC00380); a pipelined core fetches down wrong paths, so a fetch proves
// nothing. The exceptions image handles its exceptions and sends the vector
// at 0xBFC00380 to its handler: run it with +r3k_handled_exceptions (the
// kit's Makefile does). The instruction count is `run`'s: an instruction
// that raised an exception counts, a failed fetch and an interrupt do not. With RETIREMENT=0 (a core without a retirement port) the board
// calls it when the end loop is fetched END_FETCHES times with no fetch
// outside the loop between: weaker, as a core that only passes by the loop on
// a wrong path long enough would be judged too.
//
// What a script reads: one line "R3K VERDICT PASS", "R3K VERDICT FAIL" or
// "R3K VERDICT NONE" after the verdict line, then $finish. No retirement
// (or end-loop fetch) for IDLE_CYCLES cycles is a NONE. The kit's Makefiles
// turn the line into the exit status of `r3kcheck run`: 0, 1, 2.
//
// Routine names: NAMES_FILE (the kit writes names.txt), lines "NUMBER NAME";
// without it routines are "routine N", as `run` names them in an image
// without symbols. Plusargs override: +r3k_rom=PATH, +r3k_names=PATH,
// +r3k_routines=N.
//
// Helpers take whole addresses and use some bits; the bench's bookkeeping is
// read back within the cycle, hence blocking assignments in clocked code.
/* verilator lint_off UNUSEDSIGNAL */
/* verilator lint_off BLKSEQ */
module r3k_board #(
    parameter [8*1024-1:0] ROM_FILE = "image.hex",
    parameter ROM_WORDS = 262144,  // 1 MiB
    parameter QUICK_RUN_FLAG = 32'd1,
    parameter ROUTINES = 68,  // how many the image has
    parameter [8*1024-1:0] NAMES_FILE = "",
    parameter MAX_ROUTINES = 255,
    parameter RETIREMENT = 1,
    parameter END_FETCHES = 64,
    parameter IDLE_CYCLES = 100000
) (
    input wire clk,
    // instruction fetch
    input wire i_req,
    input wire [31:0] i_addr,
    output reg [31:0] i_rdata,
    // loads and stores
    input wire d_req,
    input wire d_we,
    input wire [3:0] d_be,
    input wire [31:0] d_addr,
    input wire [31:0] d_wdata,
    output reg [31:0] d_rdata,
    // the retirement record's signals the board needs
    input wire ret_valid,
    input wire [31:0] ret_pc,
    input wire ret_exception,
    input wire [4:0] ret_cause,
    input wire [31:0] ret_bad_addr,
    // reads a word without a cycle, for the trace printer (swl, swr)
    input wire [31:0] peek_addr,
    output reg [31:0] peek_data
);
  localparam [31:0] END_LOOP = 32'hBFC00100;
  localparam [31:0] EXCEPTION_LOOP = 32'hBFC00380;
  localparam [28:0] ROM_BASE = 29'h1FC00000;
  localparam RAM_WORDS = 65536;
  localparam ROM_BITS = $clog2(ROM_WORDS);

  reg [31:0] rom[0:ROM_WORDS-1];
  reg [31:0] ram[0:RAM_WORDS-1];
  reg [31:0] lamp_bank, lamp_a, lamp_b, display;
  reg [31:0] passes;  // the pass count of the last display word
  reg display_started;
  reg [MAX_ROUTINES:1] failed;
  reg [8*64-1:0] names[1:MAX_ROUTINES];
  integer routines;
  reg [31:0] instructions;
  reg [31:0] idle;
  reg [31:0] end_fetches;
  reg over;
  reg handled_exceptions;  // the exceptions image: 0xBFC00380 is a vector, not the end
  integer i;
  reg [8*1024-1:0] path;

  task read_names(input [8*1024-1:0] file);
    integer fd, n, fields;
    reg [8*64-1:0] name;
    begin
      fd = $fopen(file, "r");
      if (fd == 0) $display("r3k_board: cannot read the routine names from %0s", file);
      else begin
        fields = 2;
        while (fields == 2) begin
          fields = $fscanf(fd, "%d %s\n", n, name);
          if (fields == 2 && n >= 1 && n <= MAX_ROUTINES) names[n] = name;
        end
        $fclose(fd);
      end
    end
  endtask

  initial begin
    for (i = 0; i < RAM_WORDS; i = i + 1) ram[i] = 32'hA5A50000 | i;  // never zero: a missed store shows
    for (i = 0; i < ROM_WORDS; i = i + 1) rom[i] = 32'h0;
    path = ROM_FILE;
    if ($value$plusargs("r3k_rom=%s", path)) begin
    end
    $readmemh(path, rom);
    for (i = 1; i <= MAX_ROUTINES; i = i + 1) names[i] = 0;
    path = NAMES_FILE;
    if ($value$plusargs("r3k_names=%s", path)) begin
    end
    if (path != 0) read_names(path);
    routines = ROUTINES;
    if ($value$plusargs("r3k_routines=%d", routines)) begin
    end
    handled_exceptions = $test$plusargs("r3k_handled_exceptions") != 0;
    lamp_bank = 0;
    lamp_a = 0;
    lamp_b = 0;
    display = 0;
    passes = 0;
    display_started = 0;
    failed = 0;
    instructions = 0;
    idle = 0;
    end_fetches = 0;
    over = 0;
  end

  function is_board(input [31:0] a);
    is_board = a[31:12] == 20'hFFFFF;
  endfunction
  function is_rom(input [31:0] a);
    is_rom = !is_board(a) && a[28:0] >= ROM_BASE && a[28:0] - ROM_BASE < 4 * ROM_WORDS;
  endfunction
  function is_ram(input [31:0] a);
    is_ram = !is_board(a) && a[28:0] < 4 * RAM_WORDS;
  endfunction

  function [ROM_BITS-1:0] rom_index(input [31:0] a);
    reg [28:0] offset;
    begin
      offset = (a[28:0] - ROM_BASE) >> 2;
      rom_index = offset[ROM_BITS-1:0];
    end
  endfunction

  function [31:0] read_word(input [31:0] a);
    if (is_board(a))
      case ({a[11:2], 2'b00})
        12'h000: read_word = lamp_bank;
        12'h004: read_word = lamp_a;
        12'h008: read_word = lamp_b;
        12'h010: read_word = display;
        12'hFF4: read_word = QUICK_RUN_FLAG;
        default: read_word = 32'h0;
      endcase
    else if (is_rom(a)) read_word = rom[rom_index(a)];
    else if (is_ram(a)) read_word = ram[a[17:2]];
    else read_word = 32'h0;
  endfunction

  // Read again after every store: a function's memory reads are no part of
  // a continuous assignment's sensitivity in every simulator.
  always @* peek_data = read_word(peek_addr);

  function [31:0] merge(input [31:0] old, input [31:0] data, input [3:0] be);
    merge = {be[3] ? data[31:24] : old[31:24], be[2] ? data[23:16] : old[23:16],
             be[1] ? data[15:8] : old[15:8], be[0] ? data[7:0] : old[7:0]};
  endfunction

  // Uppercase hex, as `run` prints it ("%X" is lowercase in some simulators).
  function [63:0] hex8(input [31:0] v);
    integer k;
    reg [3:0] nibble;
    begin
      for (k = 0; k < 8; k = k + 1) begin
        nibble = v[4*k+:4];
        hex8[8*k+:8] = nibble < 10 ? 8'h30 + {4'h0, nibble} : 8'h37 + {4'h0, nibble};
      end
    end
  endfunction

  task on_display_write(input [31:0] word);
    begin
      // As the display reader of `run`: the first write is the start pattern;
      // a routine passed when the pass count rose by one.
      if (display_started && word[31:24] >= 1 && {24'd0, word[31:24]} <= routines && word[23:0] != passes[23:0] + 24'd1)
        failed[word[31:24]] = 1'b1;
      display_started = 1'b1;
      passes = {8'h0, word[23:0]};
    end
  endtask

  task store_board(input [31:0] a, input [31:0] data, input [3:0] be);
    begin
      if (be != 4'hF) $display("r3k_board: a store narrower than a word to board register 0x%h (byte enables %b)", a, be);
      case ({a[11:2], 2'b00})
        12'h000: lamp_bank = merge(lamp_bank, data, be);
        12'h004: lamp_a = merge(lamp_a, data, be);
        12'h008: lamp_b = merge(lamp_b, data, be);
        12'h010: begin
          display = merge(display, data, be);
          on_display_write(display);
        end
        12'hFF4: $display("r3k_board: a store to the read-only QUICK_RUN_FLAG (0x%h)", a);
        default: $display("r3k_board: a store to 0x%h, no board register", a);
      endcase
    end
  endtask

  // One block for the memory and the verdict: the bookkeeping is a bench's,
  // read back within the cycle, hence the blocking assignments.
  always @(posedge clk) begin
    memory_cycle;
    verdict_cycle;
  end

  task memory_cycle; begin
    if (i_req) begin
      i_rdata <= read_word(i_addr);
      if (!is_board(i_addr) && !is_rom(i_addr) && !is_ram(i_addr))
        $display("r3k_board: a fetch from 0x%h, outside the memory", i_addr);
    end
    if (d_req) begin
      d_rdata <= read_word(d_addr);
      if (is_board(d_addr) && !d_we && d_be != 4'hF)
        $display("r3k_board: a load narrower than a word from board register 0x%h (byte enables %b)", d_addr, d_be);
      if (d_we) begin
        if (is_board(d_addr)) store_board(d_addr, d_wdata, d_be);
        else if (is_rom(d_addr)) $display("r3k_board: a store to the boot ROM at 0x%h, ignored", d_addr);
        else if (is_ram(d_addr)) ram[d_addr[17:2]] = merge(ram[d_addr[17:2]], d_wdata, d_be);
        else $display("r3k_board: a store to 0x%h, outside the memory", d_addr);
        peek_data = read_word(peek_addr);
      end
    end
  end
  endtask

  task write_failed;
    integer n;
    begin
      for (n = 1; n <= routines; n = n + 1)
        if (failed[n]) begin
          if (names[n] != 0) $write(" %0s", names[n]);
          else $write(" routine %0d", n);
        end
    end
  endtask


  task write_lamps;
    reg [63:0] bank;  // four characters used
    begin
      bank = hex8(lamp_bank);
      $write("lamps A=%0d B=%0d bank=0x%s, display 0x%s", lamp_a, lamp_b, bank[31:0], hex8(display));
    end
  endtask

  task write_count;
    $write("; %0d instruction%s\n", instructions, instructions == 1 ? "" : "s");
  endtask

  task finish(input integer status);  // 0 pass, 1 fail, 2 none
    begin
      over = 1'b1;
      $display("R3K VERDICT %s", status == 0 ? "PASS" : status == 1 ? "FAIL" : "NONE");
      $finish;
    end
  endtask

  task judge_end;
    begin
      if (lamp_a == 1 && lamp_b == 1 && lamp_bank == 32'hFFFF) begin
        $write("PASS: %0d of %0d routines passed; ", passes, routines);
        write_lamps;
        write_count;
        finish(0);
      end else if (lamp_a == 2 && lamp_b == 2 && lamp_bank == 0) begin
        $write("FAIL: %0d of %0d routines passed (failed:", passes, routines);
        write_failed;
        $write("); ");
        write_lamps;
        write_count;
        finish(1);
      end else begin
        $write("NO VERDICT: the end loop was reached but the lamps show neither pass nor fail; ");
        write_lamps;
        write_count;
        finish(2);
      end
    end
  endtask

  task verdict_cycle;
    if (!over) begin
      idle = idle + 1;
      if (RETIREMENT != 0 && ret_valid) begin
        idle = 0;
        if (ret_exception) begin
          // in place of the instruction that raised it: that one counts
          if (ret_cause != 0 && ret_cause != 6 && !(ret_cause == 4 && ret_bad_addr == ret_pc))
            instructions = instructions + 1;
        end else if (ret_pc == END_LOOP) judge_end;
        else if (ret_pc == EXCEPTION_LOOP && !handled_exceptions) begin
          $write("NO VERDICT: the exception loop was reached; ");
          write_lamps;
          write_count;
          finish(2);
        end else instructions = instructions + 1;
      end
      if (RETIREMENT == 0 && i_req) begin
        idle = 0;
        if (i_addr == END_LOOP) end_fetches = end_fetches + 1;
        else if (i_addr != END_LOOP + 4 && i_addr != END_LOOP + 8) end_fetches = 0;
        if (end_fetches == END_FETCHES) judge_end;
      end
      if (!over && idle >= IDLE_CYCLES) begin
        $write("NO VERDICT: nothing retired for %0d cycles; ", IDLE_CYCLES);
        write_lamps;
        write_count;
        finish(2);
      end
    end
  endtask
endmodule
/* verilator lint_on BLKSEQ */
/* verilator lint_on UNUSEDSIGNAL */

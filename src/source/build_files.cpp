#include "source/build_files.h"

#include "board/board.h"
#include "common/hex.h"
#include "image/link_symbols.h"
#include "source/gas_statements.h"
#include "board/layout.h"

namespace r3k::source {
namespace {

// Eight upper-case digits, as the linker script and the build notes write them.
std::string hex8(uint32_t value) { return hex(value, {.upper = true}); }

std::string object_of(const std::string& source) { return source.substr(0, source.size() - 2) + ".o"; }

std::string header() {
  std::string text =
      "# r3k.inc: what every source of the test image shares.\n"
      "#\n"
      "# Framework registers, kept from routine to routine: $s0 the test number, $s1\n"
      "# the address of RESULT_DISPLAY, $s3 the pass count; $s2 is a routine's error\n"
      "# flag. The display word is the test number in bits 31..24 and the pass count\n"
      "# in bits 23..0.\n"
      "#\n"
      "# How the sources write the framework's instruction sequences:\n"
      "#  - a constant load of two instructions (lui, then ori) is `li`; one of one\n"
      "#    instruction is that addiu, ori or lui (in start.S, `li` as well);\n"
      "#  - an address load is `la`: lui, then addiu of the label's %hi and %lo;\n"
      "#  - a load or store whose offset does not fit 16 bits is its three\n"
      "#    instructions: lui of the high part, addu of the base, the access;\n"
      "#  - every branch and jump is followed by its delay slot, written out.\n"
      "# Plain instructions rather than macros, so each source line shows exactly\n"
      "# the words it assembles to.\n"
      "#\n"
      "# Board status registers (start.S names them where it loads their addresses):\n";
  for (const board::RegisterName& board : board::kRegisterNames)
    text += "#   " + std::string(board.name) + " " + hex8(board.address) + "\n";
  text +=
      "\n"
      "# A test routine: a global function (the linker script aligns each one),\n"
      "# and its size, entry to the delay slot of its final jr.\n"
      "        .macro ROUTINE_BEGIN name\n"
      "        .align 2\n"
      "        .globl \\name\n"
      "        .type \\name, @function\n"
      "        .endm\n"
      "        .macro ROUTINE_END name\n"
      "        .size \\name, . - \\name\n"
      "        .endm\n";
  return text;
}

std::string anchor_expression(Anchor anchor) {
  switch (anchor) {
    case Anchor::Zero: return "";
    case Anchor::TextStart: return "ADDR(.text)";
    case Anchor::TextEnd: return "ADDR(.text) + SIZEOF(.text)";
    case Anchor::DataStart: return "ADDR(.data)";
    case Anchor::DataEnd: return "ADDR(.data) + SIZEOF(.data)";
    case Anchor::DataSize: return "SIZEOF(.data)";
  }
  return "";
}

std::string linker_script(const Image& image) {
  std::string text =
      "/* image.ld: the layout of the test image. The text runs and is stored from the\n"
      "   reset vector; each routine starts on a 16-byte boundary, in link order; the\n"
      "   register-usage record fills the last 24 bytes of the text. The data runs at\n"
      "   the start of RAM and is stored right after the text. */\n"
      "OUTPUT_FORMAT(\"elf32-tradlittlemips\")\n"
      "OUTPUT_ARCH(mips)\n"
      "ENTRY(_start)\n"
      "\n"
      "SECTIONS\n"
      "{\n"
      "  .text " + hex8(image.text_base) + " : AT(" + hex8(image.text_base) + ")\n"
      "  {\n"
      "    start.o(.text)\n";
  for (const RoutineInfo* routine : routines_in_link_order(image))
    text += "    . = ALIGN(" + std::to_string(layout::kRoutineAlignment) + "); " + object_of(image.files[routine->file]) + "(.text)\n";
  text += "    /* register-usage record: general-register mask, four coprocessor masks, gp value */\n    ";
  const size_t record_words = layout::kRegisterUsageSize / 4;
  for (size_t i = image.text.size() - record_words; i < image.text.size(); ++i)
    text += "LONG(" + hex8(image.text[i]) + ") ";
  text +=
      "\n  } =0\n"
      "\n"
      "  .data " + hex8(layout::kRamBase) + " : AT(ADDR(.text) + SIZEOF(.text))\n"
      "  {\n"
      "    /* two empty tables of the constructor and destructor layout */\n    ";
  for (size_t i = 0; i + 4 <= image.data.size(); i += 4)
    text += "LONG(" + hex8(uint32_t(image.data[i]) | uint32_t(image.data[i + 1]) << 8 |
                           uint32_t(image.data[i + 2]) << 16 | uint32_t(image.data[i + 3]) << 24) + ") ";
  text +=
      "\n    *(.data)\n"
      "  }\n"
      "\n"
      "  /DISCARD/ : { *(.reginfo) *(.MIPS.abiflags) *(.gnu.attributes) *(.bss) }\n"
      "}\n"
      "\n"
      "/* Link-time symbols; the code uses none of them. */\n";
  for (const LinkSymbol& symbol : kLinkSymbols) {
    if (symbol.place == SymbolPlace::Undefined) {
      text += "EXTERN(" + std::string(symbol.name) + ")\n";
      continue;
    }
    std::string value = anchor_expression(symbol.anchor);
    if (value.empty()) value = hex8(symbol.offset);
    else if (symbol.offset) value += " + " + hex8(symbol.offset);
    if (symbol.place == SymbolPlace::Absolute) value = "ABSOLUTE(" + value + ")";
    text += std::string(symbol.name) + " = " + value + ";\n";
  }
  return text;
}

std::string makefile(const Image& image) {
  std::string objects = "start.o";
  for (const RoutineInfo* routine : routines_in_link_order(image)) objects += " \\\n\t" + object_of(image.files[routine->file]);
  return "# Rebuilds image.elf from these sources with GNU as and ld for little-endian MIPS.\n"
         "CROSS ?= mipsel-linux-gnu-\n"
         "AS := $(CROSS)as\n"
         "LD := $(CROSS)ld\n"
         "ASFLAGS := -march=r3000 -mabi=32 -EL -non_shared --gdwarf-2 -I.\n"
         "\n"
         "OBJECTS := " + objects + "\n"
         "\n"
         "image.elf: $(OBJECTS) image.ld\n"
         "\t$(LD) -T image.ld -o $@ $(OBJECTS)\n"
         "\n"
         "%.o: %.S r3k.inc\n"
         "\t$(AS) $(ASFLAGS) -o $@ $<\n"
         "\n"
         "clean:\n"
         "\trm -f image.elf $(OBJECTS)\n"
         "\n"
         ".PHONY: clean\n";
}

}  // namespace

std::vector<SourceFile> build_files(const Image& image) {
  return {{"r3k.inc", header()}, {"image.ld", linker_script(image)}, {"Makefile", makefile(image)}};
}

}  // namespace r3k::source

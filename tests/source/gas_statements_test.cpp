// The sources say `li` and `la` where the assembler was asked for them, and
// only there: the same words written by hand read as the instructions they
// are, even where a guess from the words would take them for a load.
#include "source/gas_statements.h"

#include <gtest/gtest.h>

#include "asm/assembler.h"

namespace r3k::source {
namespace {

using namespace isa;
using Lines = std::vector<std::string>;

Lines statements_of(const assembly::Assembler& as, const std::map<uint32_t, std::string>& labels) {
  Image image;
  image.text_base = as.base();
  image.text = as.words();
  image.statements = as.statements();
  const uint32_t end = image.text_end();
  const StatementWriter writer(image, labels, true, image.text_base, end);
  Lines lines;
  for (uint32_t address = image.text_base; address < end;) {
    std::string line;
    address += 4 * static_cast<uint32_t>(writer.write(address, end, line));
    lines.push_back(line);
  }
  return lines;
}

TEST(GasStatements, LoadsReadAsWrittenAndHandWrittenPairsAsInstructions) {
  assembly::Assembler as(0xBFC00000);
  const assembly::Label target = as.make_label(), nameless = as.make_label();
  as.li(t0, 0x12345678);
  as.lui(t1, 0x1234);
  as.ori(t1, t1, 0x5678);
  as.la(t2, target);
  as.la_high(t3, target);
  as.la_low(t3, target);
  as.li(t4, 0xFFFF8000);
  as.addiu(t5, zero, 5);
  as.la(t6, nameless);
  as.li(t7, 0x00050000);
  as.bind(target);
  as.nop();
  as.bind(nameless);
  as.nop();
  as.finish();
  const Lines expected = {"li $t0, 0x12345678",
                          "lui $t1, 0x1234",
                          "ori $t1, $t1, 0x5678",
                          "la $t2, target",
                          "lui $t3, 0xbfc0",
                          "addiu $t3, $t3, 52",
                          "li $t4, -32768",
                          "addiu $t5, $zero, 5",
                          "lui $t6, 0xbfc0",  // an address with no name
                          "addiu $t6, $t6, 56",
                          "lui $t7, 0x5",  // a one-word li of the upper half reads as the lui it is
                          "nop",
                          "nop"};
  EXPECT_EQ(statements_of(as, {{as.address_of(target), "target"}}), expected);
}

}  // namespace
}  // namespace r3k::source

// The chunks of an image's ELF file: headers, text, data and symbols.
#pragma once

#include <vector>

#include "elf/elf_chunk.h"
#include "elf/elf_symbols.h"

namespace r3k::elf {

class FileHeaderChunk : public Chunk {
 public:
  FileHeaderChunk();
  uint32_t size(const Output&) const override { return kFileHeaderSize; }
  void copy(const Output& output, uint8_t* out) const override;
};

// One loadable segment for the text and one for the data.
class ProgramHeadersChunk : public Chunk {
 public:
  static constexpr uint32_t kCount = 2;
  ProgramHeadersChunk();
  uint32_t size(const Output&) const override { return kCount * kProgramHeaderSize; }
  void copy(const Output& output, uint8_t* out) const override;
};

class SectionHeadersChunk : public Chunk {
 public:
  SectionHeadersChunk();
  uint32_t size(const Output& output) const override;
  void copy(const Output& output, uint8_t* out) const override;
};

class TextChunk : public Chunk {
 public:
  TextChunk();
  void resolve(Output& output) override;
  uint32_t size(const Output& output) const override;
  void copy(const Output& output, uint8_t* out) const override;
};

// Stored right after the text, run from the start of RAM.
class DataChunk : public Chunk {
 public:
  DataChunk();
  uint32_t size(const Output& output) const override;
  void copy(const Output& output, uint8_t* out) const override;
};

// .pdr: one MIPS procedure descriptor per routine, in link order.
class ProcedureDescriptorsChunk : public Chunk {
 public:
  ProcedureDescriptorsChunk();
  uint32_t size(const Output& output) const override;
  void copy(const Output& output, uint8_t* out) const override;
};

class StringTableChunk : public Chunk {
 public:
  explicit StringTableChunk(std::string name);
  uint32_t size(const Output&) const override;
  void copy(const Output&, uint8_t* out) const override;
  StringTable table;
};

// .shstrtab: names every section, its own included.
class SectionNamesChunk : public StringTableChunk {
 public:
  SectionNamesChunk() : StringTableChunk(".shstrtab") {}
  void resolve(Output& output) override;
};

// .symtab; its names go to the string table chunk given, which the writer
// places after it as .strtab.
class SymbolTableChunk : public Chunk {
 public:
  SymbolTableChunk(std::vector<SymbolSpec> symbols, StringTableChunk& names);
  void resolve(Output& output) override;
  uint32_t size(const Output&) const override;
  void copy(const Output& output, uint8_t* out) const override;

 private:
  std::vector<SymbolSpec> symbols_;  // without the null symbol
  std::vector<uint32_t> name_offsets_;
  const StringTableChunk& names_;
  uint16_t text_index_ = 0, data_index_ = 0;
};

}  // namespace r3k::elf

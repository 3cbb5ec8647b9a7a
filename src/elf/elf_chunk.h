// The pieces the ELF writer assembles a file from. As in the mold linker,
// every piece of the output is a chunk that knows its size and copies its
// bytes; the writer lays the chunks out in order and lets each one fill its
// part of the file. A new section is a new Chunk subclass and one line in the
// writer's chunk list.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "elf/elf_format.h"
#include "image/image.h"

namespace r3k::elf {

struct Output;

class Chunk {
 public:
  // A chunk with a name is a section and gets a section header; the file
  // header, the program headers and the section header table have none.
  Chunk(std::string name, SectionHeader header, uint32_t file_alignment)
      : name(std::move(name)), header(header), file_alignment(file_alignment) {}
  virtual ~Chunk() = default;

  // Runs once every section has its index and before any size is asked, for
  // header fields and contents that refer to other sections.
  virtual void resolve(Output&) {}
  virtual uint32_t size(const Output& output) const = 0;
  // Writes exactly size() bytes.
  virtual void copy(const Output& output, uint8_t* out) const = 0;

  bool is_section() const { return !name.empty(); }

  std::string name;
  SectionHeader header;     // the section header table fills in name, offset and size
  uint32_t file_alignment;  // boundary the chunk starts on in the file
  uint32_t offset = 0;      // in the file, set by the writer's layout
  uint16_t index = 0;       // section index; 0 for a chunk that is not a section
};

// The file being written: the image and its chunks in file order.
struct Output {
  explicit Output(const Image& image) : image(image) {}

  const Image& image;
  std::vector<std::unique_ptr<Chunk>> chunks;

  std::vector<const Chunk*> sections() const;
  // The section of that name; an internal error if there is none.
  const Chunk& section(std::string_view name) const;
  // The one chunk of that kind; an internal error if there is none.
  template <class Kind>
  const Kind& chunk() const {
    for (const auto& chunk : chunks)
      if (auto* found = dynamic_cast<const Kind*>(chunk.get())) return *found;
    throw std::logic_error("ELF writer: missing chunk");
  }
};

// A string table: a leading empty string, then each distinct string once,
// NUL-terminated, in the order first added.
class StringTable {
 public:
  uint32_t add(const std::string& text);
  const std::string& bytes() const { return bytes_; }

 private:
  std::string bytes_{'\0'};
  std::map<std::string, uint32_t, std::less<>> offsets_;
};

}  // namespace r3k::elf

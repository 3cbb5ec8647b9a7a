#include "elf/elf_reader.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>

#include "common/error.h"
#include "common/hex.h"
#include "elf/elf_format.h"
#include "elf/elf_layout.h"

namespace r3k::elf {
namespace {

std::string hex(uint64_t value) { return r3k::hex(value, {.min_digits = 1, .upper = true}); }

// The file's bytes with every access checked. All offset arithmetic is done
// in 64 bits, where the sum of two 32-bit fields cannot overflow.
class ElfFile {
 public:
  ElfFile(std::span<const uint8_t> bytes, const std::string& name) : bytes_(bytes), name_(name) {}

  [[noreturn]] void fail(const std::string& problem) const { throw Error(name_ + ": " + problem); }

  bool contains(uint64_t offset, uint64_t size) const {
    return offset <= bytes_.size() && size <= bytes_.size() - offset;
  }
  // The bytes at [offset, offset + size), which must lie in the file.
  const uint8_t* at(uint64_t offset, uint64_t size, const std::string& what) const {
    if (!contains(offset, size))
      fail(what + " (" + hex(size) + " bytes at " + hex(offset) + ") runs past the end of the file (" +
           hex(bytes_.size()) + " bytes)");
    return bytes_.data() + offset;
  }
  uint64_t size() const { return bytes_.size(); }

 private:
  std::span<const uint8_t> bytes_;
  const std::string& name_;
};

FileHeader read_file_header(const ElfFile& file) {
  if (file.size() < kFileHeaderSize)
    file.fail("too short for an ELF header (" + std::to_string(file.size()) + " bytes)");
  const uint8_t* ident = file.at(0, kFileHeaderSize, "ELF header");
  if (!std::equal(std::begin(kMagic), std::end(kMagic), ident))
    file.fail("not an ELF file (bad magic number)");
  if (ident[kIdentClass] != kClass32) file.fail("not a 32-bit ELF file");
  if (ident[kIdentData] != kDataLittleEndian) file.fail("not a little-endian ELF file");
  FileHeader header = decode_file_header(ident);
  if (header.machine != kMachineMips)
    file.fail("not a MIPS ELF file (machine " + std::to_string(header.machine) + ")");
  if (header.type != kTypeExecutable)
    file.fail("not an executable ELF file (type " + std::to_string(header.type) + ")");
  return header;
}

// Checks the table's entry size and bounds; returns its first byte.
const uint8_t* table_at(const ElfFile& file, uint32_t offset, uint16_t count, uint16_t entry_size,
                        uint32_t expected_entry_size, const std::string& what) {
  if (entry_size != expected_entry_size)
    file.fail(what + " entry size is " + std::to_string(entry_size) + ", not " +
              std::to_string(expected_entry_size));
  return file.at(offset, uint64_t{count} * entry_size, what);
}

std::vector<ProgramHeader> read_load_segments(const ElfFile& file, const FileHeader& header) {
  if (header.program_header_count == 0) file.fail("no loadable segment (no program headers)");
  const uint8_t* table = table_at(file, header.program_header_offset, header.program_header_count,
                                  header.program_header_size, kProgramHeaderSize, "program header table");
  std::vector<ProgramHeader> segments;
  for (uint16_t i = 0; i < header.program_header_count; ++i) {
    const ProgramHeader segment = decode_program_header(table + i * kProgramHeaderSize);
    if (segment.type != kSegmentLoad) continue;
    const std::string what = "segment " + std::to_string(i);
    file.at(segment.offset, segment.file_size, what + " file range");
    if (segment.file_size > segment.memory_size)
      file.fail(what + ": file size " + hex(segment.file_size) + " exceeds its memory size " +
                hex(segment.memory_size));
    const uint64_t end = uint64_t{segment.physical_address} + segment.memory_size;
    if (segment.physical_address < kBootBase || end > kBootEnd)
      file.fail(what + ": load addresses " + hex(segment.physical_address) + ".." +
                hex(std::max(end, uint64_t{1}) - 1) + " lie outside the boot memory " + hex(kBootBase) +
                ".." + hex(kBootEnd - 1));
    segments.push_back(segment);
  }
  if (segments.empty()) file.fail("no loadable segment");
  return segments;
}

// The segments in load-address order; the end of the last one.
uint64_t sort_boot_segments(const ElfFile& file, std::vector<ProgramHeader>& segments) {
  std::sort(segments.begin(), segments.end(), [](const ProgramHeader& a, const ProgramHeader& b) {
    return a.physical_address < b.physical_address;
  });
  uint64_t end = kBootBase;
  for (const ProgramHeader& segment : segments) {
    if (segment.memory_size == 0) continue;
    if (segment.physical_address < end)
      file.fail("loadable segments overlap at load address " + hex(segment.physical_address));
    end = uint64_t{segment.physical_address} + segment.memory_size;
  }
  if (end == kBootBase) file.fail("no loadable segment holds any bytes");
  return end;
}

std::vector<uint8_t> load_boot_memory(const ElfFile& file, std::vector<ProgramHeader> segments,
                                      std::span<const uint8_t> bytes) {
  const uint64_t end = sort_boot_segments(file, segments);
  std::vector<uint8_t> boot(end - kBootBase, 0);
  for (const ProgramHeader& segment : segments)
    if (segment.memory_size != 0)  // an empty segment may lie anywhere, even past the others
      std::copy_n(bytes.begin() + segment.offset, segment.file_size,
                  boot.begin() + (segment.physical_address - kBootBase));
  return boot;
}

// Moves the segments into place inside `bytes`, the boot memory starting at
// bytes[base], when every segment moves toward the buffer's start (as in any
// ordinary file, whose headers come first): in load-address order no segment
// then overwrites the bytes of one still to come. False, with nothing
// changed, when they do not, or when the boot memory would not fit in the
// buffer. A segment already in place is not touched: in a mapped file an
// untouched page is never copied.
bool place_segments(std::span<uint8_t> bytes, uint64_t base, const std::vector<ProgramHeader>& sorted,
                    uint64_t boot_size) {
  if (base > bytes.size() || boot_size > bytes.size() - base) return false;
  uint64_t filled = 0;  // boot bytes [0, filled) are in place so far
  for (const ProgramHeader& segment : sorted) {
    if (segment.memory_size == 0) continue;
    const uint64_t at = segment.physical_address - kBootBase;
    if (base + at > segment.offset || at < filled) return false;
    filled = at + segment.memory_size;
  }
  filled = 0;
  for (const ProgramHeader& segment : sorted) {
    if (segment.memory_size == 0) continue;
    const uint64_t at = segment.physical_address - kBootBase;
    std::memset(bytes.data() + base + filled, 0, at - filled);
    if (base + at != segment.offset)
      std::memmove(bytes.data() + base + at, bytes.data() + segment.offset, segment.file_size);
    std::memset(bytes.data() + base + at + segment.file_size, 0, segment.memory_size - segment.file_size);
    filled = at + segment.memory_size;
  }
  return true;
}

// The same, built in the file's own buffer: this saves a boot-sized buffer.
std::vector<uint8_t> load_boot_memory_in_place(const ElfFile& file, std::vector<ProgramHeader> segments,
                                               std::vector<uint8_t>&& bytes) {
  const uint64_t end = sort_boot_segments(file, segments);
  const uint64_t boot_size = end - kBootBase;
  // Room for the boot memory past the file's end reads as zero.
  if (bytes.size() < boot_size) bytes.resize(boot_size, 0);
  if (!place_segments(bytes, 0, segments, boot_size)) return load_boot_memory(file, std::move(segments), bytes);
  bytes.resize(boot_size);
  return std::move(bytes);
}

// The .symtab's symbols; none when the file has no section headers.
std::vector<ElfSymbol> read_symbols(const ElfFile& file, const FileHeader& header) {
  if (header.section_header_count == 0) return {};
  const uint8_t* table = table_at(file, header.section_header_offset, header.section_header_count,
                                  header.section_header_size, kSectionHeaderSize, "section header table");
  auto section = [&](uint32_t index) { return decode_section_header(table + index * kSectionHeaderSize); };

  uint32_t symtab_index = 0;
  while (symtab_index < header.section_header_count && section(symtab_index).type != kSectionSymtab)
    ++symtab_index;
  if (symtab_index == header.section_header_count) return {};
  const SectionHeader symtab = section(symtab_index);

  if (symtab.entry_size != kSymbolSize)
    file.fail("symbol table entry size is " + std::to_string(symtab.entry_size) + ", not 16");
  if (symtab.size % kSymbolSize != 0)
    file.fail("symbol table size " + hex(symtab.size) + " is not a whole number of entries");
  const uint8_t* records = file.at(symtab.offset, symtab.size, "symbol table");
  if (symtab.link >= header.section_header_count || section(symtab.link).type != kSectionStrtab)
    file.fail("symbol table's string table (section " + std::to_string(symtab.link) +
              ") is not a string table");
  const SectionHeader strtab = section(symtab.link);
  const uint8_t* names = file.at(strtab.offset, strtab.size, "symbol string table");

  std::vector<ElfSymbol> symbols;
  for (uint32_t i = 1; i < symtab.size / kSymbolSize; ++i) {
    const SymbolRecord record = decode_symbol(records + i * kSymbolSize);
    const uint8_t* name_end = record.name < strtab.size
                                  ? std::find(names + record.name, names + strtab.size, uint8_t{0})
                                  : names + strtab.size;
    if (name_end == names + strtab.size)
      file.fail("symbol " + std::to_string(i) + ": name runs past the end of its string table");
    symbols.push_back({std::string(names + record.name, name_end), record.value, record.size, record.type,
                       record.binding, record.section});
  }
  return symbols;
}

}  // namespace

const ElfSymbol* LoadedElf::find_symbol(std::string_view name) const {
  for (const ElfSymbol& symbol : symbols)
    if (symbol.name == name) return &symbol;
  return nullptr;
}

LoadedElf read_elf(std::span<const uint8_t> bytes, const std::string& name_for_errors) {
  const ElfFile file(bytes, name_for_errors);
  const FileHeader header = read_file_header(file);
  LoadedElf loaded;
  loaded.entry = header.entry;
  loaded.boot = load_boot_memory(file, read_load_segments(file, header), bytes);
  loaded.symbols = read_symbols(file, header);
  return loaded;
}

namespace {

LoadedElf read_elf_reusing(std::vector<uint8_t>&& bytes, const std::string& name_for_errors) {
  const ElfFile file(bytes, name_for_errors);
  const FileHeader header = read_file_header(file);
  LoadedElf loaded;
  loaded.entry = header.entry;
  std::vector<ProgramHeader> segments = read_load_segments(file, header);
  loaded.symbols = read_symbols(file, header);  // before the segments overwrite the file's bytes
  loaded.boot = load_boot_memory_in_place(file, std::move(segments), std::move(bytes));
  return loaded;
}

}  // namespace

namespace {

// Checks that `path` names a regular file of a size an image can have; its size.
uint64_t checked_file_size(const std::string& path) {
  // Far larger than any image this tool writes; refusing it early keeps a
  // mistaken path (a disk image, a device) from being read whole.
  constexpr uint64_t kLargestFile = 256u << 20;
  std::error_code error;
  if (!std::filesystem::is_regular_file(path, error))
    throw Error("cannot read " + path + ": " + (error ? error.message() : "not a regular file"));
  const uint64_t size = std::filesystem::file_size(path, error);
  if (error) throw Error("cannot read " + path + ": " + error.message());
  if (size > kLargestFile) throw Error(path + ": too large for an image (" + std::to_string(size) + " bytes)");
  return size;
}

// A private, writable mapping of a whole file: pages are read from the page
// cache as they are touched, and a page written is copied first, so the
// file never changes.
class FileMapping {
 public:
  static std::shared_ptr<FileMapping> open(const std::string& path, uint64_t size) {
    if (size == 0) return nullptr;
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return nullptr;
    void* address = ::mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE, fd, 0);
    ::close(fd);
    if (address == MAP_FAILED) return nullptr;
    return std::shared_ptr<FileMapping>(new FileMapping(static_cast<uint8_t*>(address), size));
  }
  ~FileMapping() { ::munmap(bytes_.data(), bytes_.size()); }
  FileMapping(const FileMapping&) = delete;
  FileMapping& operator=(const FileMapping&) = delete;

  std::span<uint8_t> bytes() const { return bytes_; }

 private:
  FileMapping(uint8_t* address, uint64_t size) : bytes_(address, size) {}
  std::span<uint8_t> bytes_;
};

}  // namespace

LoadedElf read_elf_file(const std::string& path) {
  const uint64_t size = checked_file_size(path);
  std::ifstream in(path, std::ios::binary);
  if (!in) throw Error("cannot read " + path + ": " + std::strerror(errno));
  std::vector<uint8_t> bytes(size);
  in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(size));
  if (in.gcount() != static_cast<std::streamsize>(size)) throw Error("cannot read " + path + ": short read");
  return read_elf_reusing(std::move(bytes), path);
}

MappedElf map_elf_file(const std::string& path) {
  const uint64_t size = checked_file_size(path);
  if (const std::shared_ptr<FileMapping> mapping = FileMapping::open(path, size)) {
    const ElfFile file(mapping->bytes(), path);
    const FileHeader header = read_file_header(file);
    std::vector<ProgramHeader> segments = read_load_segments(file, header);
    const uint64_t boot_size = sort_boot_segments(file, segments) - kBootBase;
    MappedElf mapped;
    mapped.entry = header.entry;
    mapped.symbols = read_symbols(file, header);  // before the segments overwrite the file's bytes
    // The boot memory starts where the lowest segment's bytes start in the file.
    const ProgramHeader& lowest =
        *std::find_if(segments.begin(), segments.end(), [](const ProgramHeader& s) { return s.memory_size != 0; });
    const uint64_t lowest_at = lowest.physical_address - kBootBase;
    if (lowest.offset >= lowest_at && place_segments(mapping->bytes(), lowest.offset - lowest_at, segments, boot_size)) {
      const uint64_t base = lowest.offset - lowest_at;
      mapped.boot = mapping->bytes().subspan(base, boot_size);
      mapped.storage = mapping;
      return mapped;
    }
  }
  auto loaded = std::make_shared<LoadedElf>(read_elf_file(path));
  MappedElf mapped;
  mapped.entry = loaded->entry;
  mapped.boot = loaded->boot;
  mapped.symbols = std::move(loaded->symbols);
  mapped.storage = loaded;
  return mapped;
}

}  // namespace r3k::elf

#include "com/resource.h"

#include <elf.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <string_view>

namespace comrt {

namespace {

constexpr std::string_view kSection = ".qelres";
constexpr std::string_view kMagic = "QELRES01";

struct Failed {
  std::string why;
};

class File {
 public:
  explicit File(const std::string& path) : fd_(open(path.c_str(), O_RDONLY | O_CLOEXEC)) {
    if (fd_ < 0) throw Failed{path + ": " + std::strerror(errno)};
    struct stat st {};
    if (fstat(fd_, &st) != 0 || !S_ISREG(st.st_mode)) {
      close(fd_);
      throw Failed{path + ": not a regular file"};
    }
    size_ = static_cast<uint64_t>(st.st_size);
  }
  ~File() { close(fd_); }
  File(const File&) = delete;
  File& operator=(const File&) = delete;

  // Exactly size bytes at offset, which must lie inside the file.
  std::vector<uint8_t> Read(uint64_t offset, uint64_t size, const char* what) const {
    if (offset > size_ || size > size_ - offset) throw Failed{std::string(what) + " lies outside the file"};
    std::vector<uint8_t> bytes(size);
    uint64_t done = 0;
    while (done < size) {
      const ssize_t n = pread(fd_, bytes.data() + done, size - done, static_cast<off_t>(offset + done));
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) throw Failed{std::string("cannot read ") + what};
      done += static_cast<uint64_t>(n);
    }
    return bytes;
  }

  template <typename T>
  T ReadRecord(uint64_t offset, const char* what) const {
    const std::vector<uint8_t> bytes = Read(offset, sizeof(T), what);
    T record;
    std::memcpy(&record, bytes.data(), sizeof(T));
    return record;
  }

 private:
  int fd_;
  uint64_t size_ = 0;
};

Elf64_Shdr SectionHeader(const File& file, const Elf64_Ehdr& header, uint64_t index) {
  return file.ReadRecord<Elf64_Shdr>(header.e_shoff + index * sizeof(Elf64_Shdr), "a section header");
}

// The contents of the .qelres section, found by name through the section headers.
std::vector<uint8_t> ResourceSection(const std::string& path) {
  const File file(path);
  const auto header = file.ReadRecord<Elf64_Ehdr>(0, "the ELF header");
  if (std::memcmp(header.e_ident, ELFMAG, SELFMAG) != 0) throw Failed{path + " is not an ELF file"};
  if (header.e_ident[EI_CLASS] != ELFCLASS64 || header.e_ident[EI_DATA] != ELFDATA2LSB) {
    throw Failed{path + " is not a 64-bit little-endian ELF file"};
  }
  if (header.e_shoff == 0 || header.e_shentsize != sizeof(Elf64_Shdr)) throw Failed{path + " has no section headers"};
  // Counts too large for the header are kept in the first section header.
  uint64_t count = header.e_shnum;
  uint64_t names_index = header.e_shstrndx;
  if (count == 0 || names_index == SHN_XINDEX) {
    const Elf64_Shdr first = SectionHeader(file, header, 0);
    if (count == 0) count = first.sh_size;
    if (names_index == SHN_XINDEX) names_index = first.sh_link;
  }
  if (names_index >= count) throw Failed{path + " has no section names"};
  const Elf64_Shdr names_header = SectionHeader(file, header, names_index);
  const std::vector<uint8_t> names = file.Read(names_header.sh_offset, names_header.sh_size, "the section names");
  for (uint64_t i = 0; i < count; ++i) {
    const Elf64_Shdr section = SectionHeader(file, header, i);
    if (section.sh_name >= names.size()) continue;
    const auto* name = reinterpret_cast<const char*>(names.data() + section.sh_name);
    if (std::string_view(name, strnlen(name, names.size() - section.sh_name)) != kSection) continue;
    if (section.sh_type == SHT_NOBITS) break;
    return file.Read(section.sh_offset, section.sh_size, "the resource section");
  }
  throw Failed{path + " carries no resources"};
}

// Reads the section's records in turn, each bounded by the section's end.
class Reader {
 public:
  explicit Reader(const std::vector<uint8_t>& bytes) : bytes_(bytes) {}

  uint32_t Number() {
    const uint8_t* p = Take(4);
    return p[0] | p[1] << 8 | p[2] << 16 | static_cast<uint32_t>(p[3]) << 24;
  }
  std::string_view Bytes(uint32_t size) { return {reinterpret_cast<const char*>(Take(size)), size}; }
  size_t position() const { return position_; }

 private:
  const uint8_t* Take(size_t size) {
    if (size > bytes_.size() - position_) throw Failed{"the resource section is cut short"};
    const uint8_t* p = bytes_.data() + position_;
    position_ += size;
    return p;
  }

  const std::vector<uint8_t>& bytes_;
  size_t position_ = 0;
};

struct Entry {
  ResourceInfo info;
  size_t offset;
};

std::vector<Entry> Entries(const std::vector<uint8_t>& section) {
  Reader reader(section);
  if (reader.Bytes(static_cast<uint32_t>(kMagic.size())) != kMagic) throw Failed{"unknown resource section format"};
  const uint32_t count = reader.Number();
  std::vector<Entry> entries;
  for (uint32_t i = 0; i < count; ++i) {
    const uint32_t number = reader.Number();
    const std::string_view name = reader.Bytes(reader.Number());
    const uint32_t id = reader.Number();
    const uint32_t language = reader.Number();
    const uint32_t size = reader.Number();
    const size_t offset = reader.position();
    reader.Bytes(size);
    ResourceType type = name.empty() ? ResourceType(number) : ResourceType(std::string(name));
    entries.push_back({{std::move(type), id, language, size}, offset});
  }
  return entries;
}

template <typename Body>
auto Guarded(std::string* error, Body body) -> decltype(body()) {
  try {
    return body();
  } catch (const Failed& failed) {
    if (error != nullptr) *error = failed.why;
  } catch (const std::bad_alloc&) {
    if (error != nullptr) *error = "out of memory";
  }
  return std::nullopt;
}

bool SameType(const ResourceType& a, const ResourceType& b) {
  if (a.name.empty() != b.name.empty()) return false;
  if (a.name.empty()) return a.number == b.number;
  return a.name.size() == b.name.size() &&
         std::equal(a.name.begin(), a.name.end(), b.name.begin(),
                    [](char x, char y) { return std::tolower(static_cast<unsigned char>(x)) ==
                                                std::tolower(static_cast<unsigned char>(y)); });
}

}  // namespace

std::optional<std::vector<uint8_t>> ReadResource(const std::string& path, const ResourceType& type, uint32_t id,
                                                 std::string* error) {
  return Guarded(error, [&]() -> std::optional<std::vector<uint8_t>> {
    const std::vector<uint8_t> section = ResourceSection(path);
    for (const Entry& entry : Entries(section)) {
      if (entry.info.id == id && SameType(entry.info.type, type)) {
        return std::vector<uint8_t>(section.begin() + static_cast<ptrdiff_t>(entry.offset),
                                    section.begin() + static_cast<ptrdiff_t>(entry.offset + entry.info.size));
      }
    }
    throw Failed{path + " has no resource " + (type.name.empty() ? std::to_string(type.number) : type.name) + " " +
                 std::to_string(id)};
  });
}

std::optional<std::vector<ResourceInfo>> ListResources(const std::string& path, std::string* error) {
  return Guarded(error, [&]() -> std::optional<std::vector<ResourceInfo>> {
    std::vector<ResourceInfo> list;
    for (Entry& entry : Entries(ResourceSection(path))) list.push_back(std::move(entry.info));
    return list;
  });
}

}  // namespace comrt

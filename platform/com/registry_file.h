// The registry's tree in memory and its text form (the registry-export format).
#pragma once
#include <cstdint>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace comrt::registry {

// Lower-case ASCII form of a name, the key under which names compare.
std::string Fold(std::string_view name);

struct Value {
  std::string name;  // empty: the key's default value
  uint32_t type = 0;
  std::vector<uint8_t> data;
};

struct Key {
  std::string name;
  std::vector<Value> values;
  std::map<std::string, std::unique_ptr<Key>> subkeys;  // by folded name

  Key* Find(std::string_view subkey) const;
  Key& Create(std::string_view subkey);
  const Value* FindValue(std::string_view value) const;
  void SetValue(Value value);
  bool DeleteValue(std::string_view value);
};

// Keys nest fewer than this many levels below a top-level key (the documented
// registry limit of 512 levels, the top-level key counted); the limit also
// bounds the recursion that walks the tree.
inline constexpr size_t kMaxDepth = 512;

// The top-level keys the file holds.
inline constexpr const char* kLocalMachine = "HKEY_LOCAL_MACHINE";
inline constexpr const char* kCurrentUser = "HKEY_CURRENT_USER";

struct Hive {
  Key local_machine{kLocalMachine, {}, {}};
  Key current_user{kCurrentUser, {}, {}};

  Key* Root(std::string_view name);
};

// A file that does not follow the format: the 1-based line and what is wrong.
class FormatError : public std::runtime_error {
 public:
  FormatError(int line, const std::string& what) : std::runtime_error(what), line_(line) {}
  int line() const noexcept { return line_; }

 private:
  int line_;
};

// Parses the file's text; an empty text is an empty registry. Throws FormatError.
Hive Parse(std::string_view text);

// The text of the whole tree; Parse(Format(h)) gives h back.
std::string Format(const Hive& hive);

}  // namespace comrt::registry

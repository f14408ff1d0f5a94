// The registry's tree in memory and its text form (the registry-export format).
#pragma once
#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace comrt::registry {

// Names compare without regard to (ASCII) case. FoldedLess orders them as their
// lower-case forms order, without making those, so that a map keyed by names as
// they were spelt finds them in any case.
struct FoldedLess {
  using is_transparent = void;
  bool operator()(std::string_view a, std::string_view b) const noexcept;
};

// Hashing and equality of names without regard to case, likewise.
struct FoldedHash {
  using is_transparent = void;
  size_t operator()(std::string_view name) const noexcept;
};
struct FoldedEqual {
  using is_transparent = void;
  bool operator()(std::string_view a, std::string_view b) const noexcept;
};

// Comment lines kept with a key or value, each ending in '\n'. Most have none,
// so an empty one costs a pointer.
class Comment {
 public:
  Comment() = default;
  Comment(const Comment& other) : lines_(other.lines_ ? std::make_unique<std::string>(*other.lines_) : nullptr) {}
  Comment& operator=(const Comment& other) {
    lines_ = other.lines_ ? std::make_unique<std::string>(*other.lines_) : nullptr;
    return *this;
  }
  Comment(Comment&&) noexcept = default;
  Comment& operator=(Comment&&) noexcept = default;

  void Append(std::string_view lines) {
    if (lines.empty()) return;
    if (!lines_) lines_ = std::make_unique<std::string>();
    *lines_ += lines;
  }
  std::string_view lines() const { return lines_ ? std::string_view(*lines_) : std::string_view(); }
  bool empty() const { return lines().empty(); }

 private:
  std::unique_ptr<std::string> lines_;
};

struct Value {
  std::string name;  // empty: the key's default value
  uint32_t type = 0;
  std::vector<uint8_t> data;
  Comment comment;  // the comment lines before the value in the file
};

// A key: its values in the order they were first set, found by name without
// regard to case (through an index once there are many), and its subkeys.
class Key {
 public:
  explicit Key(std::string name = {}) : name(std::move(name)) {}

  std::string name;  // fixed once the key is a subkey: its parent's map is keyed by it
  Comment comment;  // the comment lines before the key's line in the file
  // Keyed by the subkey's own name, which lives as long as the subkey.
  using Subkeys = std::map<std::string_view, std::unique_ptr<Key>, FoldedLess>;
  Subkeys subkeys;

  Key* Find(std::string_view subkey) const;
  Key& Create(std::string_view subkey);
  const std::vector<Value>& values() const { return values_; }
  const Value* FindValue(std::string_view value) const;
  // Sets type and data; a value that exists keeps its name's spelling and comment.
  void SetValue(Value value);
  bool DeleteValue(std::string_view value);
  void Clear();  // all values and subkeys
  std::unique_ptr<Key> Clone() const;

 private:
  // Up to this many values a search through them costs less than an index.
  static constexpr size_t kUnindexedValues = 8;

  size_t Position(std::string_view value) const;  // values_.size() when absent

  std::vector<Value> values_;
  using Index = std::unordered_map<std::string, size_t, FoldedHash, FoldedEqual>;  // name -> position in values_
  std::unique_ptr<Index> index_;  // only for many values
};

// Keys nest fewer than this many levels below a top-level key (the documented
// registry limit of 512 levels, the top-level key counted); the limit also
// bounds the recursion that walks the tree.
inline constexpr size_t kMaxDepth = 512;

// The top-level keys the file holds.
inline constexpr const char* kLocalMachine = "HKEY_LOCAL_MACHINE";
inline constexpr const char* kCurrentUser = "HKEY_CURRENT_USER";

struct Hive {
  Key local_machine{kLocalMachine};
  Key current_user{kCurrentUser};
  std::string trailer;  // comment lines after the last key's values

  Key* Root(std::string_view name);
  const Key* Root(std::string_view name) const;
  Hive Clone() const;
};

// A file that does not follow the format: the 1-based line and what is wrong.
class FormatError : public std::runtime_error {
 public:
  FormatError(int line, const std::string& what) : std::runtime_error(what), line_(line) {}
  int line() const noexcept { return line_; }

 private:
  int line_;
};

// Parses the file's text, UTF-8 (with or without a byte-order mark) or UTF-16LE
// with its byte-order mark, under the header "Windows Registry Editor Version
// 5.00" or "REGEDIT4"; a text of nothing but a byte-order mark and blank lines is
// an empty registry. Comment lines (';') stay with the key or value they stand
// before. Throws FormatError.
Hive Parse(std::string_view text);

// A tree whose text would be longer than the limit Format was given.
class TooLarge : public std::length_error {
 public:
  TooLarge() : std::length_error("registry text longer than its limit") {}
};

// The UTF-8 text of the whole tree with its comments; Parse(Format(h)) gives h back.
// Throws TooLarge when the text would be longer than limit bytes, as soon as
// what is made so far and the least the next value takes say so.
std::string Format(const Hive& hive, size_t limit = SIZE_MAX);

}  // namespace comrt::registry

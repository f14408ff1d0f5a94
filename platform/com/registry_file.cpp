#include "registry_file.h"

#include <algorithm>
#include <cstdio>

#include "com/types.h"

namespace comrt::registry {

namespace {

constexpr std::string_view kHeader = "Windows Registry Editor Version 5.00";
constexpr std::string_view kOldHeader = "REGEDIT4";
constexpr std::string_view kBom = "\xEF\xBB\xBF";
constexpr std::string_view kUtf16Bom = "\xFF\xFE";
constexpr uint32_t kString = 1;
constexpr uint32_t kBinary = 3;
constexpr uint32_t kDword = 4;
constexpr size_t kHexLineWidth = 76;

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

char FoldChar(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool SameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  if (a == b) return true;
  for (size_t i = 0; i < a.size(); ++i) {
    if (a[i] != b[i] && FoldChar(a[i]) != FoldChar(b[i])) return false;
  }
  return true;
}

std::string_view TrimLeft(std::string_view s) {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  return s;
}

std::string_view Trim(std::string_view s) {
  s = TrimLeft(s);
  while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
  return s;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::string_view TrimRight(std::string_view s) {
  while (!s.empty() && (IsBlank(s.back()) || s.back() == '\r')) s.remove_suffix(1);
  return s;
}

// The UTF-8 form of UTF-16LE text (after its byte-order mark), as the registry
// editor exports it.
std::string FromUtf16(std::string_view bytes) {
  std::u16string units(bytes.size() / 2, u'\0');
  for (size_t i = 0; i < units.size(); ++i) {
    units[i] = static_cast<char16_t>(static_cast<uint8_t>(bytes[2 * i]) | static_cast<uint8_t>(bytes[2 * i + 1]) << 8);
  }
  if (bytes.size() % 2 != 0) {
    throw FormatError(1 + static_cast<int>(std::count(units.begin(), units.end(), u'\n')),
                      "UTF-16 text ends in half a character");
  }
  return Utf16ToUtf8(units);
}

bool StartsWithFolded(std::string_view s, std::string_view prefix) {
  return s.size() >= prefix.size() && SameName(s.substr(0, prefix.size()), prefix);
}

// Splits the text into lines, without their line ends, counting from 1.
class Lines {
 public:
  explicit Lines(std::string_view text) : text_(text) {}

  bool Next(std::string_view& line) {
    if (pos_ >= text_.size()) return false;
    size_t end = text_.find('\n', pos_);
    if (end == std::string_view::npos) end = text_.size();
    line = text_.substr(pos_, end - pos_);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    pos_ = end + 1;
    ++number_;
    return true;
  }
  int number() const { return number_; }

 private:
  std::string_view text_;
  size_t pos_ = 0;
  int number_ = 0;
};

// Reads a quoted text with the escapes \\ and \" from the front of s, which
// starts at the opening quote; leaves s after the closing quote.
template <typename Text>
void ReadQuoted(std::string_view& s, int line, Text& out) {
  size_t i = 1;
  for (;;) {
    size_t stop = i;
    while (stop < s.size() && s[stop] != '"' && s[stop] != '\\') ++stop;
    if (stop == s.size()) throw FormatError(line, "missing closing quote");
    // Room for the terminating zero of a value's text too; growing by doubling
    // keeps a text of many escapes linear.
    if (const size_t needed = out.size() + (stop - i) + 1; needed > out.capacity()) {
      out.reserve(std::max(needed, 2 * out.capacity()));
    }
    out.insert(out.end(), s.begin() + static_cast<std::ptrdiff_t>(i), s.begin() + static_cast<std::ptrdiff_t>(stop));
    if (s[stop] == '"') {
      i = stop;
      break;
    }
    if (stop + 1 >= s.size() || (s[stop + 1] != '\\' && s[stop + 1] != '"')) {
      throw FormatError(line, "unknown escape in quoted text (only \\\\ and \\\" are allowed)");
    }
    out.push_back(static_cast<typename Text::value_type>(s[stop + 1]));
    i = stop + 2;
  }
  s.remove_prefix(i + 1);
}

uint32_t ReadHexNumber(std::string_view digits, int line, const char* what) {
  if (digits.empty() || digits.size() > 8) throw FormatError(line, std::string("bad ") + what);
  uint32_t n = 0;
  for (char c : digits) {
    const int d = HexDigit(c);
    if (d < 0) throw FormatError(line, std::string("bad ") + what);
    n = n << 4 | static_cast<uint32_t>(d);
  }
  return n;
}

// A comma-separated list of hex bytes; a line ending in '\' goes on on the next.
std::vector<uint8_t> ReadHexBytes(std::string_view rest, Lines& lines) {
  const int first_line = lines.number();
  std::string joined;
  for (;;) {
    std::string_view part = Trim(rest);
    if (part.empty() || part.back() != '\\') {
      joined += part;
      break;
    }
    part.remove_suffix(1);
    joined += part;
    if (!lines.Next(rest)) throw FormatError(lines.number(), "hex data continues past the end of the file");
  }
  std::vector<uint8_t> bytes;
  std::string_view list = Trim(joined);
  if (list.empty()) return bytes;
  for (;;) {
    const size_t comma = list.find(',');
    const std::string_view token = Trim(list.substr(0, comma));
    if (token.empty() || token.size() > 2) throw FormatError(first_line, "bad byte in hex data");
    bytes.push_back(static_cast<uint8_t>(ReadHexNumber(token, first_line, "byte in hex data")));
    if (comma == std::string_view::npos) break;
    list.remove_prefix(comma + 1);
  }
  return bytes;
}

// The keys of the section read last: the next section mostly shares its leading
// names, and walks only the names of its own.
struct Trail {
  std::vector<std::string_view> names;  // within the file's text
  std::vector<Key*> keys;
  std::vector<std::string_view> parts;  // the names of the section being read
};

Key* OpenSection(Hive& hive, std::string_view path, int line, Trail& trail) {
  if (path.empty()) throw FormatError(line, "empty key path");
  if (path.front() == '-') throw FormatError(line, "key removal entries are not supported");
  std::vector<std::string_view>& parts = trail.parts;
  parts.clear();
  for (;;) {
    const size_t slash = path.find('\\');
    parts.push_back(path.substr(0, slash));
    if (parts.back().empty()) throw FormatError(line, "empty key name in path");
    if (slash == std::string_view::npos) break;
    path.remove_prefix(slash + 1);
  }
  Key* key = hive.Root(parts.front());
  size_t depth = parts.size() - 1;
  const bool classes = key == nullptr && SameName(parts.front(), "HKEY_CLASSES_ROOT");
  if (classes) depth += 2;
  if (key == nullptr && !classes) throw FormatError(line, "unknown root key " + std::string(parts.front()));
  if (depth >= kMaxDepth) throw FormatError(line, "key path deeper than " + std::to_string(kMaxDepth - 1) + " levels");
  if (classes) key = &hive.local_machine.Create("SOFTWARE").Create("Classes");
  size_t same = 0;
  if (!trail.keys.empty() && trail.keys.front() == key) {
    same = 1;
    while (same < parts.size() && same < trail.names.size() && SameName(parts[same], trail.names[same])) ++same;
    key = trail.keys[same - 1];
  }
  trail.names.resize(parts.size());
  trail.keys.resize(parts.size());
  if (same == 0) trail.keys.front() = key;
  for (size_t next = std::max<size_t>(same, 1); next < parts.size(); ++next) {
    key = &key->Create(parts[next]);
    trail.names[next] = parts[next];
    trail.keys[next] = key;
  }
  return key;
}

Value ReadValue(std::string_view line, Lines& lines) {
  const int number = lines.number();
  Value value;
  if (line.front() == '@') {
    line.remove_prefix(1);
  } else {
    ReadQuoted(line, number, value.name);
  }
  line = TrimLeft(line);
  if (line.empty() || line.front() != '=') throw FormatError(number, "missing '=' after the value name");
  line = TrimLeft(line.substr(1));
  if (!line.empty() && line.front() == '"') {
    ReadQuoted(line, number, value.data);
    if (!Trim(line).empty()) throw FormatError(number, "text after the closing quote");
    value.type = kString;
    value.data.push_back(0);
  } else if (StartsWithFolded(line, "dword:")) {
    const uint32_t n = ReadHexNumber(Trim(line.substr(6)), number, "dword value");
    value.type = kDword;
    value.data = {static_cast<uint8_t>(n), static_cast<uint8_t>(n >> 8), static_cast<uint8_t>(n >> 16),
                  static_cast<uint8_t>(n >> 24)};
  } else if (StartsWithFolded(line, "hex:")) {
    value.type = kBinary;
    value.data = ReadHexBytes(line.substr(4), lines);
  } else if (StartsWithFolded(line, "hex(")) {
    const size_t close = line.find("):");
    if (close == std::string_view::npos) throw FormatError(number, "bad hex(type): prefix");
    value.type = ReadHexNumber(line.substr(4, close - 4), number, "value type");
    value.data = ReadHexBytes(line.substr(close + 2), lines);
  } else if (!line.empty() && line.front() == '-') {
    throw FormatError(number, "value removal entries are not supported");
  } else {
    throw FormatError(number, "unrecognised value data");
  }
  return value;
}

void AppendQuoted(std::string_view text, std::string& out) {
  out += '"';
  for (char c : text) {
    if (c == '\\' || c == '"') out += '\\';
    out += c;
  }
  out += '"';
}

bool FitsQuoted(const Value& value) {
  if (value.type != kString || value.data.empty() || value.data.back() != 0) return false;
  return std::none_of(value.data.begin(), value.data.end() - 1,
                      [](uint8_t b) { return b == 0 || b == '\n' || b == '\r'; });
}

// The fewest bytes the value's line takes: its data in the shortest form it can have.
size_t LeastLength(const Value& value) {
  if (FitsQuoted(value)) return value.data.size() - 1;
  if (value.type == kDword && value.data.size() == 4) return 14;
  return value.data.empty() ? 0 : 3 * value.data.size() - 1;
}

void FormatValue(const Value& value, size_t limit, std::string& out) {
  if (LeastLength(value) > limit - std::min(limit, out.size())) throw TooLarge();
  out += value.comment.lines();
  std::string line;
  if (value.name.empty()) {
    line = "@";
  } else {
    AppendQuoted(value.name, line);
  }
  line += '=';
  char buffer[16];
  if (FitsQuoted(value)) {
    out += line;
    AppendQuoted(std::string_view(reinterpret_cast<const char*>(value.data.data()), value.data.size() - 1), out);
    out += '\n';
    return;
  }
  if (value.type == kDword && value.data.size() == 4) {
    const uint32_t n = value.data[0] | value.data[1] << 8 | value.data[2] << 16 | uint32_t{value.data[3]} << 24;
    std::snprintf(buffer, sizeof buffer, "dword:%08x", n);
    out += line + buffer + '\n';
    return;
  }
  if (value.type == kBinary) {
    line += "hex:";
  } else {
    std::snprintf(buffer, sizeof buffer, "hex(%x):", value.type);
    line += buffer;
  }
  for (size_t i = 0; i < value.data.size(); ++i) {
    std::snprintf(buffer, sizeof buffer, "%02x", value.data[i]);
    line += buffer;
    if (i + 1 == value.data.size()) break;
    line += ',';
    if (line.size() >= kHexLineWidth) {
      out += line + "\\\n";
      line = "  ";
    }
  }
  out += line + '\n';
}

// Writes the key and all below it; path holds the key's path, and holds it again
// on return.
void FormatKey(const Key& key, std::string& path, bool root, size_t limit, std::string& out) {
  if (!root || !key.values().empty() || !key.comment.empty()) {
    out += key.comment.lines();
    out += '[';
    out += path;
    out += "]\n";
    for (const Value& value : key.values()) {
      FormatValue(value, limit, out);
      if (out.size() > limit) throw TooLarge();
    }
    out += '\n';
  }
  const size_t length = path.size();
  for (const auto& [name, sub] : key.subkeys) {
    (path += '\\') += sub->name;
    FormatKey(*sub, path, false, limit, out);
    path.resize(length);
  }
}

}  // namespace

bool FoldedLess::operator()(std::string_view a, std::string_view b) const noexcept {
  const size_t n = std::min(a.size(), b.size());
  for (size_t i = 0; i < n; ++i) {
    if (a[i] == b[i]) continue;
    const auto x = static_cast<unsigned char>(FoldChar(a[i])), y = static_cast<unsigned char>(FoldChar(b[i]));
    if (x != y) return x < y;
  }
  return a.size() < b.size();
}

size_t FoldedHash::operator()(std::string_view name) const noexcept {
  // FNV-1a over the lower-case form.
  uint64_t hash = 14695981039346656037u;
  for (char c : name) hash = (hash ^ static_cast<unsigned char>(FoldChar(c))) * 1099511628211u;
  return static_cast<size_t>(hash);
}

bool FoldedEqual::operator()(std::string_view a, std::string_view b) const noexcept { return SameName(a, b); }

Key* Key::Find(std::string_view subkey) const {
  const auto it = subkeys.find(subkey);
  return it == subkeys.end() ? nullptr : it->second.get();
}

Key& Key::Create(std::string_view subkey) {
  // The file lists keys in order: a new one mostly goes last.
  const bool last = subkeys.empty() || FoldedLess{}(subkeys.rbegin()->first, subkey);
  auto it = last ? subkeys.end() : subkeys.lower_bound(subkey);
  if (it == subkeys.end() || FoldedLess{}(subkey, it->first)) {
    auto key = std::make_unique<Key>(std::string(subkey));
    const std::string_view name = key->name;
    it = subkeys.emplace_hint(it, name, std::move(key));
  }
  return *it->second;
}

size_t Key::Position(std::string_view value) const {
  if (!index_) {
    for (size_t i = 0; i < values_.size(); ++i) {
      if (SameName(values_[i].name, value)) return i;
    }
    return values_.size();
  }
  const auto it = index_->find(value);
  return it == index_->end() ? values_.size() : it->second;
}

const Value* Key::FindValue(std::string_view value) const {
  const size_t at = Position(value);
  return at == values_.size() ? nullptr : &values_[at];
}

void Key::SetValue(Value value) {
  const size_t at = Position(value.name);
  if (at < values_.size()) {
    Value& old = values_[at];
    old.type = value.type;
    old.data = std::move(value.data);
    old.comment.Append(value.comment.lines());
    return;
  }
  values_.push_back(std::move(value));
  if (index_) {
    index_->emplace(values_.back().name, at);
  } else if (values_.size() > kUnindexedValues) {
    index_ = std::make_unique<Index>();
    for (size_t i = 0; i < values_.size(); ++i) index_->emplace(values_[i].name, i);
  }
}

bool Key::DeleteValue(std::string_view value) {
  const size_t at = Position(value);
  if (at == values_.size()) return false;
  values_.erase(values_.begin() + static_cast<std::ptrdiff_t>(at));
  if (index_) {
    index_->erase(index_->find(value));
    for (auto& [name, position] : *index_) {
      if (position > at) --position;
    }
  }
  return true;
}

void Key::Clear() {
  values_.clear();
  index_.reset();
  subkeys.clear();
}

std::unique_ptr<Key> Key::Clone() const {
  auto copy = std::make_unique<Key>(name);
  copy->comment = comment;
  copy->values_ = values_;
  if (index_) copy->index_ = std::make_unique<Index>(*index_);
  for (const auto& [name, sub] : subkeys) {
    auto key = sub->Clone();
    const std::string_view view = key->name;
    copy->subkeys.emplace_hint(copy->subkeys.end(), view, std::move(key));
  }
  return copy;
}

Key* Hive::Root(std::string_view name) {
  return const_cast<Key*>(static_cast<const Hive&>(*this).Root(name));
}

const Key* Hive::Root(std::string_view name) const {
  if (SameName(name, kLocalMachine)) return &local_machine;
  if (SameName(name, kCurrentUser)) return &current_user;
  return nullptr;
}

Hive Hive::Clone() const {
  Hive copy;
  copy.local_machine = std::move(*local_machine.Clone());
  copy.current_user = std::move(*current_user.Clone());
  copy.trailer = trailer;
  return copy;
}

Hive Parse(std::string_view text) {
  Hive hive;
  std::string decoded;
  if (text.substr(0, kUtf16Bom.size()) == kUtf16Bom) {
    decoded = FromUtf16(text.substr(kUtf16Bom.size()));
    text = decoded;
  } else if (text.substr(0, kBom.size()) == kBom) {
    text.remove_prefix(kBom.size());
  }
  if (text.find_first_not_of(" \t\r\n") == std::string_view::npos) return hive;
  Lines lines(text);
  std::string_view line;
  lines.Next(line);
  if (Trim(line) != kHeader && Trim(line) != kOldHeader) {
    throw FormatError(1, "the first line is neither \"" + std::string(kHeader) + "\" nor \"" + std::string(kOldHeader) + "\"");
  }
  Key* key = nullptr;
  Trail trail;
  std::string comment;  // the comment lines since the last key or value
  while (lines.Next(line)) {
    line = TrimLeft(line);
    if (line.empty()) continue;
    if (line.front() == ';') {
      comment.append(TrimRight(line)) += '\n';
    } else if (line.front() == '[') {
      const size_t close = line.rfind(']');
      if (close == std::string_view::npos || !Trim(line.substr(close + 1)).empty()) {
        throw FormatError(lines.number(), "key line does not end in ']'");
      }
      key = OpenSection(hive, line.substr(1, close - 1), lines.number(), trail);
      key->comment.Append(comment);
      comment.clear();
    } else if (line.front() == '"' || line.front() == '@') {
      if (key == nullptr) throw FormatError(lines.number(), "value before the first key");
      Value value = ReadValue(line, lines);
      value.comment.Append(comment);
      comment.clear();
      key->SetValue(std::move(value));
    } else {
      throw FormatError(lines.number(), "neither a key nor a value");
    }
  }
  hive.trailer = std::move(comment);
  return hive;
}

std::string Format(const Hive& hive, size_t limit) {
  std::string out = std::string(kHeader) + "\n\n";
  for (const Key* root : {&hive.local_machine, &hive.current_user}) {
    std::string path = root->name;
    FormatKey(*root, path, true, limit, out);
  }
  out += hive.trailer;
  if (out.size() > limit) throw TooLarge();
  return out;
}

}  // namespace comrt::registry

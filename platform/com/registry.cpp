// The Reg* functions. A handle is a number standing for a path below one of the
// file's top-level keys and the rights it was opened with; each call looks the
// path up in the registry as it is then.
#include "com/registry.h"

#include <cstring>
#include <map>
#include <mutex>
#include <new>
#include <optional>
#include <string_view>
#include <vector>

#include "registry_store.h"

namespace {

using comrt::registry::Failure;
using comrt::registry::Hive;
using comrt::registry::Key;

constexpr REGSAM kWriteRights = KEY_SET_VALUE | KEY_CREATE_SUB_KEY | KEY_CREATE_LINK | DELETE | WRITE_DAC | WRITE_OWNER;
constexpr size_t kMaxKeyName = 255;

thread_local std::string t_last_error;

struct Location {
  const char* root = comrt::registry::kLocalMachine;
  std::vector<std::string> path;
  REGSAM access = 0;
  bool predefined = false;  // predefined keys exist even when the file lacks them
};

class Handles {
 public:
  HKEY Add(Location location) {
    std::lock_guard lock(mutex_);
    next_ += 4;
    open_.emplace(next_, std::move(location));
    return reinterpret_cast<HKEY>(next_);
  }

  Location Get(HKEY key) {
    const auto value = reinterpret_cast<uintptr_t>(key);
    if (key == HKEY_LOCAL_MACHINE) return {comrt::registry::kLocalMachine, {}, KEY_ALL_ACCESS, true};
    if (key == HKEY_CURRENT_USER) return {comrt::registry::kCurrentUser, {}, KEY_ALL_ACCESS, true};
    if (key == HKEY_CLASSES_ROOT) return {comrt::registry::kLocalMachine, {"SOFTWARE", "Classes"}, KEY_ALL_ACCESS, true};
    std::lock_guard lock(mutex_);
    const auto it = open_.find(value);
    if (it == open_.end()) throw Failure(ERROR_INVALID_HANDLE);
    return it->second;
  }

  bool Close(HKEY key) {
    std::lock_guard lock(mutex_);
    return open_.erase(reinterpret_cast<uintptr_t>(key)) == 1;
  }

 private:
  std::mutex mutex_;
  uintptr_t next_ = 0x1000;
  std::map<uintptr_t, Location> open_;
};

Handles& OpenKeys() {
  static Handles handles;
  return handles;
}

bool IsPredefined(HKEY key) {
  return key == HKEY_LOCAL_MACHINE || key == HKEY_CURRENT_USER || key == HKEY_CLASSES_ROOT;
}

// Runs one Reg* call: failures become their codes and no exception leaves.
template <typename Body>
LSTATUS Guard(Body body) {
  t_last_error.clear();
  try {
    return body();
  } catch (const Failure& failure) {
    if (*failure.what() != '\0') t_last_error = failure.what();
    return failure.code();
  } catch (const std::bad_alloc&) {
    return ERROR_OUTOFMEMORY;
  } catch (const std::exception& e) {
    t_last_error = e.what();
    return ERROR_REGISTRY_IO_FAILED;
  }
}

bool HasLineBreak(std::string_view name) { return name.find_first_of("\r\n") != std::string_view::npos; }

// The names of a subkey path; a trailing backslash is allowed, a leading one or
// an empty name between two is not.
std::vector<std::string> SplitSubkey(const char* subkey) {
  std::vector<std::string> names;
  if (subkey == nullptr || *subkey == '\0') return names;
  std::string_view rest(subkey);
  if (rest.front() == '\\') throw Failure(ERROR_BAD_PATHNAME);
  if (rest.back() == '\\') rest.remove_suffix(1);
  for (;;) {
    const size_t slash = rest.find('\\');
    const std::string_view name = rest.substr(0, slash);
    if (name.empty()) throw Failure(ERROR_BAD_PATHNAME);
    if (name.size() > kMaxKeyName || HasLineBreak(name)) throw Failure(ERROR_INVALID_PARAMETER);
    names.emplace_back(name);
    if (slash == std::string_view::npos) break;
    rest.remove_prefix(slash + 1);
  }
  return names;
}

std::string ValueName(const char* name) {
  if (name == nullptr) return {};
  if (HasLineBreak(name)) throw Failure(ERROR_INVALID_PARAMETER);
  return name;
}

REGSAM Normalize(REGSAM sam) {
  if (sam & GENERIC_READ) sam |= KEY_READ;
  if (sam & GENERIC_WRITE) sam |= KEY_WRITE;
  if (sam & GENERIC_ALL) sam |= KEY_ALL_ACCESS;
  return sam & ~(GENERIC_READ | GENERIC_WRITE | GENERIC_ALL | KEY_WOW64_32KEY | KEY_WOW64_64KEY);
}

const Key* Walk(const Key* key, const std::vector<std::string>& names) {
  for (const std::string& name : names) {
    if (key == nullptr) return nullptr;
    key = key->Find(name);
  }
  return key;
}

// The key a location names, or null when the file has no such key. A predefined
// key missing from the file reads as an empty key.
const Key* Find(const Hive& hive, const Location& at) {
  static const Key empty;
  const Key* key = Walk(hive.Root(at.root), at.path);
  return key == nullptr && at.predefined ? &empty : key;
}

Key* Find(Hive& hive, const Location& at) {
  thread_local Key empty;
  const Key* key = Walk(hive.Root(at.root), at.path);
  if (key == nullptr && at.predefined) {
    empty.Clear();
    return &empty;
  }
  return const_cast<Key*>(key);
}

Key& Create(Hive& hive, const Location& at) {
  Key* key = hive.Root(at.root);
  for (const std::string& name : at.path) key = &key->Create(name);
  return *key;
}

// The key a handle stands for, which must still exist, and the rights it needs.
template <typename Tree>
auto& Existing(Tree& hive, const Location& at, REGSAM needed) {
  if ((at.access & needed) != needed) throw Failure(ERROR_ACCESS_DENIED);
  auto* key = Find(hive, at);
  if (key == nullptr) throw Failure(ERROR_KEY_DELETED);
  return *key;
}

Location Below(const Location& parent, const std::vector<std::string>& names, REGSAM access) {
  Location child = parent;
  child.path.insert(child.path.end(), names.begin(), names.end());
  if (child.path.size() >= comrt::registry::kMaxDepth) throw Failure(ERROR_INVALID_PARAMETER);
  child.access = access;
  child.predefined = parent.predefined && names.empty();
  return child;
}

}  // namespace

LSTATUS RegOpenKeyExA(HKEY hKey, const char* lpSubKey, DWORD, REGSAM samDesired, PHKEY phkResult) {
  return Guard([&] {
    if (phkResult == nullptr) return ERROR_INVALID_PARAMETER;
    *phkResult = nullptr;
    const REGSAM access = Normalize(samDesired);
    const Location at = Below(OpenKeys().Get(hKey), SplitSubkey(lpSubKey), access);
    if ((access & kWriteRights) && !comrt::registry::InTransaction()) comrt::registry::RequireWritable();
    if (Find(*comrt::registry::Load(), at) == nullptr) return ERROR_FILE_NOT_FOUND;
    *phkResult = OpenKeys().Add(at);
    return ERROR_SUCCESS;
  });
}

LSTATUS RegCreateKeyExA(HKEY hKey, const char* lpSubKey, DWORD, char*, DWORD, REGSAM samDesired,
                        const SECURITY_ATTRIBUTES*, PHKEY phkResult, DWORD* lpdwDisposition) {
  return Guard([&] {
    if (phkResult == nullptr || lpSubKey == nullptr) return ERROR_INVALID_PARAMETER;
    *phkResult = nullptr;
    const REGSAM access = Normalize(samDesired);
    const Location parent = OpenKeys().Get(hKey);
    const Location at = Below(parent, SplitSubkey(lpSubKey), access);
    if ((access & kWriteRights) && !comrt::registry::InTransaction()) comrt::registry::RequireWritable();
    DWORD disposition = REG_OPENED_EXISTING_KEY;
    if (Find(*comrt::registry::Load(), at) == nullptr) {
      if (!(parent.access & KEY_CREATE_SUB_KEY)) return ERROR_ACCESS_DENIED;
      comrt::registry::Update([&](Hive& hive) {
        Existing(hive, parent, 0);
        if (Find(hive, at) != nullptr) return false;
        Create(hive, at);
        disposition = REG_CREATED_NEW_KEY;
        return true;
      });
    }
    if (lpdwDisposition != nullptr) *lpdwDisposition = disposition;
    *phkResult = OpenKeys().Add(at);
    return ERROR_SUCCESS;
  });
}

LSTATUS RegCloseKey(HKEY hKey) {
  if (IsPredefined(hKey)) return ERROR_SUCCESS;
  return OpenKeys().Close(hKey) ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
}

LSTATUS RegQueryValueExA(HKEY hKey, const char* lpValueName, DWORD* lpReserved, DWORD* lpType, BYTE* lpData,
                         DWORD* lpcbData) {
  return Guard([&] {
    if (lpReserved != nullptr || (lpData != nullptr && lpcbData == nullptr)) return ERROR_INVALID_PARAMETER;
    const Location at = OpenKeys().Get(hKey);
    const auto hive = comrt::registry::Load();
    const Key& key = Existing(*hive, at, KEY_QUERY_VALUE);
    const comrt::registry::Value* value = key.FindValue(ValueName(lpValueName));
    if (value == nullptr) return ERROR_FILE_NOT_FOUND;
    const auto size = static_cast<DWORD>(value->data.size());
    if (lpType != nullptr) *lpType = value->type;
    if (lpcbData == nullptr) return ERROR_SUCCESS;
    const DWORD room = *lpcbData;
    *lpcbData = size;
    if (lpData == nullptr) return ERROR_SUCCESS;
    if (room < size) return ERROR_MORE_DATA;
    if (size != 0) std::memcpy(lpData, value->data.data(), size);
    return ERROR_SUCCESS;
  });
}

LSTATUS RegSetValueExA(HKEY hKey, const char* lpValueName, DWORD Reserved, DWORD dwType, const BYTE* lpData,
                       DWORD cbData) {
  return Guard([&] {
    if (Reserved != 0 || (lpData == nullptr && cbData != 0)) return ERROR_INVALID_PARAMETER;
    const Location at = OpenKeys().Get(hKey);
    if (!(at.access & KEY_SET_VALUE)) return ERROR_ACCESS_DENIED;
    comrt::registry::Value value{ValueName(lpValueName), dwType, {}, {}};
    if (cbData != 0) value.data.assign(lpData, lpData + cbData);
    comrt::registry::Update([&](Hive& hive) {
      Existing(hive, at, KEY_SET_VALUE);
      Create(hive, at).SetValue(std::move(value));
      return true;
    });
    return ERROR_SUCCESS;
  });
}

LSTATUS RegDeleteValueA(HKEY hKey, const char* lpValueName) {
  return Guard([&] {
    const Location at = OpenKeys().Get(hKey);
    if (!(at.access & KEY_SET_VALUE)) return ERROR_ACCESS_DENIED;
    const std::string name = ValueName(lpValueName);
    LSTATUS status = ERROR_SUCCESS;
    comrt::registry::Update([&](Hive& hive) {
      if (!Existing(hive, at, KEY_SET_VALUE).DeleteValue(name)) status = ERROR_FILE_NOT_FOUND;
      return status == ERROR_SUCCESS;
    });
    return status;
  });
}

namespace {

// Removes the key at (or, with names empty, below) a location. Top-level keys and
// the predefined keys stay; only their contents can go.
LSTATUS DeleteKey(HKEY hKey, const char* lpSubKey, bool tree) {
  const Location parent = OpenKeys().Get(hKey);
  const std::vector<std::string> names = SplitSubkey(lpSubKey);
  const Location at = Below(parent, names, KEY_ALL_ACCESS);
  const bool empty_only = tree && lpSubKey == nullptr;
  LSTATUS status = ERROR_SUCCESS;
  comrt::registry::Update([&](Hive& hive) {
    Key* key = Find(hive, at);
    if (key == nullptr) {
      status = names.empty() ? ERROR_KEY_DELETED : ERROR_FILE_NOT_FOUND;
      return false;
    }
    if (empty_only) {
      key->Clear();
      return true;
    }
    if (at.predefined || at.path.empty() || (!tree && !key->subkeys.empty())) {
      status = ERROR_ACCESS_DENIED;
      return false;
    }
    Location above = at;
    above.path.pop_back();
    Key* holder = Find(hive, above);
    holder->subkeys.erase(holder->subkeys.find(at.path.back()));
    return true;
  });
  return status;
}

}  // namespace

LSTATUS RegDeleteKeyA(HKEY hKey, const char* lpSubKey) {
  return Guard([&] { return lpSubKey == nullptr ? ERROR_INVALID_PARAMETER : DeleteKey(hKey, lpSubKey, false); });
}

LSTATUS RegDeleteTreeA(HKEY hKey, const char* lpSubKey) {
  return Guard([&] { return DeleteKey(hKey, lpSubKey, true); });
}

namespace {

// Where the last enumeration on this thread stood, so that asking for the next
// index costs one step and not a walk from the first subkey. It does not keep the
// tree alive: a writer that finds the process's tree held elsewhere copies it.
struct EnumCursor {
  std::weak_ptr<const Hive> hive;
  uint64_t revision = 0;
  const Key* key = nullptr;
  DWORD index = 0;
  Key::Subkeys::const_iterator at;
};

thread_local EnumCursor t_cursor;

}  // namespace

LSTATUS RegEnumKeyExA(HKEY hKey, DWORD dwIndex, char* lpName, DWORD* lpcchName, DWORD* lpReserved, char* lpClass,
                      DWORD* lpcchClass, FILETIME* lpftLastWriteTime) {
  return Guard([&] {
    if (lpName == nullptr || lpcchName == nullptr || lpReserved != nullptr) return ERROR_INVALID_PARAMETER;
    const Location at = OpenKeys().Get(hKey);
    auto hive = comrt::registry::Load();
    const Key& key = Existing(*hive, at, KEY_ENUMERATE_SUB_KEYS);
    if (dwIndex >= key.subkeys.size()) return ERROR_NO_MORE_ITEMS;
    EnumCursor& cursor = t_cursor;
    const uint64_t revision = comrt::registry::Revision();
    if (cursor.hive.lock() != hive || cursor.revision != revision || cursor.key != &key || cursor.index > dwIndex) {
      cursor = {hive, revision, &key, 0, key.subkeys.begin()};
    }
    cursor.at = std::next(cursor.at, dwIndex - cursor.index);
    cursor.index = dwIndex;
    const std::string& name = cursor.at->second->name;
    if (name.size() + 1 > *lpcchName) return ERROR_MORE_DATA;
    std::memcpy(lpName, name.c_str(), name.size() + 1);
    *lpcchName = static_cast<DWORD>(name.size());
    if (lpClass != nullptr && lpcchClass != nullptr && *lpcchClass > 0) *lpClass = '\0';
    if (lpcchClass != nullptr) *lpcchClass = 0;
    if (lpftLastWriteTime != nullptr) *lpftLastWriteTime = FILETIME{0, 0};
    return ERROR_SUCCESS;
  });
}

namespace comrt {

RegistryTransaction::RegistryTransaction() {
  status_ = Guard([] {
    registry::BeginTransaction();
    return ERROR_SUCCESS;
  });
  open_ = status_ == ERROR_SUCCESS;
}

RegistryTransaction::~RegistryTransaction() {
  if (open_) registry::EndTransaction();
}

LSTATUS RegistryTransaction::Commit() {
  if (!open_) return status_;
  return Guard([] {
    registry::CommitTransaction();
    return ERROR_SUCCESS;
  });
}

std::string RegistryPath() { return registry::FilePath(); }

// One look at one state of the registry: a key that another process removes
// meanwhile is simply not there.
LSTATUS ReadRegistryText(HKEY root, const std::string& subkey, const char* value, std::string& text) {
  return Guard([&] {
    const Location at = Below(OpenKeys().Get(root), SplitSubkey(subkey.c_str()), KEY_QUERY_VALUE);
    const auto hive = registry::Load();
    const Key* key = Find(*hive, at);
    const registry::Value* found = key == nullptr ? nullptr : key->FindValue(ValueName(value));
    if (found == nullptr || (found->type != REG_SZ && found->type != REG_EXPAND_SZ)) return ERROR_FILE_NOT_FOUND;
    text.assign(found->data.begin(), found->data.end());
    if (!text.empty() && text.back() == '\0') text.pop_back();
    return ERROR_SUCCESS;
  });
}

std::string RegistryLastError() { return t_last_error; }

}  // namespace comrt

// The registry: the documented Reg* functions over one text file in the
// registry-export format.
//
// The file is named by the environment variable QEL_REGISTRY, else it is
// ${XDG_CONFIG_HOME:-$HOME/.config}/qelcom/registry.reg; it is created, with its
// folder, on the first write, in the modes the umask leaves. Each process keeps
// the parsed file and reads it again only when it changed (where the file's times
// have no fraction of a second, as on filesystems that keep whole seconds, it reads
// it again for two seconds after a change), so every call sees the file as it is
// at that moment and a key handle holds only a path and its access rights. A write
// takes an exclusive flock on "<file>.lock" (opened without following a link; a
// writer that waits more than 10 s for it fails), reads the file again, applies
// the change and replaces the file by rename, then flushes the folder (and the
// folders it made), so writers in several processes never lose each other's
// changes and a change reported done survives a power cut; the temporary files of
// a writer killed mid-write are removed by the next one. A RegistryTransaction
// makes many changes one write.
//
// The path is walked one name at a time, every later step relative to the folder
// found: a link swapped in after the walk is never followed, and a write changes
// no file but the one named (or the target of a link the walk followed).
//
// Refused with a description in RegistryLastError: a path that names a FIFO,
// device, socket or directory, a file over 256 MiB, a symbolic link on the way
// owned by another user (not root, not the folder's owner) in a folder others can
// write, a lock file that is a symbolic link, and a file the caller cannot read.
// A change that would make the file larger than 256 MiB fails with
// ERROR_REGISTRY_QUOTA_LIMIT and leaves the file as it was.
//
// The reader takes UTF-8 and the UTF-16LE form (with its byte-order mark) that
// Windows' registry editor exports, under either of its headers, and a file of
// nothing but a byte-order mark and blank lines as an empty one, as an empty
// file; the writer writes UTF-8. Comment lines stay before the key or value they
// stood before.
//
// HKEY_CLASSES_ROOT is HKEY_LOCAL_MACHINE\SOFTWARE\Classes. Key and value names
// compare without regard to (ASCII) case and keep the case they were created with.
//
// A file that cannot be parsed makes every call fail with ERROR_BADDB and is never
// rewritten; comrt::RegistryLastError() then names the file and the line.
//
// Write rights (KEY_SET_VALUE, KEY_CREATE_SUB_KEY, KEY_CREATE_LINK, DELETE,
// WRITE_DAC, WRITE_OWNER) are refused with ERROR_ACCESS_DENIED when the file is
// read-only or not readable for the caller. That is decided from the permission bits of the file
// (and of its folder, which the rename needs) that apply to the caller, as the
// owner, a group member or another user, without the superuser's override: a
// file made read-only with chmod stays read-only for root too.
#pragma once
#include <cstdint>
#include <string>

#include "com/types.h"

using LSTATUS = LONG;
using REGSAM = DWORD;

struct HKEY__;
using HKEY = HKEY__*;
using PHKEY = HKEY*;

struct FILETIME {
  DWORD dwLowDateTime;
  DWORD dwHighDateTime;
};

// The predefined keys, with their documented handle values.
inline HKEY const HKEY_CLASSES_ROOT = reinterpret_cast<HKEY>(uintptr_t{0x80000000});
inline HKEY const HKEY_CURRENT_USER = reinterpret_cast<HKEY>(uintptr_t{0x80000001});
inline HKEY const HKEY_LOCAL_MACHINE = reinterpret_cast<HKEY>(uintptr_t{0x80000002});

// Access rights.
constexpr REGSAM KEY_QUERY_VALUE = 0x0001;
constexpr REGSAM KEY_SET_VALUE = 0x0002;
constexpr REGSAM KEY_CREATE_SUB_KEY = 0x0004;
constexpr REGSAM KEY_ENUMERATE_SUB_KEYS = 0x0008;
constexpr REGSAM KEY_NOTIFY = 0x0010;
constexpr REGSAM KEY_CREATE_LINK = 0x0020;
constexpr REGSAM KEY_WOW64_64KEY = 0x0100;
constexpr REGSAM KEY_WOW64_32KEY = 0x0200;
constexpr REGSAM DELETE = 0x00010000;
constexpr REGSAM READ_CONTROL = 0x00020000;
constexpr REGSAM WRITE_DAC = 0x00040000;
constexpr REGSAM WRITE_OWNER = 0x00080000;
constexpr REGSAM SYNCHRONIZE = 0x00100000;
constexpr REGSAM STANDARD_RIGHTS_READ = READ_CONTROL;
constexpr REGSAM STANDARD_RIGHTS_WRITE = READ_CONTROL;
constexpr REGSAM STANDARD_RIGHTS_ALL = 0x001F0000;
constexpr REGSAM GENERIC_ALL = 0x10000000;
constexpr REGSAM GENERIC_WRITE = 0x40000000;
constexpr REGSAM GENERIC_READ = 0x80000000;
constexpr REGSAM KEY_READ = (STANDARD_RIGHTS_READ | KEY_QUERY_VALUE | KEY_ENUMERATE_SUB_KEYS | KEY_NOTIFY) & ~SYNCHRONIZE;
constexpr REGSAM KEY_WRITE = (STANDARD_RIGHTS_WRITE | KEY_SET_VALUE | KEY_CREATE_SUB_KEY) & ~SYNCHRONIZE;
constexpr REGSAM KEY_EXECUTE = KEY_READ & ~SYNCHRONIZE;
constexpr REGSAM KEY_ALL_ACCESS = (STANDARD_RIGHTS_ALL | KEY_QUERY_VALUE | KEY_SET_VALUE | KEY_CREATE_SUB_KEY |
                                   KEY_ENUMERATE_SUB_KEYS | KEY_NOTIFY | KEY_CREATE_LINK) &
                                  ~SYNCHRONIZE;

// Value types. The file writes REG_SZ as "text", REG_DWORD as dword:, REG_BINARY
// as hex: and any other type, or data those forms cannot hold, as hex(type):.
constexpr DWORD REG_NONE = 0;
constexpr DWORD REG_SZ = 1;
constexpr DWORD REG_EXPAND_SZ = 2;
constexpr DWORD REG_BINARY = 3;
constexpr DWORD REG_DWORD = 4;
constexpr DWORD REG_MULTI_SZ = 7;
constexpr DWORD REG_QWORD = 11;

// RegCreateKeyExA options and dispositions.
constexpr DWORD REG_OPTION_NON_VOLATILE = 0;
constexpr DWORD REG_CREATED_NEW_KEY = 1;
constexpr DWORD REG_OPENED_EXISTING_KEY = 2;

// Error codes.
constexpr LONG ERROR_SUCCESS = 0;
constexpr LONG ERROR_FILE_NOT_FOUND = 2;
constexpr LONG ERROR_ACCESS_DENIED = 5;
constexpr LONG ERROR_INVALID_HANDLE = 6;
constexpr LONG ERROR_OUTOFMEMORY = 14;
constexpr LONG ERROR_INVALID_PARAMETER = 87;
constexpr LONG ERROR_BAD_PATHNAME = 161;
constexpr LONG ERROR_MORE_DATA = 234;
constexpr LONG ERROR_NO_MORE_ITEMS = 259;
constexpr LONG ERROR_REGISTRY_QUOTA_LIMIT = 613;
constexpr LONG ERROR_BADDB = 1009;
constexpr LONG ERROR_KEY_DELETED = 1018;
constexpr LONG ERROR_REGISTRY_IO_FAILED = 1016;

struct SECURITY_ATTRIBUTES;

extern "C" {

LSTATUS RegOpenKeyExA(HKEY hKey, const char* lpSubKey, DWORD ulOptions, REGSAM samDesired, PHKEY phkResult);
LSTATUS RegCreateKeyExA(HKEY hKey, const char* lpSubKey, DWORD Reserved, char* lpClass, DWORD dwOptions,
                        REGSAM samDesired, const SECURITY_ATTRIBUTES* lpSecurityAttributes, PHKEY phkResult,
                        DWORD* lpdwDisposition);
LSTATUS RegCloseKey(HKEY hKey);
LSTATUS RegQueryValueExA(HKEY hKey, const char* lpValueName, DWORD* lpReserved, DWORD* lpType, BYTE* lpData,
                         DWORD* lpcbData);
LSTATUS RegSetValueExA(HKEY hKey, const char* lpValueName, DWORD Reserved, DWORD dwType, const BYTE* lpData,
                       DWORD cbData);
LSTATUS RegDeleteValueA(HKEY hKey, const char* lpValueName);
// Deletes a key that has no subkeys (ERROR_ACCESS_DENIED otherwise).
LSTATUS RegDeleteKeyA(HKEY hKey, const char* lpSubKey);
// Deletes the subkey with all it holds; with lpSubKey null, empties hKey itself.
LSTATUS RegDeleteTreeA(HKEY hKey, const char* lpSubKey);
// Subkeys in order of their names without regard to case. *lpcchName is the
// buffer's size in characters on entry and the name's length on return.
LSTATUS RegEnumKeyExA(HKEY hKey, DWORD dwIndex, char* lpName, DWORD* lpcchName, DWORD* lpReserved, char* lpClass,
                      DWORD* lpcchClass, FILETIME* lpftLastWriteTime);

}  // extern "C"

namespace comrt {

// The registry file in use: QEL_REGISTRY, else the per-user default.
std::string RegistryPath();

// The text of a REG_SZ or REG_EXPAND_SZ value, without its terminating zero.
// ERROR_FILE_NOT_FOUND also when the value is not text.
LSTATUS ReadRegistryText(HKEY root, const std::string& subkey, const char* value, std::string& text);

// Creates the key as needed and sets the value as REG_SZ.
LSTATUS WriteRegistryText(HKEY root, const std::string& subkey, const char* value, const std::string& text);

// The description of the failure of this thread's last Reg* call when it came
// from the registry file (malformed, unreadable, unwritable, read-only, refused),
// with file name and line where there is one; else empty.
std::string RegistryLastError();

// Makes the registry changes this thread makes while it lives one change of the
// file: it locks the file and reads it again, the calls that follow on this thread
// see and change a tree in memory, and Commit writes that tree with one replace of
// the file. Changes not committed are dropped. Other threads and processes that
// write wait for the lock. A transaction opened inside another joins it: its
// Commit does nothing, the outer one writes.
class RegistryTransaction {
 public:
  RegistryTransaction();
  ~RegistryTransaction();
  RegistryTransaction(const RegistryTransaction&) = delete;
  RegistryTransaction& operator=(const RegistryTransaction&) = delete;

  // ERROR_SUCCESS when the transaction is open, else why not (RegistryLastError
  // describes it); calls then go to the file one by one.
  LSTATUS status() const { return status_; }
  LSTATUS Commit();

 private:
  LSTATUS status_;
  bool open_;
};

}  // namespace comrt

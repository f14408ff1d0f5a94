// Reads and writes the registry from a process of its own, for the tests that
// need a second process:
//   registry_helper set KEY NAME TEXT        REG_SZ value under HKEY_LOCAL_MACHINE\KEY
//   registry_helper get KEY NAME             prints the text
//   registry_helper fill KEY PREFIX COUNT    values PREFIX0 .. PREFIX(COUNT-1), one write each
//   registry_helper churn KEY NAME BYTES     sets the value to BYTES letters, a new letter each
//                                            time, until it is killed
//   registry_helper bump KEY NAME            for each line on standard input: reads the value as
//                                            a number n, sets it to n + 1 and then to n + 2 (eight
//                                            digits each time), and prints "ok"
// Exits 0 on success, else prints the failing code.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "com/registry.h"

namespace {

int Fail(const char* what, LSTATUS status) {
  std::printf("%s failed: %d\n", what, static_cast<int>(status));
  return 1;
}

int Set(const char* subkey, const std::string& name, const std::string& text) {
  HKEY key = nullptr;
  LSTATUS status = RegCreateKeyExA(HKEY_LOCAL_MACHINE, subkey, 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr);
  if (status != ERROR_SUCCESS) return Fail("RegCreateKeyExA", status);
  status = RegSetValueExA(key, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                          static_cast<DWORD>(text.size() + 1));
  RegCloseKey(key);
  return status == ERROR_SUCCESS ? 0 : Fail("RegSetValueExA", status);
}

int Get(const char* subkey, const char* name) {
  HKEY key = nullptr;
  LSTATUS status = RegOpenKeyExA(HKEY_LOCAL_MACHINE, subkey, 0, KEY_READ, &key);
  if (status != ERROR_SUCCESS) return Fail("RegOpenKeyExA", status);
  char buffer[1024] = {};
  DWORD size = sizeof buffer - 1;
  status = RegQueryValueExA(key, name, nullptr, nullptr, reinterpret_cast<BYTE*>(buffer), &size);
  RegCloseKey(key);
  if (status != ERROR_SUCCESS) return Fail("RegQueryValueExA", status);
  std::fputs(buffer, stdout);
  return 0;
}

int Bump(const char* subkey, const char* name) {
  char line[64];
  while (std::fgets(line, sizeof line, stdin) != nullptr) {
    std::string text;
    const LSTATUS status = comrt::ReadRegistryText(HKEY_LOCAL_MACHINE, subkey, name, text);
    if (status != ERROR_SUCCESS) return Fail("ReadRegistryText", status);
    const long n = std::strtol(text.c_str(), nullptr, 10);
    for (const long step : {1, 2}) {
      char digits[16];
      std::snprintf(digits, sizeof digits, "%08ld", n + step);
      if (const int rc = Set(subkey, name, digits); rc != 0) return rc;
    }
    std::puts("ok");
    std::fflush(stdout);
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 5 && std::strcmp(argv[1], "set") == 0) return Set(argv[2], argv[3], argv[4]);
  if (argc == 4 && std::strcmp(argv[1], "get") == 0) return Get(argv[2], argv[3]);
  if (argc == 5 && std::strcmp(argv[1], "fill") == 0) {
    const int count = std::atoi(argv[4]);
    for (int i = 0; i < count; ++i) {
      const std::string name = argv[3] + std::to_string(i);
      if (const int rc = Set(argv[2], name, name); rc != 0) return rc;
    }
    return 0;
  }
  if (argc == 5 && std::strcmp(argv[1], "churn") == 0) {
    const size_t bytes = std::strtoul(argv[4], nullptr, 10);
    for (char letter = 'a';; letter = letter == 'z' ? 'a' : static_cast<char>(letter + 1)) {
      if (const int rc = Set(argv[2], argv[3], std::string(bytes, letter)); rc != 0) return rc;
    }
  }
  if (argc == 4 && std::strcmp(argv[1], "bump") == 0) return Bump(argv[2], argv[3]);
  std::fputs(
      "usage: registry_helper set KEY NAME TEXT | get KEY NAME | fill KEY PREFIX COUNT | churn KEY NAME BYTES |"
      " bump KEY NAME\n",
      stderr);
  return 2;
}

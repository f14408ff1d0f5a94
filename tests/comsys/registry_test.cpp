#include <fcntl.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/mount.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <thread>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <functional>
#include <iterator>
#include <filesystem>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "com/registry.h"
#include "command_output.h"
#include "registry_file.h"
#include "temp_registry.h"

namespace {

CommandOutput Helper(const std::string& args) { return RunCommand(std::string(REGISTRY_HELPER) + " " + args); }

const BYTE* Bytes(const char* text) { return reinterpret_cast<const BYTE*>(text); }

HKEY Create(HKEY root, const char* subkey, REGSAM sam = KEY_ALL_ACCESS) {
  HKEY key = nullptr;
  EXPECT_EQ(RegCreateKeyExA(root, subkey, 0, nullptr, 0, sam, nullptr, &key, nullptr), ERROR_SUCCESS) << subkey;
  return key;
}

void SetText(HKEY key, const char* name, const char* text) {
  ASSERT_EQ(RegSetValueExA(key, name, 0, REG_SZ, Bytes(text), static_cast<DWORD>(std::strlen(text) + 1)),
            ERROR_SUCCESS);
}

// The value's text, or "<code>" when the look-up fails.
std::string Text(HKEY root, const char* subkey, const char* name) {
  HKEY key = nullptr;
  LSTATUS status = RegOpenKeyExA(root, subkey, 0, KEY_READ, &key);
  if (status != ERROR_SUCCESS) return "<" + std::to_string(status) + ">";
  char buffer[256] = {};
  DWORD size = sizeof buffer - 1;
  status = RegQueryValueExA(key, name, nullptr, nullptr, reinterpret_cast<BYTE*>(buffer), &size);
  RegCloseKey(key);
  if (status != ERROR_SUCCESS) return "<" + std::to_string(status) + ">";
  return std::string(buffer, size);
}

using RegistryTest = TempRegistry;

TEST_F(RegistryTest, ValuesWrittenHereAreReadInAnotherProcessAndTheOtherWay) {
  HKEY key = Create(HKEY_LOCAL_MACHINE, "SOFTWARE\\Qel\\Tools");
  SetText(key, "PATH", "C:\\Tools \"quoted\"");
  RegCloseKey(key);

  const CommandOutput got = Helper("get 'SOFTWARE\\Qel\\Tools' PATH");
  EXPECT_EQ(got.exit_code, 0) << got.output;
  EXPECT_EQ(got.output, "C:\\Tools \"quoted\"");

  EXPECT_EQ(Helper("set 'SOFTWARE\\Qel\\Other' Name 'from child'").exit_code, 0);
  EXPECT_EQ(Text(HKEY_LOCAL_MACHINE, "SOFTWARE\\Qel\\Other", "Name"), std::string("from child\0", 11));
  EXPECT_EQ(Text(HKEY_LOCAL_MACHINE, "SOFTWARE\\Qel\\Tools", "PATH"), std::string("C:\\Tools \"quoted\"\0", 18));

  // Changes that keep the file's size, one right after the other, are seen by
  // the next call all the same: by another process, and by a hand edit in place.
  EXPECT_EQ(Helper("set 'SOFTWARE\\Qel\\Other' Name 'from Child'").exit_code, 0);
  EXPECT_EQ(Text(HKEY_LOCAL_MACHINE, "SOFTWARE\\Qel\\Other", "Name"), std::string("from Child\0", 11));
  std::string text = ReadFile();
  text.replace(text.find("from Child"), 10, "by editor!");
  WriteFile(text);
  EXPECT_EQ(Text(HKEY_LOCAL_MACHINE, "SOFTWARE\\Qel\\Other", "Name"), std::string("by editor!\0", 11));
}

TEST_F(RegistryTest, FileIsInTheExportFormat) {
  HKEY key = Create(HKEY_CLASSES_ROOT, "CLSID\\{X}\\InprocServer32");
  SetText(key, nullptr, "/lib/a \\ b.so");
  const DWORD answer = 42;
  ASSERT_EQ(RegSetValueExA(key, "Answer", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&answer), 4), ERROR_SUCCESS);
  const BYTE blob[] = {0x00, 0x01, 0xfe};
  ASSERT_EQ(RegSetValueExA(key, "Blob", 0, REG_BINARY, blob, 3), ERROR_SUCCESS);
  ASSERT_EQ(RegSetValueExA(key, "Unended", 0, REG_SZ, Bytes("ab"), 2), ERROR_SUCCESS);
  RegCloseKey(key);

  EXPECT_EQ(ReadFile(),
            "Windows Registry Editor Version 5.00\n\n"
            "[HKEY_LOCAL_MACHINE\\SOFTWARE]\n\n"
            "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes]\n\n"
            "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\CLSID]\n\n"
            "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\CLSID\\{X}]\n\n"
            "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\CLSID\\{X}\\InprocServer32]\n"
            "@=\"/lib/a \\\\ b.so\"\n"
            "\"Answer\"=dword:0000002a\n"
            "\"Blob\"=hex:00,01,fe\n"
            "\"Unended\"=hex(1):61,62\n\n");
}

TEST_F(RegistryTest, HandWrittenFileIsRead) {
  WriteFile(
      "\xEF\xBB\xBFWindows Registry Editor Version 5.00\r\n\r\n"
      "; a comment\r\n"
      "[HKEY_CLASSES_ROOT\\QELCom.Thing\\CLSID]\r\n"
      "@=\"{1}\"\r\n"
      "[HKEY_LOCAL_MACHINE\\Data]\r\n"
      "\"Long\"=hex(2):41,42,\\\r\n"
      "  43,00\r\n"
      "\"Number\"=DWORD:00012345\r\n");
  EXPECT_EQ(Text(HKEY_CLASSES_ROOT, "QELCom.Thing\\CLSID", ""), std::string("{1}\0", 4));
  EXPECT_EQ(Text(HKEY_LOCAL_MACHINE, "Data", "Long"), std::string("ABC\0", 4));
  HKEY key = nullptr;
  ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Data", 0, KEY_READ, &key), ERROR_SUCCESS);
  DWORD type = 0, number = 0, size = 4;
  ASSERT_EQ(RegQueryValueExA(key, "Number", nullptr, &type, reinterpret_cast<BYTE*>(&number), &size), ERROR_SUCCESS);
  EXPECT_EQ(type, REG_DWORD);
  EXPECT_EQ(number, 0x12345u);
  RegCloseKey(key);
}

TEST_F(RegistryTest, NamesCompareWithoutCaseAndKeepTheirFirstSpelling) {
  HKEY key = Create(HKEY_LOCAL_MACHINE, "Software\\MixedCase");
  SetText(key, "ValueName", "one");
  RegCloseKey(key);
  key = Create(HKEY_LOCAL_MACHINE, "SOFTWARE\\MIXEDCASE");
  SetText(key, "VALUENAME", "two");
  RegCloseKey(key);

  EXPECT_EQ(Text(HKEY_LOCAL_MACHINE, "software\\mixedcase", "valuename"), std::string("two\0", 4));
  const std::string file = ReadFile();
  EXPECT_NE(file.find("[HKEY_LOCAL_MACHINE\\Software\\MixedCase]\n\"ValueName\"=\"two\"\n"), std::string::npos) << file;
  EXPECT_EQ(file.find("MIXEDCASE"), std::string::npos);

  ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE", 0, KEY_READ, &key), ERROR_SUCCESS);
  char name[32];
  DWORD length = sizeof name;
  ASSERT_EQ(RegEnumKeyExA(key, 0, name, &length, nullptr, nullptr, nullptr, nullptr), ERROR_SUCCESS);
  EXPECT_STREQ(name, "MixedCase");
  EXPECT_EQ(length, 9u);
  length = sizeof name;
  EXPECT_EQ(RegEnumKeyExA(key, 1, name, &length, nullptr, nullptr, nullptr, nullptr), ERROR_NO_MORE_ITEMS);
  length = 4;
  EXPECT_EQ(RegEnumKeyExA(key, 0, name, &length, nullptr, nullptr, nullptr, nullptr), ERROR_MORE_DATA);
  RegCloseKey(key);
}

TEST_F(RegistryTest, QueryFollowsTheBufferContract) {
  HKEY key = Create(HKEY_LOCAL_MACHINE, "Q");
  SetText(key, "Name", "12345");
  SetText(key, "", "default");
  BYTE buffer[16] = {};
  DWORD type = 0, size = 0;

  EXPECT_EQ(RegQueryValueExA(key, "Name", nullptr, &type, nullptr, &size), ERROR_SUCCESS);
  EXPECT_EQ(size, 6u);
  EXPECT_EQ(type, REG_SZ);
  size = 3;
  EXPECT_EQ(RegQueryValueExA(key, "Name", nullptr, nullptr, buffer, &size), ERROR_MORE_DATA);
  EXPECT_EQ(size, 6u);
  EXPECT_EQ(buffer[0], 0) << "a short buffer is left alone";
  size = 6;
  EXPECT_EQ(RegQueryValueExA(key, "Name", nullptr, nullptr, buffer, &size), ERROR_SUCCESS);
  EXPECT_STREQ(reinterpret_cast<char*>(buffer), "12345");

  size = sizeof buffer;
  EXPECT_EQ(RegQueryValueExA(key, nullptr, nullptr, nullptr, buffer, &size), ERROR_SUCCESS);
  EXPECT_STREQ(reinterpret_cast<char*>(buffer), "default");
  size = sizeof buffer;
  EXPECT_EQ(RegQueryValueExA(key, "Missing", nullptr, nullptr, buffer, &size), ERROR_FILE_NOT_FOUND);
  DWORD reserved = 0;
  EXPECT_EQ(RegQueryValueExA(key, "Name", &reserved, nullptr, buffer, &size), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(RegQueryValueExA(key, "Name", nullptr, nullptr, buffer, nullptr), ERROR_INVALID_PARAMETER);
  RegCloseKey(key);
  EXPECT_EQ(RegQueryValueExA(key, "Name", nullptr, nullptr, buffer, &size), ERROR_INVALID_HANDLE);
  EXPECT_EQ(RegCloseKey(key), ERROR_INVALID_HANDLE);
}

TEST_F(RegistryTest, BadArgumentsAndPathsAreRefused) {
  HKEY key = nullptr;
  struct Case {
    const char* subkey;
    LSTATUS open, create;
  };
  const std::string too_long(256, 'k');
  const Case cases[] = {
      {"\\Leading", ERROR_BAD_PATHNAME, ERROR_BAD_PATHNAME},
      {"Two\\\\Slashes", ERROR_BAD_PATHNAME, ERROR_BAD_PATHNAME},
      {"Line\nBreak", ERROR_INVALID_PARAMETER, ERROR_INVALID_PARAMETER},
      {too_long.c_str(), ERROR_INVALID_PARAMETER, ERROR_INVALID_PARAMETER},
      {"Missing", ERROR_FILE_NOT_FOUND, ERROR_SUCCESS},
      {"Trailing\\", ERROR_FILE_NOT_FOUND, ERROR_SUCCESS},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, c.subkey, 0, KEY_READ, &key), c.open) << c.subkey;
    EXPECT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, c.subkey, 0, nullptr, 0, KEY_READ, nullptr, &key, nullptr),
              c.create)
        << c.subkey;
    if (c.create == ERROR_SUCCESS) RegCloseKey(key);
  }
  // Keys nest at most 511 levels below a top-level key.
  std::string deep = "k";
  for (int i = 0; i < 508; ++i) deep += "\\k";
  EXPECT_EQ(RegCreateKeyExA(HKEY_CLASSES_ROOT, deep.c_str(), 0, nullptr, 0, KEY_READ, nullptr, &key, nullptr),
            ERROR_SUCCESS);
  RegCloseKey(key);
  EXPECT_EQ(RegCreateKeyExA(HKEY_CLASSES_ROOT, (deep + "\\k").c_str(), 0, nullptr, 0, KEY_READ, nullptr, &key,
                            nullptr),
            ERROR_INVALID_PARAMETER);
  EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Missing", 0, KEY_READ, nullptr), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, nullptr, 0, nullptr, 0, KEY_READ, nullptr, &key, nullptr),
            ERROR_INVALID_PARAMETER);
  EXPECT_EQ(RegOpenKeyExA(reinterpret_cast<HKEY>(uintptr_t{12345}), "x", 0, KEY_READ, &key), ERROR_INVALID_HANDLE);
  EXPECT_EQ(RegSetValueExA(HKEY_LOCAL_MACHINE, "v", 1, REG_SZ, Bytes("a"), 2), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(RegSetValueExA(HKEY_LOCAL_MACHINE, "v", 0, REG_SZ, nullptr, 2), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(RegSetValueExA(HKEY_LOCAL_MACHINE, "a\nb", 0, REG_SZ, Bytes("a"), 2), ERROR_INVALID_PARAMETER);
}

TEST_F(RegistryTest, CreateReportsWhetherTheKeyWasNewAndNeedsTheRightToCreate) {
  HKEY key = nullptr;
  DWORD disposition = 0;
  ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, "A\\B", 0, nullptr, 0, KEY_READ, nullptr, &key, &disposition),
            ERROR_SUCCESS);
  EXPECT_EQ(disposition, REG_CREATED_NEW_KEY);
  RegCloseKey(key);
  ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, "a\\b", 0, nullptr, 0, KEY_READ, nullptr, &key, &disposition),
            ERROR_SUCCESS);
  EXPECT_EQ(disposition, REG_OPENED_EXISTING_KEY);
  RegCloseKey(key);

  HKEY reader = nullptr;
  ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "A", 0, KEY_READ, &reader), ERROR_SUCCESS);
  EXPECT_EQ(RegCreateKeyExA(reader, "B", 0, nullptr, 0, KEY_READ, nullptr, &key, nullptr), ERROR_SUCCESS);
  RegCloseKey(key);
  EXPECT_EQ(RegCreateKeyExA(reader, "C", 0, nullptr, 0, KEY_READ, nullptr, &key, nullptr), ERROR_ACCESS_DENIED);
  EXPECT_EQ(RegSetValueExA(reader, "v", 0, REG_SZ, Bytes("a"), 2), ERROR_ACCESS_DENIED);
  EXPECT_EQ(RegDeleteValueA(reader, "v"), ERROR_ACCESS_DENIED);
  RegCloseKey(reader);
}

TEST_F(RegistryTest, DeletingKeysAndValues) {
  HKEY key = Create(HKEY_LOCAL_MACHINE, "Top\\Middle\\Leaf");
  SetText(key, "v", "x");
  HKEY top = Create(HKEY_LOCAL_MACHINE, "Top");

  EXPECT_EQ(RegDeleteKeyA(HKEY_LOCAL_MACHINE, "Top\\Middle"), ERROR_ACCESS_DENIED) << "it has a subkey";
  EXPECT_EQ(RegDeleteKeyA(HKEY_LOCAL_MACHINE, "Top\\Nothing"), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(RegDeleteKeyA(HKEY_LOCAL_MACHINE, nullptr), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(RegDeleteKeyA(HKEY_LOCAL_MACHINE, ""), ERROR_ACCESS_DENIED) << "a top-level key stays";
  EXPECT_EQ(RegDeleteValueA(key, "absent"), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(RegDeleteValueA(key, "V"), ERROR_SUCCESS);
  EXPECT_EQ(Text(HKEY_LOCAL_MACHINE, "Top\\Middle\\Leaf", "v"), "<2>");

  EXPECT_EQ(RegDeleteKeyA(top, "middle\\LEAF"), ERROR_SUCCESS);
  EXPECT_EQ(RegSetValueExA(key, "v", 0, REG_SZ, Bytes("a"), 2), ERROR_KEY_DELETED);
  EXPECT_EQ(RegDeleteKeyA(HKEY_LOCAL_MACHINE, "Top\\Middle"), ERROR_SUCCESS);
  RegCloseKey(key);

  key = Create(HKEY_LOCAL_MACHINE, "Top\\Deep\\Er\\Still");
  SetText(key, "v", "x");
  RegCloseKey(key);
  SetText(top, "kept?", "no");
  EXPECT_EQ(RegDeleteTreeA(top, nullptr), ERROR_SUCCESS);
  EXPECT_EQ(Text(HKEY_LOCAL_MACHINE, "Top", "kept?"), "<2>");
  EXPECT_EQ(Text(HKEY_LOCAL_MACHINE, "Top\\Deep", "x"), "<2>");
  key = Create(HKEY_LOCAL_MACHINE, "Top\\Again\\Sub");
  RegCloseKey(key);
  EXPECT_EQ(RegDeleteTreeA(HKEY_LOCAL_MACHINE, "Top"), ERROR_SUCCESS);
  EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Top", 0, KEY_READ, &key), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(RegSetValueExA(top, "v", 0, REG_SZ, Bytes("a"), 2), ERROR_KEY_DELETED);
  RegCloseKey(top);
}

TEST_F(RegistryTest, WritersInSeveralProcessesAtOnceLoseNothing) {
  constexpr int kProcesses = 8, kValues = 25;
  std::vector<FILE*> children;
  for (int p = 0; p < kProcesses; ++p) {
    const std::string command = std::string(REGISTRY_HELPER) + " fill Shared P" + std::to_string(p) + "_ " +
                                std::to_string(kValues);
    children.push_back(popen(command.c_str(), "r"));
  }
  for (FILE* child : children) EXPECT_EQ(pclose(child), 0);
  for (int p = 0; p < kProcesses; ++p) {
    for (int v = 0; v < kValues; ++v) {
      const std::string name = "P" + std::to_string(p) + "_" + std::to_string(v);
      EXPECT_EQ(Text(HKEY_LOCAL_MACHINE, "Shared", name.c_str()), name + '\0');
    }
  }
  for (const auto& entry : std::filesystem::directory_iterator(folder_)) {
    const std::string name = entry.path().filename().string();
    EXPECT_TRUE(name == "registry.reg" || name == "registry.reg.lock") << "left behind: " << name;
  }
}

TEST_F(RegistryTest, MalformedFileFailsWithItsLineAndIsNotRewritten) {
  const std::string header = "Windows Registry Editor Version 5.00\n\n";
  struct Case {
    std::string text;
    int line;
  };
  std::string deep = "[HKEY_CLASSES_ROOT";
  for (int i = 0; i < 510; ++i) deep += "\\k";
  const Case cases[] = {
      {"REGEDIT5\n", 1},
      {header + deep + "]\n", 3},
      {header + "\"v\"=\"before any key\"\n", 3},
      {header + "[HKEY_LOCAL_MACHINE\\A]\n\"v\"=\"bad \\n escape\"\n", 4},
      {header + "[HKEY_LOCAL_MACHINE\\A]\n\"v\"=\"unclosed\n", 4},
      {header + "[HKEY_LOCAL_MACHINE\\A]\n\"v\"=dword:1234567890\n", 4},
      {header + "[HKEY_LOCAL_MACHINE\\A]\n\"v\"=hex:01,zz\n", 4},
      {header + "[HKEY_LOCAL_MACHINE\\A]\n\"v\"=hex:01,\\\n", 4},
      {header + "[HKEY_LOCAL_MACHINE\\A]\n\"v\"=hex(1:01\n", 4},
      {header + "[HKEY_LOCAL_MACHINE\\A]\n\"v\"\n", 4},
      {header + "[HKEY_LOCAL_MACHINE\\A]\n\"v\"=-\n", 4},
      {header + "[HKEY_USERS\\A]\n", 3},
      {header + "[HKEY_LOCAL_MACHINE\\\\A]\n", 3},
      {header + "[-HKEY_LOCAL_MACHINE\\A]\n", 3},
      {header + "[HKEY_LOCAL_MACHINE\\A\n", 3},
      {header + "[HKEY_LOCAL_MACHINE\\A]\nstray words\n", 4},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    WriteFile(c.text);
    HKEY key = nullptr;
    EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "A", 0, KEY_READ, &key), ERROR_BADDB);
    EXPECT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, "B", 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr), ERROR_BADDB);
    EXPECT_EQ(RegSetValueExA(HKEY_LOCAL_MACHINE, "v", 0, REG_SZ, Bytes("a"), 2), ERROR_BADDB);
    const std::string message = comrt::RegistryLastError();
    EXPECT_NE(message.find(file_ + " line " + std::to_string(c.line) + ":"), std::string::npos) << message;
    EXPECT_EQ(ReadFile(), c.text);
  }
}

TEST_F(RegistryTest, ReadOnlyFileRefusesWriteRightsButCanBeRead) {
  HKEY key = Create(HKEY_LOCAL_MACHINE, "SOFTWARE\\Tools");
  SetText(key, "PATH", "/bin/true");
  RegCloseKey(key);
  const std::string before = ReadFile();
  ASSERT_EQ(chmod(file_.c_str(), 0444), 0);

  EXPECT_EQ(Text(HKEY_LOCAL_MACHINE, "SOFTWARE\\Tools", "PATH"), std::string("/bin/true\0", 10));
  for (REGSAM sam : {KEY_SET_VALUE, KEY_CREATE_SUB_KEY, KEY_CREATE_LINK, KEY_WRITE, KEY_ALL_ACCESS,
                     READ_CONTROL | 0x3F, DELETE | KEY_READ, GENERIC_WRITE}) {
    SCOPED_TRACE(sam);
    EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Tools", 0, sam, &key), ERROR_ACCESS_DENIED);
    EXPECT_EQ(key, nullptr);
    EXPECT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Tools", 0, nullptr, 0, sam, nullptr, &key, nullptr),
              ERROR_ACCESS_DENIED);
  }
  EXPECT_EQ(RegSetValueExA(HKEY_LOCAL_MACHINE, "v", 0, REG_SZ, Bytes("a"), 2), ERROR_ACCESS_DENIED);
  EXPECT_NE(comrt::RegistryLastError().find("read-only"), std::string::npos);
  EXPECT_EQ(RegDeleteKeyA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Tools"), ERROR_ACCESS_DENIED);
  EXPECT_EQ(ReadFile(), before);

  // A writable file in a folder that may not be written cannot be replaced either.
  ASSERT_EQ(chmod(file_.c_str(), 0644), 0);
  ASSERT_EQ(chmod(folder_.c_str(), 0555), 0);
  EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Tools", 0, KEY_WRITE, &key), ERROR_ACCESS_DENIED);
  EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Tools", 0, KEY_READ, &key), ERROR_SUCCESS);
  RegCloseKey(key);
}

TEST_F(RegistryTest, WriteKeepsTheFileMode) {
  SetText(HKEY_LOCAL_MACHINE, "first", "1");
  ASSERT_EQ(chmod(file_.c_str(), 0600), 0);
  SetText(HKEY_LOCAL_MACHINE, "second", "2");
  struct stat st {};
  ASSERT_EQ(stat(file_.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0600u);
}

TEST_F(RegistryTest, DefaultFileIsInTheConfigFolderAndMadeOnFirstWrite) {
  unsetenv("QEL_REGISTRY");
  const std::string config = folder_ + "/config";
  setenv("XDG_CONFIG_HOME", config.c_str(), 1);
  EXPECT_EQ(comrt::RegistryPath(), config + "/qelcom/registry.reg");
  EXPECT_EQ(Text(HKEY_LOCAL_MACHINE, "Nothing", "yet"), "<2>");
  EXPECT_FALSE(std::filesystem::exists(config));
  SetText(HKEY_CURRENT_USER, "v", "x");
  EXPECT_TRUE(std::filesystem::is_regular_file(config + "/qelcom/registry.reg"));
  EXPECT_EQ(Text(HKEY_CURRENT_USER, "", "v"), std::string("x\0", 2));

  const char* home = std::getenv("HOME");
  const std::string saved_home = home ? home : "";
  unsetenv("XDG_CONFIG_HOME");
  setenv("HOME", folder_.c_str(), 1);
  EXPECT_EQ(comrt::RegistryPath(), folder_ + "/.config/qelcom/registry.reg");
  setenv("HOME", saved_home.c_str(), 1);
}

// The type and bytes of a value, or "<code>" when the look-up fails.
std::string Raw(const char* subkey, const char* name) {
  HKEY key = nullptr;
  LSTATUS status = RegOpenKeyExA(HKEY_LOCAL_MACHINE, subkey, 0, KEY_READ, &key);
  if (status != ERROR_SUCCESS) return "<" + std::to_string(status) + ">";
  DWORD type = 0;
  char buffer[256] = {};
  DWORD size = sizeof buffer;
  status = RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size);
  RegCloseKey(key);
  if (status != ERROR_SUCCESS) return "<" + std::to_string(status) + ">";
  return std::to_string(type) + ":" + std::string(buffer, size);
}

std::string Utf16Export(const std::string& utf8) {
  std::string bytes = "\xFF\xFE";
  for (char16_t c : comrt::Utf8ToUtf16(utf8)) {
    bytes += static_cast<char>(c & 0xFF);
    bytes += static_cast<char>(c >> 8);
  }
  return bytes;
}

TEST_F(RegistryTest, WindowsExportsInUtf16AndTheOlderHeaderReadAsTheirUtf8Form) {
  const std::string body =
      "\r\n; Grüße aus Windows\r\n"
      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Wörter]\r\n"
      "@=\"Käse € \xF0\x9D\x84\x9E\"\r\n"
      "\"Zahl\"=dword:0000002a\r\n"
      "\"Roh\"=hex:01,02,\\\r\n"
      "  03\r\n";
  const std::string utf8 = "Windows Registry Editor Version 5.00\r\n" + body;
  const char* const names[] = {"", "Zahl", "Roh", "missing"};
  WriteFile(utf8);
  std::vector<std::string> expected;
  for (const char* name : names) expected.push_back(Raw("SOFTWARE\\Wörter", name));
  EXPECT_EQ(expected[0], "1:Käse € \xF0\x9D\x84\x9E" + std::string(1, '\0'));

  for (const std::string& text : {Utf16Export(utf8), "REGEDIT4\r\n" + body, Utf16Export("REGEDIT4\r\n" + body)}) {
    WriteFile(text);
    for (size_t i = 0; i < std::size(names); ++i) EXPECT_EQ(Raw("SOFTWARE\\Wörter", names[i]), expected[i]) << names[i];
  }

  // A rewrite writes the UTF-8 form, with the comment where it stood.
  SetText(HKEY_LOCAL_MACHINE, "added", "x");
  const std::string file = ReadFile();
  EXPECT_EQ(file.rfind("Windows Registry Editor Version 5.00\n", 0), 0u) << file;
  EXPECT_NE(file.find("; Grüße aus Windows\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Wörter]\n@=\"Käse € \xF0\x9D\x84\x9E\"\n"),
            std::string::npos)
      << file;

  const std::pair<std::string, std::string> malformed[] = {
      {Utf16Export(utf8 + "[HKEY_LOCAL_MACHINE\\Bad\r\n"), "line 9: key line does not end in ']'"},
      {Utf16Export(utf8) + "A", "line 9: UTF-16 text ends in half a character"},
  };
  for (const auto& [text, message] : malformed) {
    WriteFile(text);
    EXPECT_EQ(Raw("SOFTWARE\\Wörter", ""), "<" + std::to_string(ERROR_BADDB) + ">");
    EXPECT_NE(comrt::RegistryLastError().find(message), std::string::npos) << comrt::RegistryLastError();
  }
}

TEST_F(RegistryTest, CommentsStayBeforeTheirKeyOrValueThroughARewrite) {
  const std::string header = "Windows Registry Editor Version 5.00\n\n";
  WriteFile(header +
            ";; written by hand\n"
            "[HKEY_LOCAL_MACHINE\\A]\n"
            "  ; the first value\n"
            "\"v\"=\"1\"\n"
            "\n"
            "; about B\n"
            "[HKEY_LOCAL_MACHINE\\B]\n"
            "\"w\"=\"2\"\n"
            "; the end\n");
  SetText(Create(HKEY_LOCAL_MACHINE, "A"), "x", "3");
  EXPECT_EQ(ReadFile(), header +
                            ";; written by hand\n"
                            "[HKEY_LOCAL_MACHINE\\A]\n"
                            "; the first value\n"
                            "\"v\"=\"1\"\n"
                            "\"x\"=\"3\"\n"
                            "\n"
                            "; about B\n"
                            "[HKEY_LOCAL_MACHINE\\B]\n"
                            "\"w\"=\"2\"\n"
                            "\n"
                            "; the end\n");
  // A comment goes with what it stood before.
  ASSERT_EQ(RegDeleteTreeA(HKEY_LOCAL_MACHINE, "B"), ERROR_SUCCESS);
  EXPECT_EQ(ReadFile().find("about B"), std::string::npos);
}

TEST_F(RegistryTest, WhatIsNotARegularFileOfTheUserIsRefusedAtOnceWithItsReason) {
  struct Case {
    const char* what;
    std::function<std::string()> make;  // the path to use
    const char* reason;
  };
  const std::string target = folder_ + "/target.reg";
  const auto link_owned_by = [&](uid_t owner) {
    const std::string shared = folder_ + "/shared";
    std::filesystem::create_directory(shared);
    chmod(shared.c_str(), 01777);
    const std::string link = shared + "/registry.reg";
    std::filesystem::remove(link);
    std::filesystem::create_symlink(target, link);
    EXPECT_EQ(lchown(link.c_str(), owner, owner), 0);
    return link;
  };
  const std::string folder_link = folder_ + "/shared/folder";
  const std::string through_folder_link =
      "is reached through " + folder_link + ", a symbolic link owned by another user (uid 4242)";
  const auto folder_link_owned_by = [&](uid_t owner) {
    link_owned_by(owner);
    std::filesystem::remove(folder_link);
    std::filesystem::create_directory_symlink(folder_, folder_link);
    EXPECT_EQ(lchown(folder_link.c_str(), owner, owner), 0);
    return folder_link + "/target.reg";
  };
  const Case cases[] = {
      {"FIFO", [&] { mkfifo(file_.c_str(), 0644); return file_; }, "is a FIFO, not a regular file"},
      {"device", [] { return std::string("/dev/zero"); }, "is a character device, not a regular file"},
      {"directory", [&] { return folder_; }, "is a directory, not a regular file"},
      {"socket",
       [&] {
         const int fd = socket(AF_UNIX, SOCK_STREAM, 0);
         sockaddr_un address{};
         address.sun_family = AF_UNIX;
         std::snprintf(address.sun_path, sizeof address.sun_path, "%s", file_.c_str());
         bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
         close(fd);
         return file_;
       },
       "is a socket, not a regular file"},
      {"over 256 MiB",
       [&] {
         WriteFile("Windows Registry Editor Version 5.00\n");
         EXPECT_EQ(truncate(file_.c_str(), (off_t{256} << 20) + 1), 0);
         return file_;
       },
       "is larger than 256 MiB"},
      {"another user's link in a shared folder", [&] { return link_owned_by(4242); },
       "is a symbolic link owned by another user (uid 4242)"},
      {"another user's link to a folder on the way", [&] { return folder_link_owned_by(4242); },
       through_folder_link.c_str()},
  };
  std::ofstream(target) << "Windows Registry Editor Version 5.00\n\n[HKEY_LOCAL_MACHINE\\A]\n\"v\"=\"1\"\n";
  const bool root = geteuid() == 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    if (std::string(c.what).find("user") != std::string::npos && !root) continue;  // needs lchown to another user
    std::filesystem::remove(file_);
    const std::string path = c.make();
    setenv("QEL_REGISTRY", path.c_str(), 1);
    HKEY key = nullptr;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_NE(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "A", 0, KEY_READ, &key), ERROR_SUCCESS);
    EXPECT_NE(comrt::RegistryLastError().find(path + " " + c.reason), std::string::npos) << comrt::RegistryLastError();
    EXPECT_NE(RegSetValueExA(HKEY_LOCAL_MACHINE, "v", 0, REG_SZ, Bytes("a"), 2), ERROR_SUCCESS);
    EXPECT_NE(comrt::RegistryLastError().find(c.reason), std::string::npos) << comrt::RegistryLastError();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
  }
  setenv("QEL_REGISTRY", target.c_str(), 1);
  EXPECT_EQ(Text(HKEY_LOCAL_MACHINE, "A", "v"), std::string("1\0", 2)) << "the refused link's target is unchanged";

  // Links of the user, of root and of the folder's owner are followed, and a
  // write keeps the link and replaces its target.
  if (root) {
    for (uid_t owner : {geteuid(), uid_t{0}}) {
      const std::string link = link_owned_by(owner);
      setenv("QEL_REGISTRY", link.c_str(), 1);
      EXPECT_EQ(Text(HKEY_LOCAL_MACHINE, "A", "v"), std::string("1\0", 2));
      SetText(HKEY_LOCAL_MACHINE, "w", "2");
      EXPECT_TRUE(std::filesystem::is_symlink(link));
    }
    std::ifstream in(target);
    EXPECT_NE(std::string(std::istreambuf_iterator<char>(in), {}).find("\"w\"=\"2\""), std::string::npos);
  }
}

TEST_F(RegistryTest, ALockFileThatIsALinkOrHeldTooLongFailsTheWriteNamingIt) {
  SetText(HKEY_LOCAL_MACHINE, "v", "1");
  const std::string lock = file_ + ".lock";
  const std::string elsewhere = folder_ + "/elsewhere";
  std::filesystem::remove(lock);
  std::filesystem::create_symlink(elsewhere, lock);
  EXPECT_EQ(RegSetValueExA(HKEY_LOCAL_MACHINE, "v", 0, REG_SZ, Bytes("2"), 2), ERROR_ACCESS_DENIED);
  EXPECT_NE(comrt::RegistryLastError().find("lock file " + lock + " is a symbolic link"), std::string::npos)
      << comrt::RegistryLastError();
  EXPECT_FALSE(std::filesystem::exists(elsewhere));
  EXPECT_EQ(Text(HKEY_LOCAL_MACHINE, "", "v"), std::string("1\0", 2));

  std::filesystem::remove(lock);
  const int held = open(lock.c_str(), O_RDWR | O_CREAT, 0644);
  ASSERT_EQ(flock(held, LOCK_EX), 0);
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(RegSetValueExA(HKEY_LOCAL_MACHINE, "v", 0, REG_SZ, Bytes("3"), 2), ERROR_REGISTRY_IO_FAILED);
  const auto waited = std::chrono::steady_clock::now() - start;
  EXPECT_GE(waited, std::chrono::seconds(10));
  EXPECT_LT(waited, std::chrono::seconds(12));
  EXPECT_NE(comrt::RegistryLastError().find(lock + " has been held by another writer for more than 10 s"),
            std::string::npos)
      << comrt::RegistryLastError();
  close(held);
  EXPECT_EQ(Text(HKEY_LOCAL_MACHINE, "", "v"), std::string("1\0", 2));
}

TEST_F(RegistryTest, AWriterKilledMidWriteLeavesTheOldFileWholeAndTheNextWriterTidies) {
  constexpr size_t kBytes = 4 << 20;
  SetText(HKEY_LOCAL_MACHINE, "kept", "yes");
  ASSERT_EQ(comrt::WriteRegistryText(HKEY_LOCAL_MACHINE, "Big", "v", std::string(kBytes, 'z')), ERROR_SUCCESS);
  const std::string command =
      std::string(REGISTRY_HELPER) + " churn Big v " + std::to_string(kBytes) + " >/dev/null 2>&1 & echo $!";
  FILE* pipe = popen(command.c_str(), "r");
  int pid = 0;
  ASSERT_EQ(fscanf(pipe, "%d", &pid), 1);
  pclose(pipe);
  // Kill it while a temporary file is being written.
  bool caught = false;
  for (int tries = 0; tries < 200000 && !caught; ++tries) {
    for (const auto& entry : std::filesystem::directory_iterator(folder_)) {
      if (entry.path().filename().string().find(".tmp.") != std::string::npos && entry.file_size() > 0) caught = true;
    }
  }
  kill(pid, SIGKILL);
  waitpid(pid, nullptr, 0);
  ASSERT_TRUE(caught);

  std::string whole;
  ASSERT_EQ(comrt::ReadRegistryText(HKEY_LOCAL_MACHINE, "Big", "v", whole), ERROR_SUCCESS);
  EXPECT_EQ(whole.size(), kBytes);
  EXPECT_EQ(whole.find_first_not_of(whole[0]), std::string::npos);
  EXPECT_EQ(Text(HKEY_LOCAL_MACHINE, "", "kept"), std::string("yes\0", 4));

  SetText(HKEY_LOCAL_MACHINE, "after", "1");
  for (const auto& entry : std::filesystem::directory_iterator(folder_)) {
    const std::string name = entry.path().filename().string();
    EXPECT_TRUE(name == "registry.reg" || name == "registry.reg.lock") << "left behind: " << name;
  }
}

// Another user, for the tests that need one: nobody.
constexpr uid_t kOtherUser = 65534;

// Runs body in a child process as kOtherUser (the caller must be root); the
// child's exit code is what body returns.
pid_t StartAsOtherUser(const std::function<int()>& body) {
  const pid_t pid = fork();
  if (pid == 0) {
    if (setgroups(0, nullptr) != 0 || setresgid(kOtherUser, kOtherUser, kOtherUser) != 0 ||
        setresuid(kOtherUser, kOtherUser, kOtherUser) != 0) {
      _exit(125);
    }
    _exit(body());
  }
  return pid;
}

int ExitCode(pid_t pid) {
  int status = 0;
  if (waitpid(pid, &status, 0) != pid) return -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string Contents(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

TEST_F(RegistryTest, AnotherUsersLinkSwappedInNeverTurnsAReadOrWriteToAnotherFile) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root, to swap links in as another user";
  // Root's own registry file in a folder only root may enter, and a shared
  // sticky folder like /tmp where the other user owns the entry QEL_REGISTRY names.
  ASSERT_EQ(chmod(folder_.c_str(), 0711), 0);
  const std::string secret = folder_ + "/secret", victim = secret + "/victim.reg";
  const std::string shared = folder_ + "/shared", entry = shared + "/registry.reg";
  ASSERT_EQ(mkdir(secret.c_str(), 0700), 0);
  ASSERT_EQ(mkdir(shared.c_str(), 0700), 0);
  ASSERT_EQ(chmod(shared.c_str(), 01777), 0);
  const std::string header = "Windows Registry Editor Version 5.00\n\n[HKEY_LOCAL_MACHINE\\A]\n";
  const std::string victim_text = header + "\"v\"=\"root's own\"\n";
  std::ofstream(victim, std::ios::binary) << victim_text;
  ASSERT_EQ(chmod(victim.c_str(), 0600), 0);
  setenv("QEL_REGISTRY", entry.c_str(), 1);

  // The other user puts a file of its own and a link to root's file in turn.
  auto* swaps = static_cast<std::atomic<long>*>(
      mmap(nullptr, sizeof(std::atomic<long>), PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0));
  ASSERT_NE(swaps, MAP_FAILED);
  new (swaps) std::atomic<long>(0);
  const pid_t swapper = StartAsOtherUser([&] {
    const std::string own = shared + "/own", link = shared + "/link", own_text = header + "\"v\"=\"the other's\"\n";
    for (;;) {
      const int fd = open(own.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      if (fd < 0 || write(fd, own_text.data(), own_text.size()) != static_cast<ssize_t>(own_text.size())) return 1;
      close(fd);
      if (rename(own.c_str(), entry.c_str()) != 0 || symlink(victim.c_str(), link.c_str()) != 0 ||
          rename(link.c_str(), entry.c_str()) != 0) {
        return 1;
      }
      ++*swaps;
    }
  });

  for (int waited = 0; waited < 5000 && swaps->load() == 0; ++waited) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  long tries = 0, leaked = 0;
  for (const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(1);
       std::chrono::steady_clock::now() < end; ++tries) {
    RegSetValueExA(HKEY_LOCAL_MACHINE, "w", 0, REG_SZ, Bytes("root was here"), 14);
    std::string text;
    if (comrt::ReadRegistryText(HKEY_LOCAL_MACHINE, "A", "v", text) == ERROR_SUCCESS && text == "root's own") ++leaked;
  }
  kill(swapper, SIGKILL);
  EXPECT_EQ(ExitCode(swapper), -1) << "the other user stopped swapping";
  std::printf("%ld tries raced %ld swaps\n", tries, swaps->load());
  munmap(swaps, sizeof(std::atomic<long>));

  EXPECT_EQ(leaked, 0) << "reads that went through the other user's link";
  EXPECT_EQ(Contents(victim), victim_text);
  struct stat st {};
  ASSERT_EQ(stat(victim.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0600u);
  for (const auto& found : std::filesystem::directory_iterator(secret)) {
    EXPECT_EQ(found.path(), victim) << "made beside root's file";
  }
}

TEST_F(RegistryTest, AChangeThatWouldMakeTheFileLargerThanTheReaderTakesIsRefusedAndChangesNothing) {
  SetText(HKEY_LOCAL_MACHINE, "kept", "yes");
  const std::string before = ReadFile();
  // Written as hex, 90,000,000 bytes take about 270 MB in the file.
  const std::vector<BYTE> big(90'000'000, 0xAB);
  const auto set_big = [&] {
    return RegSetValueExA(HKEY_LOCAL_MACHINE, "big", 0, REG_BINARY, big.data(), static_cast<DWORD>(big.size()));
  };
  const std::string refused =
      "registry file " + file_ + " would grow past 256 MiB, more than it may hold; the change is refused";
  EXPECT_EQ(set_big(), ERROR_REGISTRY_QUOTA_LIMIT);
  EXPECT_EQ(comrt::RegistryLastError(), refused);
  {
    comrt::RegistryTransaction transaction;
    ASSERT_EQ(set_big(), ERROR_SUCCESS) << "kept in the transaction's tree until it commits";
    EXPECT_EQ(transaction.Commit(), ERROR_REGISTRY_QUOTA_LIMIT);
    EXPECT_EQ(comrt::RegistryLastError(), refused);
  }
  const std::string after = ReadFile();
  EXPECT_TRUE(after == before) << "the file is now " << after.size() << " bytes";
  EXPECT_EQ(Text(HKEY_LOCAL_MACHINE, "", "big"), "<2>");
  SetText(HKEY_LOCAL_MACHINE, "after", "1");
  EXPECT_EQ(Text(HKEY_LOCAL_MACHINE, "", "kept"), std::string("yes\0", 4));

  // Many values that reach the limit only together are refused all the same, to the byte.
  comrt::registry::Hive hive;
  for (int i = 0; i < 100; ++i) {
    hive.local_machine.Create("K").SetValue({"v" + std::to_string(i), REG_SZ, {'x', 0}, {}});
  }
  hive.trailer = "; the end\n";
  const std::string whole = comrt::registry::Format(hive);
  EXPECT_EQ(comrt::registry::Format(hive, whole.size()), whole);
  EXPECT_THROW(comrt::registry::Format(hive, whole.size() - 1), comrt::registry::TooLarge);
  EXPECT_THROW(comrt::registry::Format(hive, whole.size() / 2), comrt::registry::TooLarge);
}

// A helper process fed one line at a time, answering one line each.
class Conversation {
 public:
  explicit Conversation(const std::string& args) {
    int in[2], out[2];
    if (pipe2(in, O_CLOEXEC) != 0 || pipe2(out, O_CLOEXEC) != 0) return;
    pid_ = fork();
    if (pid_ == 0) {
      dup2(in[0], STDIN_FILENO);
      dup2(out[1], STDOUT_FILENO);
      const std::string command = std::string(REGISTRY_HELPER) + " " + args;
      execl("/bin/sh", "sh", "-c", command.c_str(), nullptr);
      _exit(127);
    }
    close(in[0]);
    close(out[1]);
    to_ = fdopen(in[1], "w");
    from_ = fdopen(out[0], "r");
  }
  ~Conversation() { Finish(); }

  std::string Ask(const std::string& line) {
    std::fprintf(to_, "%s\n", line.c_str());
    std::fflush(to_);
    char answer[256] = {};
    if (std::fgets(answer, sizeof answer, from_) == nullptr) return "<no answer>";
    return std::string(answer).substr(0, std::strcspn(answer, "\n"));
  }
  int Finish() {
    if (to_ == nullptr) return -1;
    std::fclose(to_);
    std::fclose(from_);
    to_ = from_ = nullptr;
    return ExitCode(pid_);
  }

 private:
  pid_t pid_ = -1;
  FILE* to_ = nullptr;
  FILE* from_ = nullptr;
};

// The registry file on an ext4 made with 128-byte inodes, whose file times keep
// whole seconds only, mounted for the test and unmounted after it.
class WholeSecondTimesTest : public TempRegistry {
 protected:
  void SetUp() override {
    TempRegistry::SetUp();
    if (geteuid() != 0) GTEST_SKIP() << "needs root, to mount a filesystem";
    mount_ = folder_ + "/mnt";
    const std::string image = folder_ + "/ext4.img";
    const CommandOutput made = RunCommand("truncate -s 64M " + image + " && mkfs.ext4 -q -I 128 " + image +
                                          " 2>&1 && mkdir " + mount_ + " && mount -o loop " + image + " " + mount_ +
                                          " 2>&1");
    if (made.exit_code != 0) GTEST_SKIP() << "cannot mount an ext4 with 128-byte inodes: " << made.output;
    mounted_ = true;
    file_ = mount_ + "/registry.reg";
    setenv("QEL_REGISTRY", file_.c_str(), 1);
  }
  void TearDown() override {
    if (mounted_ && umount(mount_.c_str()) != 0) umount2(mount_.c_str(), MNT_DETACH);
    TempRegistry::TearDown();
  }

  std::string mount_;
  bool mounted_ = false;
};

long Counter() {
  std::string text;
  return comrt::ReadRegistryText(HKEY_LOCAL_MACHINE, "Turns", "n", text) == ERROR_SUCCESS ? std::stol(text) : -1;
}

std::string Digits(long n) {
  char digits[24];
  std::snprintf(digits, sizeof digits, "%08ld", n);
  return digits;
}

TEST_F(WholeSecondTimesTest, TwoProcessesTakingTurnsOnACounterSeeEveryChangeAndLoseNone) {
  constexpr long kRounds = 200;
  ASSERT_EQ(comrt::WriteRegistryText(HKEY_LOCAL_MACHINE, "Turns", "n", Digits(0)), ERROR_SUCCESS);
  struct stat st {};
  ASSERT_EQ(stat(file_.c_str(), &st), 0);
  ASSERT_EQ(st.st_mtim.tv_nsec, 0) << "the filesystem keeps fractions of a second";

  // Each round: this process reads n; the other sets n + 1, then n + 2, both of
  // the same size and within the same second; this process reads again and adds
  // one in a transaction.
  Conversation other("bump Turns n");
  long stale = 0;
  for (long round = 0; round < kRounds; ++round) {
    Counter();
    ASSERT_EQ(other.Ask("go"), "ok");
    if (Counter() != 3 * round + 2) ++stale;
    comrt::RegistryTransaction transaction;
    ASSERT_EQ(comrt::WriteRegistryText(HKEY_LOCAL_MACHINE, "Turns", "n", Digits(Counter() + 1)), ERROR_SUCCESS);
    ASSERT_EQ(transaction.Commit(), ERROR_SUCCESS);
  }
  EXPECT_EQ(other.Finish(), 0);
  const long final = Counter();
  std::printf("%ld stale reads, %ld lost updates in %ld rounds\n", stale, 3 * kRounds - final, kRounds);
  EXPECT_EQ(stale, 0);
  EXPECT_EQ(final, 3 * kRounds);
}

TEST_F(RegistryTest, AWriteFlushesTheFolderAfterItsRenameAndTheParentOfEachFolderItMakes) {
  if (RunCommand("strace -o /dev/null true 2>&1").exit_code != 0) {
    GTEST_SKIP() << "strace is missing or cannot trace here";
  }
  const std::string file = folder_ + "/a/b/registry.reg";
  const std::string trace = folder_ + "/trace";
  const auto traced = [&](const std::string& text) {
    // Leak checking cannot run under a tracer.
    const CommandOutput run = RunCommand("QEL_REGISTRY=" + file + " ASAN_OPTIONS=$ASAN_OPTIONS:detect_leaks=0" +
                                         " strace -f -qq -y -o " + trace +
                                         " -e trace=?mkdir,?mkdirat,?rename,?renameat,?renameat2,fsync,fdatasync " +
                                         REGISTRY_HELPER + " set '' v " + text + " 2>&1");
    EXPECT_EQ(run.exit_code, 0) << run.output;
    // Each call as "what folder/name", the test's folder as F and a temporary's random part as *.
    const std::regex call(R"re(^(?:\d+ +)?(\w+)\(\d+<([^>]*)>(?:, "([^"]*)")?(?:, \d+<([^>]*)>, "([^"]*)")?)re");
    const std::regex random_part(R"(\.tmp\.\w{6})");
    std::vector<std::string> calls;
    std::istringstream lines(Contents(trace));
    for (std::string line; std::getline(lines, line);) {
      std::smatch m;
      if (!std::regex_search(line, m, call)) continue;
      const bool rename = m[1].str().starts_with("rename");
      std::string what = rename ? "rename " + m[4].str() + "/" + m[5].str() : m[1].str() + " " + m[2].str();
      if (!rename && m[3].matched) what += "/" + m[3].str();
      for (size_t at; (at = what.find(folder_)) != std::string::npos;) what.replace(at, folder_.size(), "F");
      calls.push_back(std::regex_replace(what, random_part, ".tmp.*"));
    }
    return calls;
  };
  const std::vector<std::string> first = {
      "mkdirat F/a", "fsync F", "mkdirat F/a/b", "fsync F/a",
      "fsync F/a/b/registry.reg.tmp.*", "rename F/a/b/registry.reg", "fsync F/a/b",
  };
  const std::vector<std::string> later = {"fsync F/a/b/registry.reg.tmp.*", "rename F/a/b/registry.reg", "fsync F/a/b"};
  EXPECT_EQ(traced("1"), first);
  EXPECT_EQ(traced("2"), later);
}

TEST_F(RegistryTest, ANewFileAndItsFoldersTakeTheModesTheUmaskLeaves) {
  struct Case {
    mode_t umask, file, folder;
  };
  const Case cases[] = {{022, 0644, 0755}, {027, 0640, 0750}, {077, 0600, 0700}, {002, 0664, 0775}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.umask);
    const std::string folder = folder_ + "/made" + std::to_string(c.umask), file = folder + "/registry.reg";
    setenv("QEL_REGISTRY", file.c_str(), 1);
    const mode_t saved = umask(c.umask);
    const LSTATUS status = comrt::WriteRegistryText(HKEY_LOCAL_MACHINE, "", "v", "1");
    umask(saved);
    EXPECT_EQ(status, ERROR_SUCCESS);
    struct stat st {};
    ASSERT_EQ(stat(file.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, c.file);
    ASSERT_EQ(stat(folder.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, c.folder);
  }
}

TEST_F(RegistryTest, AFileOfNothingButAByteOrderMarkAndBlankLinesIsAnEmptyRegistry) {
  const std::string texts[] = {
      "", "\xEF\xBB\xBF", "\xFF\xFE", "\n\n", "\xEF\xBB\xBF\r\n \t\r\n", std::string("\xFF\xFE\r\0\n\0 \0\n\0", 10),
  };
  for (const std::string& text : texts) {
    SCOPED_TRACE(::testing::PrintToString(text));
    WriteFile(text);
    HKEY key = nullptr;
    EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "A", 0, KEY_READ, &key), ERROR_FILE_NOT_FOUND);
    SetText(HKEY_LOCAL_MACHINE, "v", "1");
    EXPECT_EQ(ReadFile(), "Windows Registry Editor Version 5.00\n\n[HKEY_LOCAL_MACHINE]\n\"v\"=\"1\"\n\n");
  }
}

TEST_F(RegistryTest, AFileTheCallerCannotReadIsReportedAsNotReadable) {
  SetText(HKEY_LOCAL_MACHINE, "v", "1");
  const std::string not_readable = "registry file " + file_ + " is not readable for this user";
  const bool root = geteuid() == 0;
  ASSERT_EQ(chmod(folder_.c_str(), 0711), 0);
  for (const mode_t mode : {0000, 0200}) {
    SCOPED_TRACE(mode);
    ASSERT_EQ(chmod(file_.c_str(), mode), 0);
    // A writer starts from the file, so write rights need it readable.
    HKEY key = nullptr;
    EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "", 0, KEY_WRITE, &key), ERROR_ACCESS_DENIED);
    EXPECT_EQ(comrt::RegistryLastError(), not_readable);
    EXPECT_EQ(RegSetValueExA(HKEY_LOCAL_MACHINE, "v", 0, REG_SZ, Bytes("2"), 2), ERROR_ACCESS_DENIED);
    EXPECT_EQ(comrt::RegistryLastError(), not_readable);
    // A read, by a user the bits hold (root reads any file).
    const auto read = [&] {
      const LSTATUS status = RegOpenKeyExA(HKEY_LOCAL_MACHINE, "", 0, KEY_READ, &key);
      return status == ERROR_ACCESS_DENIED && comrt::RegistryLastError() == not_readable ? 0 : 1;
    };
    EXPECT_EQ(root ? ExitCode(StartAsOtherUser(read)) : read(), 0);
  }
  ASSERT_EQ(chmod(file_.c_str(), 0644), 0);
  EXPECT_EQ(Text(HKEY_LOCAL_MACHINE, "", "v"), std::string("1\0", 2));
}

}  // namespace

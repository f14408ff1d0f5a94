#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "com/registry.h"
#include "temp_registry.h"

namespace {

struct HelperRun {
  int exit_code;
  std::string output;
};

HelperRun Helper(const std::string& args) {
  const std::string command = std::string(REGISTRY_HELPER) + " " + args;
  FILE* pipe = popen(command.c_str(), "r");
  std::string output;
  char buffer[256];
  size_t n;
  while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) output.append(buffer, n);
  const int status = pclose(pipe);
  return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, output};
}

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

  const HelperRun got = Helper("get 'SOFTWARE\\Qel\\Tools' PATH");
  EXPECT_EQ(got.exit_code, 0) << got.output;
  EXPECT_EQ(got.output, "C:\\Tools \"quoted\"");

  EXPECT_EQ(Helper("set 'SOFTWARE\\Qel\\Other' Name 'from child'").exit_code, 0);
  EXPECT_EQ(Text(HKEY_LOCAL_MACHINE, "SOFTWARE\\Qel\\Other", "Name"), std::string("from child\0", 11));
  EXPECT_EQ(Text(HKEY_LOCAL_MACHINE, "SOFTWARE\\Qel\\Tools", "PATH"), std::string("C:\\Tools \"quoted\"\0", 18));
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

}  // namespace

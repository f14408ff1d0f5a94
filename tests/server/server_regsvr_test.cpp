// Registration as an installer does it: the regsvr tool on the server file.
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "com/activation.h"
#include "com/oleauto.h"
#include "com/ptr.h"
#include "com/registry.h"
#include "../comsys/command_output.h"
#include "temp_registry.h"
#include "typelib_expectations.h"

extern char** environ;

namespace {

int Regsvr(const std::vector<std::string>& arguments) {
  std::vector<std::string> words = {REGSVR};
  words.insert(words.end(), arguments.begin(), arguments.end());
  std::vector<char*> argv;
  for (std::string& word : words) argv.push_back(word.data());
  argv.push_back(nullptr);
  pid_t child = 0;
  if (posix_spawn(&child, REGSVR, nullptr, nullptr, argv.data(), environ) != 0) return -1;
  int status = 0;
  if (waitpid(child, &status, 0) != child || !WIFEXITED(status)) return -1;
  return WEXITSTATUS(status);
}

CommandOutput RegsvrSays(const std::string& args) { return RunCommand(std::string(REGSVR) + " " + args + " 2>&1"); }

class RegsvrTest : public TempRegistry {};

TEST_F(RegsvrTest, RegistersTheRootAndTheTypeLibraryAndUnregistersWithoutTrace) {
  ASSERT_EQ(comrt::WriteRegistryText(HKEY_CLASSES_ROOT, "CLSID\\{0D5B1E2A-0000-4000-8000-000000000001}\\InprocServer32",
                                     nullptr, "/opt/other/libother.so"),
            ERROR_SUCCESS);
  ASSERT_EQ(comrt::WriteRegistryText(HKEY_CLASSES_ROOT, "TypeLib\\{0D5B1E2A-0000-4000-8000-000000000002}\\1.0\\0\\win32",
                                     nullptr, "/opt/other/libother.so"),
            ERROR_SUCCESS);
  ASSERT_EQ(comrt::WriteRegistryText(HKEY_CLASSES_ROOT, "Interface\\{0D5B1E2A-0000-4000-8000-000000000003}", nullptr,
                                     "_Other"),
            ERROR_SUCCESS);
  const std::string before = ReadFile();

  ASSERT_EQ(Regsvr({QUORLINK_SERVER}), 0);
  CLSID clsid{};
  ASSERT_EQ(CLSIDFromProgID(u"QELCom.QELRurUzoz", &clsid), S_OK);
  EXPECT_EQ(clsid, comrt::ParseGuid("{3B76B453-B626-4D76-8EE7-11414A250AD1}"));
  comrt::ComPtr<ITypeLib> library;
  ASSERT_EQ(LoadRegTypeLib(comrt::ParseGuid("{57A57BF4-4E19-47D6-9C74-93E78C953273}"), 1, 0, 0, library.put()), S_OK);
  ExpectQELComLibrary(library.get());
  library.reset();

  ASSERT_EQ(Regsvr({"-u", QUORLINK_SERVER}), 0);
  EXPECT_EQ(ReadFile(), before);
  EXPECT_EQ(CLSIDFromProgID(u"QELCom.QELRurUzoz", &clsid), CO_E_CLASSSTRING);
  EXPECT_TRUE(FAILED(LoadRegTypeLib(comrt::ParseGuid("{57A57BF4-4E19-47D6-9C74-93E78C953273}"), 1, 0, 0,
                                    library.put())));
}

// How many times the file was replaced while `run` ran.
template <typename Run>
int Replacements(const std::string& folder, const std::string& file, Run run) {
  const int watch = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  inotify_add_watch(watch, folder.c_str(), IN_MOVED_TO | IN_CLOSE_WRITE);
  run();
  int count = 0;
  alignas(inotify_event) char buffer[65536];
  ssize_t n;
  while ((n = read(watch, buffer, sizeof buffer)) > 0) {
    for (char* at = buffer; at < buffer + n;) {
      const auto* event = reinterpret_cast<const inotify_event*>(at);
      if ((event->mask & IN_MOVED_TO) && event->len > 0 && std::filesystem::path(file).filename() == event->name) ++count;
      at += sizeof(inotify_event) + event->len;
    }
  }
  close(watch);
  return count;
}

TEST_F(RegsvrTest, RegistrationAndUnregistrationEachReplaceTheFileOnce) {
  ASSERT_EQ(comrt::WriteRegistryText(HKEY_LOCAL_MACHINE, "SOFTWARE\\Other", nullptr, "kept"), ERROR_SUCCESS);
  EXPECT_EQ(Replacements(folder_, file_, [] { EXPECT_EQ(Regsvr({QUORLINK_SERVER}), 0); }), 1);
  EXPECT_EQ(Replacements(folder_, file_, [] { EXPECT_EQ(Regsvr({"-u", QUORLINK_SERVER}), 0); }), 1);
  // Unregistering what is not registered changes nothing.
  EXPECT_EQ(Replacements(folder_, file_, [] { EXPECT_EQ(Regsvr({"-u", QUORLINK_SERVER}), 0); }), 0);
}

// Registers (or removes) a made-up class of another server in one transaction,
// and counts the round in a value of its own; prints why when a step fails.
bool OtherServerRound(int round, bool registered) {
  const std::string key = "CLSID\\{0D5B1E2A-0000-4000-8000-0000000000B0}";
  comrt::RegistryTransaction transaction;
  LSTATUS status = transaction.status();
  if (status == ERROR_SUCCESS) {
    status = registered ? comrt::WriteRegistryText(HKEY_CLASSES_ROOT, key + "\\InprocServer32", nullptr, "/opt/b.so")
                        : RegDeleteTreeA(HKEY_CLASSES_ROOT, key.c_str());
  }
  if (status == ERROR_SUCCESS) status = transaction.Commit();
  if (status == ERROR_SUCCESS) {
    status = comrt::WriteRegistryText(HKEY_LOCAL_MACHINE, "SOFTWARE\\Rounds", ("r" + std::to_string(round)).c_str(), "done");
  }
  if (status != ERROR_SUCCESS) std::printf("round %d failed: %d %s\n", round, static_cast<int>(status), comrt::RegistryLastError().c_str());
  return status == ERROR_SUCCESS;
}

TEST_F(RegsvrTest, TwoProcessesRegisteringAndUnregisteringInLoopsLoseNothing) {
  constexpr int kRounds = 15;
  const pid_t other = fork();
  if (other == 0) {
    bool ok = true;
    for (int round = 0; round < kRounds; ++round) ok = OtherServerRound(round, round % 2 == 0) && ok;
    ok = OtherServerRound(kRounds, true) && ok;
    _exit(ok ? 0 : 1);
  }
  std::string failures;
  for (int round = 0; round < kRounds; ++round) {
    for (const char* args : {"-u " QUORLINK_SERVER, QUORLINK_SERVER}) {
      const CommandOutput outcome = RegsvrSays(args);
      if (outcome.exit_code != 0) failures += outcome.output;
    }
  }
  int status = 0;
  ASSERT_EQ(waitpid(other, &status, 0), other);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  EXPECT_EQ(failures, "");
  const std::string raced = ReadFile();

  // The same end state reached one step after the other.
  std::filesystem::remove(file_);
  for (int round = 0; round <= kRounds; ++round) ASSERT_TRUE(OtherServerRound(round, true));
  ASSERT_EQ(Regsvr({QUORLINK_SERVER}), 0);
  EXPECT_EQ(raced, ReadFile());
}

TEST_F(RegsvrTest, EveryFailingRegistrationOrUnregistrationSaysWhy) {
  struct Case {
    const char* what;
    std::function<void()> make;
    std::string reason;
  };
  const std::string lock = file_ + ".lock";
  const Case cases[] = {
      {"read-only", [&] { chmod(file_.c_str(), 0444); }, "registry file " + file_ + " is read-only for this user"},
      {"malformed", [&] { WriteFile("Windows Registry Editor Version 5.00\n\nstray\n"); },
       "registry file " + file_ + " line 3: neither a key nor a value"},
      {"a directory", [&] { std::filesystem::remove(file_); std::filesystem::create_directory(file_); },
       "registry file " + file_ + " is a directory, not a regular file; refused"},
      {"a linked lock",
       [&] {
         std::filesystem::remove(lock);
         std::filesystem::create_symlink(folder_ + "/elsewhere", lock);
       },
       "registry lock file " + lock + " is a symbolic link; refused"},
  };
  for (const Case& c : cases) {
    for (const bool unregister : {false, true}) {
      SCOPED_TRACE(std::string(c.what) + (unregister ? ", unregistering" : ", registering"));
      std::filesystem::remove_all(file_);
      std::filesystem::remove(lock);
      ASSERT_EQ(Regsvr({QUORLINK_SERVER}), 0);
      c.make();
      const std::string before = std::filesystem::is_regular_file(file_) ? ReadFile() : "";
      const CommandOutput outcome = RegsvrSays(std::string(unregister ? "-u " : "") + QUORLINK_SERVER);
      EXPECT_EQ(outcome.exit_code, 1);
      // The second line is the server's error information.
      const std::string expected = std::string("\n  Cannot ") + (unregister ? "unregister" : "register") +
                                   " the server: " + c.reason + "\n";
      EXPECT_NE(outcome.output.find(expected), std::string::npos) << outcome.output;
      if (std::filesystem::is_regular_file(file_)) {
        EXPECT_EQ(ReadFile(), before);
      }
      chmod(file_.c_str(), 0644);
    }
  }
}

}  // namespace

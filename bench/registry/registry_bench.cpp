// The registry file at small and large sizes: activation of QELRurUzoz by class
// identifier (the server's class object, found through the registry) against the
// server's own DllGetClassObject, the regsvr tool registering and unregistering
// libQuorlink.so, and reading a key that holds 40,000 values.
//
// A first activation is timed in a new process of its own (first_activation),
// which also loads the server; a first read changes the file before each
// measured call, so the call reads and parses it as a process's first call does.
#include <benchmark/benchmark.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "com/activation.h"
#include "com/registry.h"

extern char** environ;

namespace {

const CLSID kQELRurUzoz = comrt::ParseGuid("{3B76B453-B626-4D76-8EE7-11414A250AD1}");

// A temporary folder with the registry file that QEL_REGISTRY names.
class Folder {
 public:
  Folder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "qelregbench.XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) std::abort();
    path_ = pattern;
    file_ = path_ + "/registry.reg";
    setenv("QEL_REGISTRY", file_.c_str(), 1);
  }
  ~Folder() {
    std::filesystem::remove_all(path_);
    unsetenv("QEL_REGISTRY");
  }
  const std::string& file() const { return file_; }

  // Replaces the file by rename, as a writer does.
  void Write(const std::string& text) const {
    const std::string temp = file_ + ".bench";
    std::ofstream(temp, std::ios::binary) << text;
    std::filesystem::rename(temp, file_);
  }
  std::string Read() const {
    std::ifstream in(file_, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }

 private:
  std::string path_;
  std::string file_;
};

std::string Guid(unsigned kind, unsigned n) {
  char text[40];
  std::snprintf(text, sizeof text, "{%08X-0000-4000-8000-%012X}", n, kind);
  return text;
}

// Other servers' registrations, `keys` keys in all: classes with their
// InprocServer32 and interfaces with their TypeLib, a quarter each.
std::string Filler(unsigned keys) {
  std::string text = "Windows Registry Editor Version 5.00\n\n";
  const std::string classes = "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\CLSID\\";
  const std::string interfaces = "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\Interface\\";
  for (unsigned i = 0; i < keys / 4; ++i) {
    const std::string clsid = Guid(1, i), iid = Guid(2, i);
    text += classes + clsid + "]\n@=\"Filler class " + std::to_string(i) + "\"\n\n";
    text += classes + clsid + "\\InprocServer32]\n@=\"/opt/filler/libfiller" + std::to_string(i % 97) +
            ".so\"\n\"ThreadingModel\"=\"Apartment\"\n\n";
    text += interfaces + iid + "]\n@=\"_Filler" + std::to_string(i) + "\"\n\n";
    text += interfaces + iid + "\\TypeLib]\n@=\"" + Guid(3, i % 97) + "\"\n\"Version\"=\"1.0\"\n\n";
  }
  return text;
}

int Regsvr(bool unregister) {
  std::vector<std::string> words = {REGSVR};
  if (unregister) words.emplace_back("-u");
  words.emplace_back(QUORLINK_SERVER);
  std::vector<char*> argv;
  for (std::string& word : words) argv.push_back(word.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  pid_t child = 0;
  int status = -1;
  if (posix_spawn(&child, REGSVR, &actions, nullptr, argv.data(), environ) == 0) waitpid(child, &status, 0);
  posix_spawn_file_actions_destroy(&actions);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// The file with the filler and QELCom registered.
std::string Registered(const Folder& folder, unsigned keys) {
  folder.Write(Filler(keys));
  if (Regsvr(false) != 0) std::abort();
  return folder.Read();
}

void Activate(benchmark::State& state) {
  IClassFactory* factory = nullptr;
  const HRESULT hr = CoGetClassObject(kQELRurUzoz, CLSCTX_INPROC_SERVER, nullptr, IID_IClassFactory,
                                      reinterpret_cast<void**>(&factory));
  if (FAILED(hr)) {
    state.SkipWithError("activation failed");
    return;
  }
  factory->Release();
}

void ActivationFirst(benchmark::State& state) {
  Folder folder;
  Registered(folder, static_cast<unsigned>(state.range(0)));
  for (auto _ : state) {
    FILE* probe = popen(FIRST_ACTIVATION, "r");
    long long nanoseconds = -1;
    if (std::fscanf(probe, "%lld", &nanoseconds) != 1 || pclose(probe) != 0) {
      state.SkipWithError("activation failed");
      break;
    }
    state.SetIterationTime(static_cast<double>(nanoseconds) * 1e-9);
  }
}
BENCHMARK(ActivationFirst)->Arg(10)->Arg(100'000)->Unit(benchmark::kMillisecond)->UseManualTime();

void ActivationFurther(benchmark::State& state) {
  Folder folder;
  Registered(folder, static_cast<unsigned>(state.range(0)));
  Activate(state);
  for (auto _ : state) Activate(state);
}
BENCHMARK(ActivationFurther)->Arg(10)->Arg(100'000)->Unit(benchmark::kMicrosecond)->UseRealTime();

// The baseline: the server's class object without the registry.
void DirectClassObject(benchmark::State& state) {
  void* server = dlopen(QUORLINK_SERVER, RTLD_NOW | RTLD_LOCAL);
  const auto get = reinterpret_cast<LPFNGETCLASSOBJECT>(dlsym(server, "DllGetClassObject"));
  for (auto _ : state) {
    IClassFactory* factory = nullptr;
    get(kQELRurUzoz, IID_IClassFactory, reinterpret_cast<void**>(&factory));
    factory->Release();
  }
  dlclose(server);
}
BENCHMARK(DirectClassObject)->Unit(benchmark::kMicrosecond)->UseRealTime();

// regsvr libQuorlink.so, from start to exit of the tool; range 0 is a fresh file.
void Register(benchmark::State& state) {
  Folder folder;
  const std::string filler = state.range(0) == 0 ? std::string() : Filler(static_cast<unsigned>(state.range(0)));
  for (auto _ : state) {
    state.PauseTiming();
    if (filler.empty()) {
      std::filesystem::remove(folder.file());
    } else {
      folder.Write(filler);
    }
    state.ResumeTiming();
    if (Regsvr(false) != 0) state.SkipWithError("regsvr failed");
  }
}
BENCHMARK(Register)->Arg(0)->Arg(100'000)->Unit(benchmark::kMillisecond)->UseRealTime();

void Unregister(benchmark::State& state) {
  Folder folder;
  std::string registered;
  if (state.range(0) == 0) {
    if (Regsvr(false) != 0) std::abort();
    registered = folder.Read();
  } else {
    registered = Registered(folder, static_cast<unsigned>(state.range(0)));
  }
  for (auto _ : state) {
    state.PauseTiming();
    folder.Write(registered);
    state.ResumeTiming();
    if (Regsvr(true) != 0) state.SkipWithError("regsvr -u failed");
  }
}
BENCHMARK(Unregister)->Arg(0)->Arg(100'000)->Unit(benchmark::kMillisecond)->UseRealTime();

// One value of a key with 40,000 values, the file read and parsed for it.
void ReadKeyOf40000Values(benchmark::State& state) {
  Folder folder;
  std::string text = "Windows Registry Editor Version 5.00\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Wide]\n";
  for (int i = 0; i < 40'000; ++i) text += "\"Value" + std::to_string(i) + "\"=\"" + std::to_string(i) + "\"\n";
  unsigned change = 0;
  for (auto _ : state) {
    state.PauseTiming();
    folder.Write(text + "; " + std::to_string(++change) + "\n");
    state.ResumeTiming();
    std::string value;
    if (comrt::ReadRegistryText(HKEY_LOCAL_MACHINE, "SOFTWARE\\Wide", "Value39999", value) != ERROR_SUCCESS ||
        value != "39999") {
      state.SkipWithError("read failed");
    }
  }
}
BENCHMARK(ReadKeyOf40000Values)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();

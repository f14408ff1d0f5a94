// Build step: writes the test server's type library to the file named by argv[1].
#include <cstdio>
#include <fstream>

#include "com/typelib.h"
#include "test_library.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s <output file>\n", argv[0]);
    return 2;
  }
  const std::vector<uint8_t> bytes = comrt::SerializeTypeLib(CounterLibrary());
  std::ofstream out(argv[1], std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  return out ? 0 : 1;
}

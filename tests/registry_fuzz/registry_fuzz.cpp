// Feeds arbitrary text to the registry file's reader. A text it accepts must
// come back from the writer as a text it accepts again and that writes the same;
// a text it refuses must be refused with a line number inside the text.
#include <algorithm>
#include <cstdint>
#include <string>
#include <string_view>

#include "registry_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  using comrt::registry::FormatError;
  std::string written;
  try {
    written = comrt::registry::Format(comrt::registry::Parse(text));
  } catch (const FormatError& e) {
    const long lines = 1 + static_cast<long>(std::count(text.begin(), text.end(), '\n'));
    if (e.line() < 1 || e.line() > lines) __builtin_trap();
    return 0;
  }
  if (comrt::registry::Format(comrt::registry::Parse(written)) != written) __builtin_trap();
  return 0;
}

#include <algorithm>
#include <array>

#include "CommonGlobals.h"
#include "com/convert.h"

namespace CommonGlobals {

std::optional<std::string> GetBuildNumber() {
  OSInfo.dwOSVersionInfoSize = sizeof OSInfo;
  GetVersionExA(&OSInfo);
  const auto platform = static_cast<int32_t>(OSInfo.dwPlatformId);
  const auto build = static_cast<int32_t>(OSInfo.dwBuildNumber);
  if (platform == 1) {
    // The Windows 95 family keeps the version in the high bits of the field.
    BuildNumber = std::to_string(build & 0xFFF);
  } else if (platform == 2) {
    BuildNumber = std::to_string(build);
  } else if (platform >= 3 && platform <= 10) {
    BuildNumber = "Unrecognised Build Number (" + std::to_string(build) + ")";
  }
  return BuildNumber;
}

quorlink::Boolean IsWin9xBuild(const std::optional<std::string>& BuildNumber) {
  static constexpr std::array<int16_t, 5> kWin9xBuilds = {950, 1111, 1998, 2222, 3000};
  const int16_t build = BuildNumber ? comrt::ToInt16(comrt::ParseNumber(*BuildNumber)) : 0;
  return quorlink::ToBoolean(std::ranges::find(kWin9xBuilds, build) != kWin9xBuilds.end());
}

}  // namespace CommonGlobals

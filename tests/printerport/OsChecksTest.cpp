// The system's version code, its build number as text and the Windows 95-family
// build rule, one record at a time through a fake GetVersionExA.
#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "CommonGlobals.h"
#include "PrecisionTimer.h"
#include "SystemRecord.h"
#include "com/error.h"

namespace porttest {
namespace {

namespace cg = CommonGlobals;

constexpr int kTrue = -1, kFalse = 0;

// The rule's outcome, or the number of the error it raises.
struct RuleOutcome {
  bool raises;
  int value;
};
constexpr RuleOutcome Rule(int value) { return {false, value}; }
constexpr RuleOutcome Raises(int number) { return {true, number}; }

RuleOutcome ApplyRule(const std::optional<std::string>& build) {
  try {
    return Rule(cg::IsWin9xBuild(build));
  } catch (const comrt::Error& error) {
    return Raises(error.number());
  }
}

class OsChecksTest : public ::testing::Test {
 protected:
  void SetUp() override { cg::BuildNumber.reset(); }
  void TearDown() override { qelsys::SetVersionSource(nullptr); }
};

// Each record on the first query of a process.
TEST_F(OsChecksTest, VersionCodeBuildTextAndRulePerRecord) {
  struct Case {
    SystemRecord record;
    int16_t code;
    std::optional<std::string> build;
    RuleOutcome rule;
  } cases[] = {
      {{1, 4, 0, 0x040003B6}, 95, "950", Rule(kTrue)},  // the 95 family keeps its version above bit 12
      {{1, 4, 10, 0x040A08AE}, 98, "2222", Rule(kTrue)},
      {{1, 4, 90, 3000}, 0, "3000", Rule(kTrue)},
      {{1, 4, 90, 0x0FFF}, 0, "4095", Rule(kFalse)},
      {{2, 4, 0, 1381}, 400, "1381", Rule(kFalse)},
      {{2, 3, 51, 1057}, 351, "1057", Rule(kFalse)},
      {{2, 5, 1, 2600}, 2000, "2600", Rule(kFalse)},
      {{2, 10, 0, 950}, 0, "950", Rule(kTrue)},  // numbers only: the platform plays no part
      {{2, 6, 1, 1998}, 0, "1998", Rule(kTrue)},
      {{2, 10, 0, 32767}, 0, "32767", Rule(kFalse)},
      {{2, 10, 0, 40000}, 0, "40000", Raises(comrt::kOverflow)},
      {{2, 10, 0, 0xFFFFFFFF}, 0, "-1", Rule(kFalse)},  // read as a signed number
      {{2, 10, 0, 0xFFFF7FFF}, 0, "-32769", Raises(comrt::kOverflow)},
      {{3, 4, 0, 1381}, -1, "Unrecognised Build Number (1381)", Raises(comrt::kTypeMismatch)},
      {{10, 4, 0, 950}, -1, "Unrecognised Build Number (950)", Raises(comrt::kTypeMismatch)},
      {{0, 4, 0, 950}, -1, std::nullopt, Rule(kFalse)},
      {{11, 4, 0, 950}, -1, std::nullopt, Rule(kFalse)},
      {{0xFFFFFFFF, 4, 0, 950}, -1, std::nullopt, Rule(kFalse)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "platform " << static_cast<int32_t>(c.record.platform) << ", "
                                    << c.record.major << "." << c.record.minor << ", build " << c.record.build);
    cg::BuildNumber.reset();
    PresentSystem(c.record);
    EXPECT_EQ(PrecisionTimer::GetWindowsVersion(), c.code);
    const std::optional<std::string> build = cg::GetBuildNumber();
    EXPECT_EQ(build, c.build);
    EXPECT_EQ(cg::BuildNumber, c.build);
    const RuleOutcome rule = ApplyRule(build);
    EXPECT_EQ(rule.raises, c.rule.raises);
    EXPECT_EQ(rule.value, c.rule.value);
  }
}

TEST_F(OsChecksTest, UnknownPlatformOrFailedQueryKeepsThePreviousBuildNumber) {
  PresentSystem({2, 4, 0, 1381});
  ASSERT_EQ(cg::GetBuildNumber(), "1381");
  for (DWORD platform : {0u, 11u, 0xFFFFFFFFu}) {
    PresentSystem({platform, 5, 0, 2222});
    EXPECT_EQ(cg::GetBuildNumber(), "1381") << platform;
  }
  g_queryFails = true;
  EXPECT_EQ(cg::GetBuildNumber(), "1381");
  EXPECT_EQ(cg::OSInfo.dwPlatformId, 0xFFFFFFFFu);  // the record as the last answer left it
  EXPECT_EQ(PrecisionTimer::GetWindowsVersion(), -1);
}

// The rule converts the text as a number, to the nearest integer with ties to the
// even one; it never compares texts.
TEST_F(OsChecksTest, RuleReadsTheTextAsANumber) {
  struct Case {
    const char* text;
    RuleOutcome rule;
  } cases[] = {
      {"0950", Rule(kTrue)},      {" 1111 ", Rule(kTrue)},  {"2222.5", Rule(kTrue)},
      {"2221.5", Rule(kTrue)},    {"2223.5", Rule(kFalse)}, {"949.5", Rule(kTrue)},
      {"3E3", Rule(kTrue)},       {"", Raises(comrt::kTypeMismatch)},
      {"32767.5", Raises(comrt::kOverflow)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    const RuleOutcome rule = ApplyRule(std::string(c.text));
    EXPECT_EQ(rule.raises, c.rule.raises);
    EXPECT_EQ(rule.value, c.rule.value);
  }
  EXPECT_EQ(ApplyRule(std::nullopt).value, kFalse);
}

}  // namespace
}  // namespace porttest

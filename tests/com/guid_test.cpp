#include <gtest/gtest.h>

#include "com/interfaces.h"

namespace {

TEST(Guid, ParsesDocumentedLayoutAndFormatsUpperCase) {
  constexpr GUID g = comrt::ParseGuid("{00020400-0000-0000-c000-000000000046}");
  static_assert(g == IID_IDispatch);
  EXPECT_EQ(g.Data1, 0x00020400u);
  EXPECT_EQ(g.Data4[0], 0xC0);
  EXPECT_EQ(g.Data4[7], 0x46);
  EXPECT_EQ(comrt::ToString(IID_IConnectionPoint), "{B196B286-BAB4-101A-B69C-00AA00341D07}");
  EXPECT_FALSE(IID_IUnknown == IID_IDispatch);
}

TEST(Guid, RejectsMalformedText) {
  GUID g{};
  const char* bad[] = {"", "00020400-0000-0000-C000-000000000046", "{00020400-0000-0000-C000-00000000004}",
                       "{00020400-0000-0000-C000-00000000004G}", "{00020400+0000-0000-C000-000000000046}",
                       "{00020400-0000-0000-C000-000000000046}x"};
  for (const char* text : bad) EXPECT_FALSE(comrt::TryParseGuid(text, g)) << text;
  EXPECT_THROW(comrt::ParseGuid("{nope}"), std::invalid_argument);
  EXPECT_TRUE(comrt::TryParseGuid(comrt::ToString(IID_ITypeLib), g));
  EXPECT_TRUE(g == IID_ITypeLib);
}

}  // namespace

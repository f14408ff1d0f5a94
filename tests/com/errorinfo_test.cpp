#include <gtest/gtest.h>

#include <thread>

#include "com/boundary.h"
#include "com/ptr.h"
#include "com/variant.h"

namespace {

std::string DescriptionOfThreadError() {
  comrt::ComPtr<IErrorInfo> info;
  if (GetErrorInfo(0, info.put()) != S_OK) return "<none>";
  comrt::Bstr text;
  info->GetDescription(text.put());
  return text.utf8();
}

TEST(ErrorInfo, OneSlotPerThreadTakenOnce) {
  comrt::SetErrorInfoFor("Src", "on main");
  std::string other;
  std::thread([&] { other = DescriptionOfThreadError(); }).join();
  EXPECT_EQ(other, "<none>");
  EXPECT_EQ(DescriptionOfThreadError(), "on main");
  EXPECT_EQ(DescriptionOfThreadError(), "<none>") << "GetErrorInfo empties the slot";
}

TEST(Boundary, TranslatesEveryKindOfException) {
  struct Case {
    const char* name;
    std::function<void()> body;
    HRESULT hr;
    const char* description;
  } cases[] = {
      {"library error", [] { comrt::ThrowOverflow(); }, static_cast<HRESULT>(0x800A0006), "Overflow"},
      {"subscript", [] { comrt::ThrowSubscriptOutOfRange(); }, static_cast<HRESULT>(0x800A0009),
       "Subscript out of range"},
      {"no memory", [] { throw std::bad_alloc(); }, E_OUTOFMEMORY, "Out of memory"},
      {"std exception", [] { throw std::runtime_error("boom"); }, E_FAIL, "boom"},
      {"anything", [] { throw 42; }, E_FAIL, "Unexpected error"},
      {"null out", [] { comrt::Out(static_cast<int*>(nullptr)); }, E_POINTER, "<none>"},
      {"success", [] {}, S_OK, "<none>"},
  };
  for (const auto& c : cases) {
    SetErrorInfo(0, nullptr);
    EXPECT_EQ(comrt::Boundary("QELCom.Test", GUID_NULL, c.body), c.hr) << c.name;
    EXPECT_EQ(DescriptionOfThreadError(), c.description) << c.name;
  }
  comrt::Boundary("QELCom.Test", IID_IDispatch, [] { comrt::ThrowTypeMismatch(); });
  comrt::ComPtr<IErrorInfo> info;
  ASSERT_EQ(GetErrorInfo(0, info.put()), S_OK);
  comrt::Bstr source;
  info->GetSource(source.put());
  EXPECT_EQ(source.utf8(), "QELCom.Test");
  GUID g{};
  info->GetGUID(&g);
  EXPECT_TRUE(g == IID_IDispatch);
}

}  // namespace

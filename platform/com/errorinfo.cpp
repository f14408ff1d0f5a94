#include <new>

#include "com/boundary.h"
#include "com/implements.h"
#include "com/variant.h"

namespace {

class ErrorInfo final : public comrt::Implements<IErrorInfo, ICreateErrorInfo> {
 public:
  HRESULT GetGUID(GUID* pGUID) override {
    if (pGUID == nullptr) return E_INVALIDARG;
    *pGUID = guid_;
    return S_OK;
  }
  HRESULT GetSource(BSTR* out) override { return Give(source_, out); }
  HRESULT GetDescription(BSTR* out) override { return Give(description_, out); }
  HRESULT GetHelpFile(BSTR* out) override { return Give(helpFile_, out); }
  HRESULT GetHelpContext(DWORD* out) override {
    if (out == nullptr) return E_INVALIDARG;
    *out = helpContext_;
    return S_OK;
  }

  HRESULT SetGUID(REFGUID rguid) override {
    guid_ = rguid;
    return S_OK;
  }
  HRESULT SetSource(LPOLESTR s) override { return Take(source_, s); }
  HRESULT SetDescription(LPOLESTR s) override { return Take(description_, s); }
  HRESULT SetHelpFile(LPOLESTR s) override { return Take(helpFile_, s); }
  HRESULT SetHelpContext(DWORD context) override {
    helpContext_ = context;
    return S_OK;
  }

 private:
  static HRESULT Give(const std::u16string& text, BSTR* out) {
    if (out == nullptr) return E_INVALIDARG;
    // What was never set comes back as the null (empty) string.
    *out = text.empty() ? nullptr : SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
    return *out == nullptr && !text.empty() ? E_OUTOFMEMORY : S_OK;
  }
  static HRESULT Take(std::u16string& text, LPOLESTR s) {
    try {
      text = s ? s : u"";
      return S_OK;
    } catch (const std::bad_alloc&) {
      return E_OUTOFMEMORY;
    }
  }

  GUID guid_{};
  std::u16string source_;
  std::u16string description_;
  std::u16string helpFile_;
  DWORD helpContext_ = 0;
};

// One slot per thread; the reference is dropped when the thread ends.
thread_local comrt::ComPtr<IErrorInfo> t_errorInfo;

}  // namespace

extern "C" {

HRESULT CreateErrorInfo(ICreateErrorInfo** pperrinfo) {
  if (pperrinfo == nullptr) return E_INVALIDARG;
  *pperrinfo = new (std::nothrow) ErrorInfo;
  return *pperrinfo == nullptr ? E_OUTOFMEMORY : S_OK;
}

HRESULT SetErrorInfo(ULONG, IErrorInfo* perrinfo) {
  t_errorInfo = perrinfo;
  return S_OK;
}

HRESULT GetErrorInfo(ULONG, IErrorInfo** pperrinfo) {
  if (pperrinfo == nullptr) return E_INVALIDARG;
  *pperrinfo = t_errorInfo.detach();
  return *pperrinfo == nullptr ? S_FALSE : S_OK;
}

}  // extern "C"

namespace comrt {

void SetErrorInfoFor(std::string_view source, std::string_view description, const GUID& iid) {
  ComPtr<ICreateErrorInfo> create;
  if (FAILED(CreateErrorInfo(create.put()))) throw std::bad_alloc();
  std::u16string s = Utf8ToUtf16(source);
  std::u16string d = Utf8ToUtf16(description);
  create->SetGUID(iid);
  create->SetSource(s.data());
  create->SetDescription(d.data());
  SetErrorInfo(0, create.As<IErrorInfo>().get());
}

HRESULT TranslateException(std::string_view source, const GUID& iid) noexcept {
  HRESULT hr = E_FAIL;
  try {
    try {
      throw;
    } catch (const Error& e) {
      hr = HresultOf(e);
      SetErrorInfoFor(source, e.description(), iid);
    } catch (const NullOutPointer&) {
      hr = E_POINTER;
      SetErrorInfo(0, nullptr);
    } catch (const std::bad_alloc&) {
      hr = E_OUTOFMEMORY;
      SetErrorInfoFor(source, "Out of memory", iid);
    } catch (const std::exception& e) {
      hr = E_FAIL;
      SetErrorInfoFor(source, e.what(), iid);
    } catch (...) {
      hr = E_FAIL;
      SetErrorInfoFor(source, "Unexpected error", iid);
    }
  } catch (...) {
    // No memory even for the error object: the status code alone must do.
    SetErrorInfo(0, nullptr);
  }
  return hr;
}

std::optional<std::string> TakeErrorDescription() {
  ComPtr<IErrorInfo> info;
  if (GetErrorInfo(0, info.put()) != S_OK || !info) return std::nullopt;
  Bstr text;
  if (FAILED(info->GetDescription(text.put()))) return std::string();
  return text.utf8();
}

Error ErrorFromStatus(HRESULT status) {
  const auto bits = static_cast<uint32_t>(status);
  const bool numbered = (bits & 0xFFFF0000u) == static_cast<uint32_t>(kErrorHresultBase);
  return Error(numbered ? static_cast<int32_t>(bits & 0xFFFFu) : status, TakeErrorDescription().value_or(""));
}

}  // namespace comrt

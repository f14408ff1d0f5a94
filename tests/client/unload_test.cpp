// A client that keeps something the server handed out (type information, the
// type library, a class factory) past its last object: the server must stay
// loaded through CoFreeUnusedLibraries while it is held, and go once it is released.
#include <functional>

#include "client_declarations.h"
#include "com/activation.h"
#include "com/variant.h"
#include "lone_server.h"

namespace {

using comrt::ComPtr;

ComPtr<ITypeInfo> TypeInfoOf(IDispatch* object) {
  ComPtr<ITypeInfo> info;
  EXPECT_EQ(object->GetTypeInfo(0, 0, info.put()), S_OK);
  return info;
}

std::string NameOf(ITypeInfo* info) {
  comrt::Bstr name;
  EXPECT_EQ(info->GetDocumentation(MEMBERID_NIL, name.put(), nullptr, nullptr, nullptr), S_OK);
  return name.utf8();
}

TEST_F(ClientTest, WhatAClientHoldsKeepsTheServerLoaded) {
  ASSERT_EQ(CallServer(QUORLINK_SERVER, "DllRegisterServer"), S_OK);
  struct Case {
    const char* what;
    std::function<ComPtr<IUnknown>(IDispatch* root)> take;
    std::function<void(IUnknown* held)> use;
  };
  const Case cases[] = {
      {"the root's type information", [](IDispatch* root) { return ComPtr<IUnknown>(TypeInfoOf(root)); },
       [](IUnknown* held) { EXPECT_EQ(NameOf(static_cast<ITypeInfo*>(held)), "_QELRurUzoz"); }},
      {"the vtable view of it",
       [](IDispatch* root) {
         const ComPtr<ITypeInfo> info = TypeInfoOf(root);
         HREFTYPE ref = 0;
         EXPECT_EQ(info->GetRefTypeOfImplType(static_cast<UINT>(-1), &ref), S_OK);
         ComPtr<ITypeInfo> vtable;
         EXPECT_EQ(info->GetRefTypeInfo(ref, vtable.put()), S_OK);
         return ComPtr<IUnknown>(vtable);
       },
       [](IUnknown* held) {
         FUNCDESC* f = nullptr;
         ASSERT_EQ(static_cast<ITypeInfo*>(held)->GetFuncDesc(0, &f), S_OK);
         EXPECT_EQ(f->oVft, 7 * 8);
         static_cast<ITypeInfo*>(held)->ReleaseFuncDesc(f);
       }},
      {"the type library containing it",
       [](IDispatch* root) {
         ComPtr<ITypeLib> library;
         EXPECT_EQ(TypeInfoOf(root)->GetContainingTypeLib(library.put(), nullptr), S_OK);
         return ComPtr<IUnknown>(library);
       },
       [](IUnknown* held) {
         auto* library = static_cast<ITypeLib*>(held);
         ComPtr<ITypeInfo> info;
         ASSERT_EQ(library->GetTypeInfoOfGuid(IID__SMBusProtocall, info.put()), S_OK);
         EXPECT_EQ(NameOf(info.get()), "_SMBusProtocall");
       }},
      {"a class factory",
       [](IDispatch*) {
         ComPtr<IClassFactory> factory;
         EXPECT_EQ(CoGetClassObject(CLSID_QELRurUzoz, CLSCTX_INPROC_SERVER, nullptr, IID_IClassFactory,
                                    reinterpret_cast<void**>(factory.put())),
                   S_OK);
         return ComPtr<IUnknown>(factory);
       },
       [](IUnknown* held) {
         ComPtr<_QELRurUzoz> root;
         ASSERT_EQ(static_cast<IClassFactory*>(held)->CreateInstance(nullptr, IID__QELRurUzoz,
                                                                    reinterpret_cast<void**>(root.put())),
                   S_OK);
         short type = 1;
         EXPECT_EQ(root->get_PortType(&type), S_OK);
         EXPECT_EQ(type, 0);
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ComPtr<IDispatch> root;
    ASSERT_EQ(CoCreateInstance(CLSID_QELRurUzoz, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch,
                               reinterpret_cast<void**>(root.put())),
              S_OK)
        << ErrorDescription();
    ComPtr<IUnknown> held = c.take(root.get());
    ASSERT_TRUE(held);
    root.reset();
    CoFreeUnusedLibraries();
    ASSERT_TRUE(Loaded(QUORLINK_SERVER)) << "held, so not unloaded";
    c.use(held.get());
    CoFreeUnusedLibraries();
    EXPECT_TRUE(Loaded(QUORLINK_SERVER));
    held.reset();
    CoFreeUnusedLibraries();
    EXPECT_FALSE(Loaded(QUORLINK_SERVER)) << "released, so unloaded";
  }
}

}  // namespace

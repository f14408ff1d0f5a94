#include "com/typedata.h"

namespace comrt {

bool NamesEqual(std::u16string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char16_t x = a[i];
    char16_t y = static_cast<unsigned char>(b[i]);
    if (x >= u'A' && x <= u'Z') x = static_cast<char16_t>(x - u'A' + u'a');
    if (y >= u'A' && y <= u'Z') y = static_cast<char16_t>(y - u'A' + u'a');
    if (x != y) return false;
  }
  return true;
}

const MemberInfo* TypeData::Find(DISPID dispid, WORD invokeFlags) const {
  for (const MemberInfo& m : members) {
    if (m.dispid != dispid) continue;
    const WORD kindBit = static_cast<WORD>(m.kind);
    if (invokeFlags & kindBit) return &m;
  }
  return nullptr;
}

const MemberInfo* TypeData::FindByName(std::u16string_view wanted) const {
  for (const MemberInfo& m : members)
    if (NamesEqual(wanted, m.name)) return &m;
  return nullptr;
}

int LibraryData::IndexOf(std::string_view typeName) const {
  for (size_t i = 0; i < types.size(); ++i)
    if (types[i].name == typeName) return static_cast<int>(i);
  return -1;
}

TypeData CoClass(std::string name, const CLSID& clsid, const TypeData& defaultInterface,
                 const TypeData* sourceInterface) {
  TypeData t;
  t.name = std::move(name);
  t.guid = clsid;
  t.kind = TypeKind::CoClass;
  t.flags = TYPEFLAG_FCANCREATE;
  t.defaultInterface = defaultInterface.name;
  if (sourceInterface) t.sourceInterface = sourceInterface->name;
  return t;
}

}  // namespace comrt

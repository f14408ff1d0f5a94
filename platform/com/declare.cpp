#include "com/declare.h"

#include <stdexcept>

#include "com/dispatch.h"

namespace comrt {

namespace {

bool IsIdentifierChar(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
}

VARTYPE BaseVartype(const std::string& type) {
  struct Known {
    const char* name;
    VARTYPE vt;
  };
  static const Known known[] = {
      {"BYTE", VT_UI1},     {"short", VT_I2},   {"SHORT", VT_I2},   {"LONG", VT_I4},
      {"float", VT_R4},     {"FLOAT", VT_R4},   {"double", VT_R8},  {"DOUBLE", VT_R8},
      {"VARIANT_BOOL", VT_BOOL}, {"BSTR", VT_BSTR}, {"VARIANT", VT_VARIANT}, {"IDispatch", VT_DISPATCH},
      {"IUnknown", VT_UNKNOWN},
  };
  for (const Known& k : known)
    if (type == k.name) return k.vt;
  return VT_USERDEFINED;
}

[[noreturn]] void Bad(const char* type, const std::string& member, const std::string& why) {
  throw std::logic_error(std::string("declaration of ") + type + "." + member + ": " + why);
}

// "(BYTE DeviceAddress, _PrinterPort * *retval)" -> parameters.
std::vector<ParamInfo> ParseParams(const char* typeName, const MemberDecl& decl) {
  std::string text = decl.params;
  if (text.size() < 2 || text.front() != '(' || text.back() != ')') Bad(typeName, decl.name, "no parameter list");
  text = text.substr(1, text.size() - 2);
  std::vector<ParamInfo> params;
  size_t at = 0;
  while (text.find_first_not_of(" \t\n") != std::string::npos && at <= text.size()) {
    size_t comma = text.find(',', at);
    if (comma == std::string::npos) comma = text.size();
    std::string one = text.substr(at, comma - at);
    while (!one.empty() && one.back() == ' ') one.pop_back();
    size_t nameStart = one.size();
    while (nameStart > 0 && IsIdentifierChar(one[nameStart - 1])) --nameStart;
    ParamInfo p;
    p.name = one.substr(nameStart);
    for (char c : one.substr(0, nameStart)) {
      if (c == '*') {
        ++p.indirection;
      } else if (c != ' ') {
        if (p.indirection > 0) Bad(typeName, decl.name, "unreadable parameter type: " + one);
        p.typeName.push_back(c);
      }
    }
    if (p.name.empty() || p.typeName.empty()) Bad(typeName, decl.name, "parameter without type or name: " + one);
    p.vt = BaseVartype(p.typeName);
    params.push_back(std::move(p));
    at = comma + 1;
    if (comma == text.size()) break;
  }
  return params;
}

}  // namespace

TypeData BuildType(const char* name, const GUID& iid, TypeKind kind, std::initializer_list<MemberDecl> members) {
  TypeData t;
  t.name = name;
  t.guid = iid;
  t.kind = kind;
  t.base = "IDispatch";
  t.flags = kind == TypeKind::Dual
                ? TYPEFLAG_FHIDDEN | TYPEFLAG_FDUAL | TYPEFLAG_FNONEXTENSIBLE | TYPEFLAG_FOLEAUTOMATION |
                      TYPEFLAG_FDISPATCHABLE
                : TYPEFLAG_FHIDDEN | TYPEFLAG_FNONEXTENSIBLE | TYPEFLAG_FDISPATCHABLE;
  int slot = 7;
  for (const MemberDecl& decl : members) {
    MemberInfo m;
    m.kind = decl.kind;
    m.name = decl.name;
    m.dispid = decl.dispid;
    m.params = ParseParams(name, decl);
    m.call = decl.call;
    m.slot = slot++;
    if (decl.call != nullptr && decl.arity != m.params.size()) Bad(name, decl.name, "parameter list does not parse");
    if (m.params.size() > kMaxInvokeParams) Bad(name, decl.name, "more parameters than IDispatch::Invoke serves");
    for (size_t i = 0; i < m.params.size(); ++i) {
      ParamInfo& p = m.params[i];
      if (decl.refs) p.ref = decl.refs[i];
      if (p.vt == VT_USERDEFINED && p.ref == nullptr && decl.call != nullptr)
        Bad(name, decl.name, "unknown parameter type " + p.typeName);
      const bool last = i + 1 == m.params.size();
      p.retval = last && p.name == "retval";
      if (p.retval && p.indirection == 0) Bad(name, decl.name, "retval must be a pointer");
    }
    const bool setter = m.kind == MemberKind::PropPut || m.kind == MemberKind::PropPutRef;
    if (setter) {
      if (m.params.size() != 1 || m.params[0].retval) Bad(name, decl.name, "a setter takes exactly one value");
      m.params[0].name.clear();
    }
    if (m.kind == MemberKind::PropGet && m.Retval() == nullptr) Bad(name, decl.name, "a getter needs a retval");
    if (kind == TypeKind::DispInterface && m.Retval() != nullptr) Bad(name, decl.name, "events have no result");
    t.members.push_back(std::move(m));
  }
  return t;
}

}  // namespace comrt

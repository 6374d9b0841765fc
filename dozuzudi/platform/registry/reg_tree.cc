// Keys and values of a parsed registry file.
#include <algorithm>

#include "platform/registry/registry.h"
#include "platform/text/wstr.h"
#include "platform/registry/reg_tree.h"

namespace platform::reg {

std::u16string FoldName(std::u16string_view name) {
  std::u16string folded(name);
  for (char16_t& c : folded) c = towlower(c);
  return folded;
}

CRegKey::CRegKey(std::u16string_view name) : m_name(name), m_folded(FoldName(name)) {}

const CRegKey* CRegKey::FindSubkey(std::u16string_view folded) const {
  for (const auto& subkey : m_subkeys)
    if (subkey->m_folded == folded) return subkey.get();
  return nullptr;
}

const CRegValue* CRegKey::FindValue(std::u16string_view folded) const {
  for (const CRegValue& value : m_values)
    if (value.m_folded == folded) return &value;
  return nullptr;
}

CRegKey* CRegKey::FindSubkey(std::u16string_view folded) {
  return const_cast<CRegKey*>(static_cast<const CRegKey*>(this)->FindSubkey(folded));
}

CRegKey* CRegKey::SubkeyForWrite(std::u16string_view name) {
  std::u16string folded = FoldName(name);
  for (auto& subkey : m_subkeys)
    if (subkey->m_folded == folded) return subkey.get();
  m_subkeys.push_back(std::make_unique<CRegKey>(name));
  return m_subkeys.back().get();
}

void CRegKey::DeleteSubkey(std::u16string_view name) {
  std::u16string folded = FoldName(name);
  std::erase_if(m_subkeys, [&](const auto& subkey) { return subkey->m_folded == folded; });
}

void CRegKey::SetValue(CRegValue value) {
  value.m_folded = FoldName(value.m_name);
  for (CRegValue& existing : m_values) {
    if (existing.m_folded == value.m_folded) {
      existing = std::move(value);
      return;
    }
  }
  m_values.push_back(std::move(value));
}

void CRegKey::DeleteValue(std::u16string_view name) {
  std::u16string folded = FoldName(name);
  std::erase_if(m_values, [&](const CRegValue& value) { return value.m_folded == folded; });
}

CRegTree::CRegTree() {
  m_rgRoots[static_cast<int>(ERoot::ClassesRoot)] = std::make_unique<CRegKey>(u"HKEY_CLASSES_ROOT");
  m_rgRoots[static_cast<int>(ERoot::CurrentUser)] = std::make_unique<CRegKey>(u"HKEY_CURRENT_USER");
  m_rgRoots[static_cast<int>(ERoot::LocalMachine)] =
      std::make_unique<CRegKey>(u"HKEY_LOCAL_MACHINE");
  m_rgRoots[static_cast<int>(ERoot::Users)] = std::make_unique<CRegKey>(u"HKEY_USERS");
}

}  // namespace platform::reg

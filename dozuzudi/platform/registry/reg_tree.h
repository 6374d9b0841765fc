// The registry as read from a .reg file: an immutable tree of keys and typed
// values once parsing is done.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/registry/registry.h"

namespace platform::reg {

// Names compare by their case-folded form (the folding of _wcsicmp).
std::u16string FoldName(std::u16string_view name);

struct CRegValue {
  std::u16string m_name;    // as written; empty for the default value
  std::u16string m_folded;  // FoldName(m_name)
  DWORD m_type = REG_NONE;
  std::vector<BYTE> m_data;  // the bytes RegQueryValueExW returns
};

class CRegKey {
 public:
  explicit CRegKey(std::u16string_view name);

  const std::u16string& Name() const { return m_name; }
  const CRegKey* FindSubkey(std::u16string_view folded) const;
  const CRegValue* FindValue(std::u16string_view folded) const;
  // Subkeys in the order the file first named them.
  const std::vector<std::unique_ptr<CRegKey>>& Subkeys() const { return m_subkeys; }

  // Building (parser only).
  CRegKey* FindSubkey(std::u16string_view folded);
  CRegKey* SubkeyForWrite(std::u16string_view name);  // created when absent
  void DeleteSubkey(std::u16string_view name);
  void SetValue(CRegValue value);                     // replaces a value of that name
  void DeleteValue(std::u16string_view name);

 private:
  std::u16string m_name;
  std::u16string m_folded;
  std::vector<std::unique_ptr<CRegKey>> m_subkeys;
  std::vector<CRegValue> m_values;
};

// The predefined roots a file may name.
enum class ERoot { ClassesRoot, CurrentUser, LocalMachine, Users, Count };

struct CRegTree {
  CRegTree();
  std::unique_ptr<CRegKey> m_rgRoots[static_cast<int>(ERoot::Count)];
  CRegKey* Root(ERoot e) const { return m_rgRoots[static_cast<int>(e)].get(); }
};

struct CRegParseError {
  size_t m_nLine = 0;  // 1-based; 0 for faults of the file as a whole
  std::string m_reason;
};

// Parses the bytes of a .reg file into |tree| (which should be fresh). On a
// malformed file returns false with |error| filled; |tree| is then partial
// and is to be discarded.
bool ParseRegFile(std::string_view bytes, CRegTree* tree, CRegParseError* error);

}  // namespace platform::reg

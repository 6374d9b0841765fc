// Parser of the .reg export format (see registry.h for the accepted syntax).
#include <string>
#include <string_view>
#include <vector>

#include "platform/registry/registry.h"
#include "platform/text/wstr.h"
#include "platform/registry/reg_tree.h"

namespace platform::reg {

namespace {

using CView = std::u16string_view;

constexpr CView kHeader5 = u"Windows Registry Editor Version 5.00";
constexpr CView kHeader4 = u"REGEDIT4";

struct CRootName {
  CView m_name;
  ERoot m_root;
};

constexpr CRootName krgRootNames[] = {
    {u"HKEY_LOCAL_MACHINE", ERoot::LocalMachine}, {u"HKLM", ERoot::LocalMachine},
    {u"HKEY_CLASSES_ROOT", ERoot::ClassesRoot},   {u"HKCR", ERoot::ClassesRoot},
    {u"HKEY_CURRENT_USER", ERoot::CurrentUser},   {u"HKCU", ERoot::CurrentUser},
    {u"HKEY_USERS", ERoot::Users},                {u"HKU", ERoot::Users},
};

bool IsBlank(char16_t c) { return c == u' ' || c == u'\t'; }

CView TrimLeft(CView s) {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  return s;
}

CView Trim(CView s) {
  s = TrimLeft(s);
  while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
  return s;
}

int HexDigit(char16_t c) {
  if (c >= u'0' && c <= u'9') return c - u'0';
  if (c >= u'a' && c <= u'f') return c - u'a' + 10;
  if (c >= u'A' && c <= u'F') return c - u'A' + 10;
  return -1;
}

bool StartsWithNoCase(CView s, CView prefix) {
  if (s.size() < prefix.size()) return false;
  for (size_t i = 0; i < prefix.size(); ++i)
    if (towlower(s[i]) != towlower(prefix[i])) return false;
  return true;
}

// Blank, or a ";" comment.
bool IsEmptyRest(CView s) {
  s = TrimLeft(s);
  return s.empty() || s.front() == u';';
}

void AppendUtf16Le(std::vector<BYTE>* out, CView s) {
  for (char16_t c : s) {
    out->push_back(static_cast<BYTE>(c & 0xFF));
    out->push_back(static_cast<BYTE>(c >> 8));
  }
}

void AppendLe(std::vector<BYTE>* out, uint64_t n, int cb) {
  for (int i = 0; i < cb; ++i) out->push_back(static_cast<BYTE>(n >> (8 * i)));
}

// Decodes the file to UTF-16 lines. Line ends are LF or CRLF.
bool SplitLines(std::string_view bytes, std::u16string* text, std::vector<CView>* lines,
                CRegParseError* error) {
  auto fail = [&](size_t nLine, const char* reason) {
    error->m_nLine = nLine;
    error->m_reason = reason;
    return false;
  };
  if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF &&
      static_cast<unsigned char>(bytes[1]) == 0xFE) {
    if (bytes.size() % 2 != 0) return fail(0, "UTF-16 file of odd length");
    for (size_t i = 2; i < bytes.size(); i += 2)
      text->push_back(static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                            static_cast<unsigned char>(bytes[i + 1]) << 8));
  } else if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFE &&
             static_cast<unsigned char>(bytes[1]) == 0xFF) {
    return fail(0, "big-endian UTF-16 is not supported");
  } else {
    if (bytes.size() >= 3 && bytes.substr(0, 3) == "\xEF\xBB\xBF") bytes.remove_prefix(3);
    // Decoded line by line so that invalid UTF-8 is reported with its line.
    size_t nLine = 1;
    for (size_t start = 0; start <= bytes.size(); ++nLine) {
      size_t end = bytes.find('\n', start);
      if (end == std::string_view::npos) end = bytes.size();
      if (DecodeUtf8(bytes.substr(start, end - start), text) != 0)
        return fail(nLine, "invalid UTF-8");
      if (end < bytes.size()) text->push_back(u'\n');
      start = end + 1;
    }
  }
  CView all(*text);
  for (size_t start = 0; start <= all.size();) {
    size_t end = all.find(u'\n', start);
    if (end == CView::npos) end = all.size();
    CView line = all.substr(start, end - start);
    if (!line.empty() && line.back() == u'\r') line.remove_suffix(1);
    lines->push_back(line);
    start = end + 1;
  }
  return true;
}

class CParser {
 public:
  CParser(const std::vector<CView>& lines, CRegTree* tree, CRegParseError* error)
      : m_lines(lines), m_tree(tree), m_error(error) {}

  bool Run() {
    // The header is the first line that is not blank.
    while (m_iLine < m_lines.size() && Trim(m_lines[m_iLine]).empty()) ++m_iLine;
    if (m_iLine == m_lines.size()) return Fail("empty file: no header line");
    CView header = Trim(m_lines[m_iLine]);
    if (header != kHeader5 && header != kHeader4) return Fail("bad header line");
    for (++m_iLine; m_iLine < m_lines.size(); ++m_iLine) {
      CView line = Trim(m_lines[m_iLine]);
      if (line.empty() || line.front() == u';') continue;
      bool fOk;
      if (line.front() == u'[')
        fOk = Section(line);
      else if (line.front() == u'"' || line.front() == u'@')
        fOk = Value(line);
      else
        fOk = Fail("unrecognised line");
      if (!fOk) return false;
    }
    return true;
  }

 private:
  bool Fail(const char* reason) {
    m_error->m_nLine = m_iLine + 1;
    m_error->m_reason = reason;
    return false;
  }

  // "[ROOT\a\b]" opens (creating) a key; "[-ROOT\a\b]" deletes one.
  bool Section(CView line) {
    if (line.size() < 2 || line.back() != u']') return Fail("unterminated section bracket");
    CView path = line.substr(1, line.size() - 2);
    bool fDelete = !path.empty() && path.front() == u'-';
    if (fDelete) path.remove_prefix(1);
    std::vector<CView> parts;
    for (size_t start = 0;;) {
      size_t end = path.find(u'\\', start);
      CView part = path.substr(start, end == CView::npos ? CView::npos : end - start);
      if (part.empty()) return Fail("empty key name in section");
      parts.push_back(part);
      if (end == CView::npos) break;
      start = end + 1;
    }
    CRegKey* key = nullptr;
    for (const CRootName& root : krgRootNames) {
      if (parts[0].size() == root.m_name.size() && StartsWithNoCase(parts[0], root.m_name)) key = m_tree->Root(root.m_root);
    }
    if (key == nullptr) return Fail("unknown root key");
    m_fInSection = true;
    m_current = nullptr;
    if (fDelete) {
      // Deleting an absent key, or a root, changes nothing; values that
      // follow until the next section are ignored.
      for (size_t i = 1; key != nullptr && i + 1 < parts.size(); ++i)
        key = key->FindSubkey(FoldName(parts[i]));
      if (key != nullptr && parts.size() > 1) key->DeleteSubkey(parts.back());
      return true;
    }
    for (size_t i = 1; i < parts.size(); ++i) key = key->SubkeyForWrite(parts[i]);
    m_current = key;
    return true;
  }

  // A quoted text at the start of |*s| with the escapes \\ and \"; other
  // backslashes are kept as written. |*s| is left after the closing quote.
  bool Quoted(CView* s, std::u16string* out) {
    size_t i = 1;
    for (; i < s->size(); ++i) {
      char16_t c = (*s)[i];
      if (c == u'"') {
        s->remove_prefix(i + 1);
        return true;
      }
      if (c == u'\\' && i + 1 < s->size() && ((*s)[i + 1] == u'\\' || (*s)[i + 1] == u'"')) c = (*s)[++i];
      out->push_back(c);
    }
    return Fail("unterminated string");
  }

  bool Value(CView line) {
    if (!m_fInSection) return Fail("value outside a key section");
    CRegValue value;
    if (line.front() == u'@') {
      line.remove_prefix(1);
    } else if (!Quoted(&line, &value.m_name)) {
      return false;
    }
    line = TrimLeft(line);
    if (line.empty() || line.front() != u'=') return Fail("missing '=' after value name");
    line = TrimLeft(line.substr(1));
    if (line.empty()) return Fail("missing value data");

    if (line.front() == u'-') {
      if (!IsEmptyRest(line.substr(1))) return Fail("unexpected text after value");
      if (m_current != nullptr) m_current->DeleteValue(value.m_name);
      return true;
    }
    if (line.front() == u'"') {
      std::u16string text;
      if (!Quoted(&line, &text)) return false;
      if (!IsEmptyRest(line)) return Fail("unexpected text after value");
      value.m_type = REG_SZ;
      AppendUtf16Le(&value.m_data, text);
      AppendLe(&value.m_data, 0, 2);
    } else if (StartsWithNoCase(line, u"dword:")) {
      if (!Number(line.substr(6), 8, REG_DWORD, &value)) return Fail("bad dword value");
    } else if (StartsWithNoCase(line, u"qword:")) {
      if (!Number(line.substr(6), 16, REG_QWORD, &value)) return Fail("bad qword value");
    } else if (StartsWithNoCase(line, u"hex")) {
      if (!Hex(line.substr(3), &value)) return false;
    } else {
      return Fail("bad value data");
    }
    if (m_current != nullptr) m_current->SetValue(std::move(value));
    return true;
  }

  // 1 to |cDigitsMax| hex digits and nothing else.
  static bool Number(CView s, size_t cDigitsMax, DWORD type, CRegValue* value) {
    size_t cDigits = 0;
    uint64_t n = 0;
    for (; cDigits < s.size() && HexDigit(s[cDigits]) >= 0; ++cDigits)
      n = n << 4 | static_cast<uint64_t>(HexDigit(s[cDigits]));
    if (cDigits == 0 || cDigits > cDigitsMax || !IsEmptyRest(s.substr(cDigits))) return false;
    value->m_type = type;
    AppendLe(&value->m_data, n, type == REG_QWORD ? 8 : 4);
    return true;
  }

  // "hex:" (REG_BINARY) or "hex(N):" then comma-separated bytes, continued
  // on following lines after a trailing "\".
  bool Hex(CView s, CRegValue* value) {
    value->m_type = REG_BINARY;
    if (!s.empty() && s.front() == u'(') {
      size_t close = s.find(u')');
      if (close == CView::npos || close == 1 || close > 9) return Fail("bad hex value type");
      DWORD type = 0;
      for (size_t i = 1; i < close; ++i) {
        int digit = HexDigit(s[i]);
        if (digit < 0) return Fail("bad hex value type");
        type = type << 4 | static_cast<DWORD>(digit);
      }
      value->m_type = type;
      s.remove_prefix(close + 1);
    }
    if (s.empty() || s.front() != u':') return Fail("bad value data");
    s.remove_prefix(1);
    for (;;) {
      s = TrimLeft(s);
      if (s.empty() || s.front() == u';') return true;
      if (s.front() == u'\\') {
        if (!TrimLeft(s.substr(1)).empty()) return Fail("bad hex data");
        if (m_iLine + 1 >= m_lines.size()) return Fail("hex data continued past the end of the file");
        s = m_lines[++m_iLine];
        continue;
      }
      int hi = HexDigit(s.front());
      if (hi < 0) return Fail("bad hex data");
      s.remove_prefix(1);
      int byte = hi;
      if (!s.empty() && HexDigit(s.front()) >= 0) {
        byte = byte << 4 | HexDigit(s.front());
        s.remove_prefix(1);
      }
      value->m_data.push_back(static_cast<BYTE>(byte));
      s = TrimLeft(s);
      if (!s.empty() && s.front() == u',') {
        s.remove_prefix(1);
      } else if (!s.empty() && s.front() != u'\\' && s.front() != u';') {
        return Fail("bad hex data");
      }
    }
  }

  const std::vector<CView>& m_lines;
  CRegTree* m_tree;
  CRegParseError* m_error;
  size_t m_iLine = 0;
  bool m_fInSection = false;
  CRegKey* m_current = nullptr;  // null inside a deletion section
};

}  // namespace

bool ParseRegFile(std::string_view bytes, CRegTree* tree, CRegParseError* error) {
  std::u16string text;
  std::vector<CView> lines;
  if (!SplitLines(bytes, &text, &lines, error)) return false;
  return CParser(lines, tree, error).Run();
}

}  // namespace platform::reg

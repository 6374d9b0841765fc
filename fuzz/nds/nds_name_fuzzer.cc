// Feeds arbitrary bytes to the NDS name parser, as "context\nname": a name
// that parses maps to a DN that reads back as a name which maps to the same
// DN again; any text read as a DN never crashes; escaped filter values hold
// no filter syntax.
#include <cctype>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/netwin32/nds_name.h"

using namespace netwin32;

namespace {

void Check(bool f) {
  if (!f) __builtin_trap();
}

void CheckFilterValue(std::string_view s) {
  std::string sEscaped = EscapeFilterValue(s);
  for (size_t i = 0; i < sEscaped.size(); ++i) {
    char ch = sEscaped[i];
    Check(ch != '*' && ch != '(' && ch != ')' && ch != '\0');
    if (ch == '\\') Check(i + 2 < sEscaped.size() && isxdigit(sEscaped[i + 1]) && isxdigit(sEscaped[i + 2]));
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view sInput(reinterpret_cast<const char*>(data), size);
  CNamingRules rules;
  rules.sRootDn = "dc=tree,dc=test";
  std::string sAny;
  DnToNdsName(sInput, rules, &sAny);
  CheckFilterValue(sInput);

  size_t nSplit = sInput.find('\n');
  std::string_view sContext = nSplit == std::string_view::npos ? std::string_view() : sInput.substr(0, nSplit);
  std::string_view sName = nSplit == std::string_view::npos ? sInput : sInput.substr(nSplit + 1);
  CNdsName context;
  if (ParseNdsName(sContext, {}, &context) != 0) context.clear();
  CNdsName name;
  if (ParseNdsName(sName, context, &name) != 0) return 0;
  for (bool fContainer : {false, true}) {
    std::string sDn = NdsNameToDn(name, rules, fContainer);
    std::string sBack;
    Check(DnToNdsName(sDn, rules, &sBack));
    std::string sLatin1;
    Check(Utf8ToLatin1(sBack, &sLatin1));
    if (fContainer) continue;  // names read back are object names
    CNdsName again;
    NWDSCCODE nCode = ParseNdsName(sLatin1, {}, &again);
    if (nCode == NDS_ERR_DN_TOO_LONG) continue;
    Check(nCode == 0);
    Check(NdsNameToDn(again, rules, false) == sDn);
    CheckFilterValue(sDn);
  }
  return 0;
}

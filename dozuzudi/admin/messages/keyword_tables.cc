#include "admin/messages/keyword_tables.h"

#include <cstring>

KeywordTable RequestKeywords[] = {
    {1, 0, u"RequestChangePassword"}, {2, 0, u"RequestGroup"}, {0, 0, nullptr}};
KeywordTable AttributeKeywords[] = {{1, 0, u"version"}, {2, 0, u"type"},     {3, 0, u"name"},
                                    {4, 0, u"domain"},  {5, 0, u"traverse"}, {6, 0, u"encoding"},
                                    {0, 0, nullptr}};
KeywordTable ChangePasswordKeywords[] = {{1, 0, u"UserName"},    {2, 0, u"Domain"},
                                         {3, 0, u"OldPassword"}, {4, 0, u"NewPassword"},
                                         {5, 0, u"Hash"},        {0, 0, nullptr}};
KeywordTable DomainTypeKeywords[] = {{1, 0, u"NT"}, {2, 0, u"NDS"}, {3, 0, u"Unix"}, {0, 0, nullptr}};
KeywordTable HashKeywords[] = {{1, 0, u"SHA-1"}, {0, 0, nullptr}};
KeywordTable EncodingKeywords[] = {{1, 0, u"vlt1"}, {0, 0, nullptr}};
KeywordTable GroupRequestKeywords[] = {{1, 0, u"Scope"},       {2, 0, u"GroupName"},
                                       {3, 0, u"Credentials"}, {4, 0, u"UserName"},
                                       {5, 0, u"Domain"},      {6, 0, u"Password"},
                                       {0, 0, nullptr}};
KeywordTable ScopeKeywords[] = {{1, 0, u"onelevel"}, {2, 0, u"subtree"}, {0, 0, nullptr}};

void InitKeywordTables() {
  KeywordTable* rgTables[] = {RequestKeywords,    AttributeKeywords, ChangePasswordKeywords,
                              DomainTypeKeywords, HashKeywords,      EncodingKeywords,
                              GroupRequestKeywords, ScopeKeywords};
  for (KeywordTable* table : rgTables) {
    for (KeywordTable* entry = table; entry->name != nullptr; ++entry) {
      DWORD cw = 0;
      while (entry->name[cw] != 0) ++cw;
      entry->length = cw;
    }
  }
}

namespace {

DWORD Lookup(const KeywordTable* table, const void* pwName, DWORD cwName) {
  const KeywordTable* entry = table;
  for (; entry->name != nullptr; ++entry) {
    if (entry->length == cwName &&
        (cwName == 0 || std::memcmp(entry->name, pwName, cwName * sizeof(WCHAR)) == 0))
      return entry->id;
  }
  return entry->id;
}

}  // namespace

DWORD LookupKeyword(const KeywordTable* table, const WCHAR* pwName, DWORD cwName) {
  return Lookup(table, pwName, cwName);
}

DWORD LookupKeyword(const KeywordTable* table, const unsigned short* pwName, DWORD cwName) {
  return Lookup(table, pwName, cwName);
}

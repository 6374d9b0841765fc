// The protocol's vocabulary: static tables of (id, length, name) through
// which element, attribute and value names are classified.
#pragma once

#include "platform/base/wintypes.h"

struct KeywordTable {
  DWORD id;            // 1 and up; 0 ends the table
  DWORD length;        // characters of name, filled in by InitKeywordTables
  const WCHAR* name;   // spelled as in documents; null ends the table
};

extern KeywordTable RequestKeywords[];
extern KeywordTable AttributeKeywords[];
extern KeywordTable ChangePasswordKeywords[];
extern KeywordTable DomainTypeKeywords[];
extern KeywordTable HashKeywords[];
extern KeywordTable EncodingKeywords[];
extern KeywordTable GroupRequestKeywords[];
extern KeywordTable ScopeKeywords[];

enum ERequestId { REQUEST_CHANGE_PASSWORD = 1, REQUEST_GROUP = 2 };
enum EAttributeId {
  ATTRIBUTE_VERSION = 1,
  ATTRIBUTE_TYPE = 2,
  ATTRIBUTE_NAME = 3,
  ATTRIBUTE_DOMAIN = 4,
  ATTRIBUTE_TRAVERSE = 5,
  ATTRIBUTE_ENCODING = 6
};
enum EChangePasswordElementId {
  ELEMENT_USER_NAME = 1,
  ELEMENT_DOMAIN = 2,
  ELEMENT_OLD_PASSWORD = 3,
  ELEMENT_NEW_PASSWORD = 4,
  ELEMENT_HASH = 5
};
enum DomainType { DOMAIN_TYPE_NONE = 0, DOMAIN_TYPE_NT = 1, DOMAIN_TYPE_NDS = 2, DOMAIN_TYPE_UNIX = 3 };
enum HashType { HASH_TYPE_NONE = 0, HASH_TYPE_SHA1 = 1 };

// Fills in the length of every entry of the eight tables; called once at
// start, before any request is served.
void InitKeywordTables();

// The id of the entry whose name equals the cwName characters at pwName
// exactly (case-sensitive, same length), or 0.
DWORD LookupKeyword(const KeywordTable* table, const WCHAR* pwName, DWORD cwName);
// The same for a name in a tokenizer's buffer.
DWORD LookupKeyword(const KeywordTable* table, const unsigned short* pwName, DWORD cwName);

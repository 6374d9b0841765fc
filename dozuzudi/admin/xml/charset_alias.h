// The process-wide table of encoding-name aliases, loaded from the alias file
// "vltxmlss.txt".
//
// File format (8-bit text): an entry is one line holding a decimal code page
// number followed by one or more names in quotation marks, for example
//   65001 "utf-8" "UTF8"
// Text between the number and the names is passed over; a line feed or "#"
// ends the entry, "#" also starts a comment running to the end of its line.
// Names are stored in lower case. Lines that do not follow this shape (no
// number, number 0, no closing line feed) are passed over.
//
// The table is built during the extension's start and freed at its stop,
// while no worker runs; lookups in between take no lock.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/base/wintypes.h"

// One alias: a name and the code page of the entry that listed it.
struct CharsetAlias {
  CharsetAlias* pNext;       // the alias added before this one, or null
  int64_t nCodePage;         // code page number of the entry
  uint32_t cbName;           // size of pwszName in bytes: 2 x length + 2
  unsigned short* pwszName;  // lower-case name, NUL-terminated; owned
};

class CCharsetAliasTable {
 public:
  // Builds the table from the alias file unless it already holds aliases.
  // With hModule the file lies beside that module; with a null handle under
  // the install location (registry "Software\Veltra\Install", "Location",
  // + "\System32\vltxmlss.txt"), or in the current directory when the install
  // key is missing. True with *pError 0 on success (also when already
  // loaded); false with *pError 5 when the file cannot be found, read or
  // mapped, or the install location cannot be read.
  static bool Load(int* pError, HINSTANCE hModule);

  // Removes and frees every alias; the table is empty afterwards.
  static void Free();

  // Adds the aliases of an alias file's contents to the table.
  static void Parse(const unsigned char* pbData, size_t cbData);

  // The code page of the first alias (the one nearest the end of the file)
  // equal to the name without regard to case, comparing at most cwMax code
  // units of the name; -1 when none matches, the name is empty, the table is
  // empty or cwMax exceeds 127.
  static int Lookup(const unsigned short* pwszName, int cwMax);

  // The head of the list: the last alias added, or null while empty.
  static const CharsetAlias* Head() { return ms_pHead; }

  // The alias file's path for a module handle as described under Load, into
  // a buffer of MAX_PATH code units. False (*pError 5) when the install
  // location exists but its "Location" value cannot be read.
  static bool FindFile(HINSTANCE hModule, WCHAR* pwszPath, int* pError);

 private:
  static void Add(int64_t nCodePage, const unsigned char* pbName, size_t cbName);

  static CharsetAlias* ms_pHead;
};

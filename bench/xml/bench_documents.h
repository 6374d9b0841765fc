// The documents of the XML benchmark.
#pragma once

#include <string>

namespace xmlbench {

// A change-password request of about 600 bytes in UTF-8.
std::string RequestUtf8();
// The same request in UTF-16LE with a byte-order mark.
std::string RequestUtf16le();
// A UTF-8 document of records with attributes, text and references, of
// about cbTarget bytes.
std::string RecordsDocument(size_t cbTarget);

}  // namespace xmlbench

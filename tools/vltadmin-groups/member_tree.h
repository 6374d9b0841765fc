// The text form of a ResponseGroup document: each requested group with its
// members, nested groups indented under the group that holds them.
#pragma once

#include <string>

// The tree of the response bytes (as the extension wrote them, in the
// request's encoding); false when they do not read as a response document.
bool FormatMemberTree(const std::string& sResponse, std::string* psText);

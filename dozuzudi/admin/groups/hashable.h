// The objects a GroupNameSet holds: placed by Hash, told apart by Equals.
#pragma once

#include "platform/base/wintypes.h"

class IHashable {
 public:
  virtual ~IHashable() = default;
  virtual DWORD Hash() const = 0;
  // By default an object equals only itself.
  virtual bool Equals(const IHashable& other) const { return this == &other; }
};

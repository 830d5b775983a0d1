// PROPVARIANT owner: PropVariantClear on every path.
#pragma once

#include <propidl.h>

namespace quorvel {

class PropVariant {
 public:
  PropVariant() noexcept { PropVariantInit(&value_); }
  ~PropVariant() { PropVariantClear(&value_); }
  PropVariant(const PropVariant&) = delete;
  PropVariant& operator=(const PropVariant&) = delete;
  PROPVARIANT* Get() noexcept { return &value_; }

 private:
  PROPVARIANT value_;
};

}  // namespace quorvel

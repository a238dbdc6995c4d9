#pragma once

#include <cstddef>
#include <span>

namespace quorvil {

// One program resource compiled into the program. The type is a number (TypeId, with an
// empty TypeName) or a name (TypeName, with TypeId 0).
struct TEmbeddedResource {
  int TypeId;
  const char* TypeName;
  const char* Name;
  const unsigned char* Data;
  std::size_t Size;
};

// Every resource listed in resources/resources.list.
std::span<const TEmbeddedResource> EmbeddedResources();

}  // namespace quorvil

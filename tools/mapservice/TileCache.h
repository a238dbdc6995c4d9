#pragma once

// The generated tiles most recently asked for, bounded in bytes, shared by all request
// threads.

#include <cstdint>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>

#include "service/TerraServiceSoapSupport.h"

namespace quorvil::mapservice {

class TileCache {
 public:
  using Value = std::shared_ptr<const std::string>;
  static constexpr std::int64_t kMinEntryBytes = 64;

  explicit TileCache(std::int64_t maxBytes) : maxBytes_(maxBytes) {}

  Value Find(const TileId& id);
  // Keeps the value unless it alone exceeds the bound; drops the least recently used.
  void Put(const TileId& id, Value value);

  // Bytes held, counting each entry as at least kMinEntryBytes, so that even empty
  // answers (tiles without imagery) stay bounded.
  std::int64_t Bytes() const;
  std::size_t Count() const;

 private:
  struct Key {
    int theme, scale, scene, x, y;
    bool operator==(const Key&) const = default;
  };
  struct KeyHash {
    std::size_t operator()(const Key& k) const;
  };
  using Entry = std::pair<Key, Value>;
  static Key KeyOf(const TileId& id);
  static std::int64_t SizeOf(const Value& value);

  const std::int64_t maxBytes_;
  mutable std::mutex mutex_;
  std::list<Entry> order_;  // most recent first
  std::unordered_map<Key, std::list<Entry>::iterator, KeyHash> index_;
  std::int64_t bytes_ = 0;
};

}  // namespace quorvil::mapservice

#include "mapservice/TileCache.h"

#include <algorithm>

namespace quorvil::mapservice {

std::size_t TileCache::KeyHash::operator()(const Key& k) const {
  std::size_t h = static_cast<std::size_t>(k.theme) * 31 + static_cast<std::size_t>(k.scale);
  h = h * 131 + static_cast<std::size_t>(k.scene);
  h = h * 1000003 + static_cast<std::size_t>(static_cast<unsigned>(k.x));
  h = h * 1000033 + static_cast<std::size_t>(static_cast<unsigned>(k.y));
  return h;
}

TileCache::Key TileCache::KeyOf(const TileId& id) {
  return {static_cast<int>(id.Theme), static_cast<int>(id.Scale), id.Scene, id.X, id.Y};
}

std::int64_t TileCache::SizeOf(const Value& value) {
  return std::max(static_cast<std::int64_t>(value->size()), kMinEntryBytes);
}

TileCache::Value TileCache::Find(const TileId& id) {
  std::lock_guard lock(mutex_);
  const auto it = index_.find(KeyOf(id));
  if (it == index_.end()) return nullptr;
  order_.splice(order_.begin(), order_, it->second);
  return it->second->second;
}

void TileCache::Put(const TileId& id, Value value) {
  const std::int64_t size = SizeOf(value);
  if (size > maxBytes_) return;
  std::lock_guard lock(mutex_);
  const Key key = KeyOf(id);
  if (const auto it = index_.find(key); it != index_.end()) {
    bytes_ -= SizeOf(it->second->second);
    order_.erase(it->second);
    index_.erase(it);
  }
  order_.emplace_front(key, std::move(value));
  index_[key] = order_.begin();
  bytes_ += size;
  while (bytes_ > maxBytes_) {
    const Entry& last = order_.back();
    bytes_ -= SizeOf(last.second);
    index_.erase(last.first);
    order_.pop_back();
  }
}

std::int64_t TileCache::Bytes() const {
  std::lock_guard lock(mutex_);
  return bytes_;
}

std::size_t TileCache::Count() const {
  std::lock_guard lock(mutex_);
  return index_.size();
}

}  // namespace quorvil::mapservice

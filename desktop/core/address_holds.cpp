#include "core/address_holds.h"

#include <algorithm>

namespace kn {

bool AddressHolds::blocked(const std::string& url) const {
  std::lock_guard<std::mutex> lock(mutex_);
  return std::find(blocked_.begin(), blocked_.end(), url) != blocked_.end();
}

void AddressHolds::block(const std::string& url) {
  std::lock_guard<std::mutex> lock(mutex_);
  blocked_.push_back(url);
}

void AddressHolds::unblock(const std::string& url) {
  std::lock_guard<std::mutex> lock(mutex_);
  auto it = std::find(blocked_.begin(), blocked_.end(), url);
  if (it != blocked_.end()) blocked_.erase(it);
}

}  // namespace kn

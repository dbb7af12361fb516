#pragma once
// The addresses whose request was given up at its limit while its call still runs.
// Where a blocked call cannot be broken off, every poll against a silent server would
// leave one more call behind, so such an address gets no new request until it ends.
#include <mutex>
#include <string>
#include <vector>

namespace kn {

class AddressHolds {
 public:
  bool blocked(const std::string& url) const;
  // Once per call given up; each is lifted by its own unblock.
  void block(const std::string& url);
  void unblock(const std::string& url);

 private:
  mutable std::mutex mutex_;
  std::vector<std::string> blocked_;  // one entry per call still running
};

}  // namespace kn

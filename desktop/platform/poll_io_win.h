#pragma once
// The poll's traffic with the system: its requests over WinINet, and the answer and
// title files in the program folder.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/app_state.h"
#include "core/request_batch.h"

namespace kn {

// The I/O half of a poll's host. Folder and parallel requests are read from the
// program's state at each call, so a changed setting counts from the next poll.
class PollIo {
 public:
  explicit PollIo(const AppState& app) : app_(app) {}

  // Removes a listener answer file left behind by an earlier run.
  void delete_listener_file() const;
  // Starts the requests together; notify runs on a worker after each answer.
  std::unique_ptr<PollRequests> start_requests(const std::vector<BatchRequest>& requests,
                                               std::function<void()> notify) const;
  // A listener answer through the listener file; empty for no answer.
  std::string listener_text(const Answer& answer) const;
  // A current-song answer through the title file; a new song becomes a line of the
  // station's title file. Returns the id to remember.
  int32_t current_song(const std::string& name, const Answer& answer, int32_t last_id,
                       const std::string& count_text) const;
  // Both answer files, so none is left half-written when the program ends.
  void delete_answer_files() const;

 private:
  std::string in_folder(const char* file) const;

  const AppState& app_;
};

}  // namespace kn

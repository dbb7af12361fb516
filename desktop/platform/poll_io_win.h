#pragma once
// The poll's traffic with the system: its requests over WinINet, and the answer and
// title files in the program folder.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/app_state.h"
#include "core/poll.h"
#include "core/request_batch.h"

namespace kn {

// The poll's I/O over WinINet and the program folder. Folder and parallel requests
// are read from the program's state at each call, so a changed setting counts from
// the next poll.
class SystemPollIo : public PollIo {
 public:
  explicit SystemPollIo(const AppState& app) : app_(app) {}

  void delete_listener_file() override;
  std::unique_ptr<PollRequests> start_requests(const std::vector<BatchRequest>& requests,
                                               std::function<void()> notify) override;
  std::string listener_text(const Answer& answer) override;
  std::optional<SongInfo> song_heard(const Answer& answer) override;
  int32_t current_song(const std::string& name, const Answer& answer, int32_t last_id,
                       const std::string& count_text) override;
  // Both answer files, so none is left half-written when the program ends.
  void delete_answer_files() const;

 private:
  std::string in_folder(const char* file) const;

  const AppState& app_;
};

}  // namespace kn

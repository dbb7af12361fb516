#include "platform/poll_io_win.h"

#include <utility>

#include "core/poll.h"
#include "core/title_files.h"
#include "platform/answer_files_win.h"
#include "platform/download_workers_win.h"
#include "platform/title_files_win.h"
#include "win/ansi_win.h"
#include "win/date_time_win.h"
#include "win/files_win.h"

namespace kn {

std::string SystemPollIo::in_folder(const char* file) const { return app_.program_folder + "\\" + file; }

void SystemPollIo::delete_listener_file() { delete_file_quietly(in_folder(kListenerFile)); }

std::unique_ptr<PollRequests> SystemPollIo::start_requests(const std::vector<BatchRequest>& requests,
                                                           std::function<void()> notify) {
  return kn::start_requests(requests, static_cast<unsigned>(app_.settings.parallel_requests), std::move(notify));
}

std::string SystemPollIo::listener_text(const Answer& answer) {
  return through_file(answer, in_folder(kListenerFile));
}

int32_t SystemPollIo::current_song(const std::string& name, const Answer& answer, int32_t last_id,
                                   const std::string& count_text) {
  const std::string folder = app_.program_folder;
  return handle_current_song(
      through_file(answer, in_folder(kTitleFile)), last_id, count_text,
      [&](const std::string& line) { return append_title_line(folder, name, line); },
      [] { return std::pair(current_date_text(), current_time_text()); });
}

std::optional<SongInfo> SystemPollIo::song_heard(const Answer& answer) {
  // The bytes as the title file reads them: in the ANSI code page.
  return answer ? parse_current_song(ansi_to_utf8(*answer)) : std::nullopt;
}

void SystemPollIo::delete_answer_files() const {
  delete_file_quietly(in_folder(kListenerFile));
  delete_file_quietly(in_folder(kTitleFile));
}

}  // namespace kn

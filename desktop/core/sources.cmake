list(APPEND KN_CORE_SRCS
  ${CMAKE_CURRENT_LIST_DIR}/text_util.cpp
  ${CMAKE_CURRENT_LIST_DIR}/number_text.cpp
  ${CMAKE_CURRENT_LIST_DIR}/settings.cpp
  ${CMAKE_CURRENT_LIST_DIR}/poll.cpp
  ${CMAKE_CURRENT_LIST_DIR}/timers.cpp
  ${CMAKE_CURRENT_LIST_DIR}/title_files.cpp
  ${CMAKE_CURRENT_LIST_DIR}/hoerer_stats.cpp
  ${CMAKE_CURRENT_LIST_DIR}/history_file.cpp
  ${CMAKE_CURRENT_LIST_DIR}/history_range.cpp
  ${CMAKE_CURRENT_LIST_DIR}/history_log.cpp
  ${CMAKE_CURRENT_LIST_DIR}/poll_runner.cpp
  ${CMAKE_CURRENT_LIST_DIR}/request_batch.cpp
  ${CMAKE_CURRENT_LIST_DIR}/answer_watch.cpp
  ${CMAKE_CURRENT_LIST_DIR}/request_url.cpp
  ${CMAKE_CURRENT_LIST_DIR}/taskbar.cpp
  ${CMAKE_CURRENT_LIST_DIR}/autostart.cpp
  ${CMAKE_CURRENT_LIST_DIR}/tray_presence.cpp)

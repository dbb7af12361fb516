#include "app/frm_main.h"

#include "app/instance_guard_win.h"
#include "app/messages.h"
#include "app/program.h"
#include "core/settings.h"
#include "win/ansi_win.h"

namespace kn {

UINT taskbar_created_message() {
  static const UINT id = RegisterWindowMessageW(L"TaskbarCreated");
  return id;
}

FrmMain::FrmMain(Program& program)
    : program_(program),
      taskbar_created_(taskbar_created_message()),
      already_running_query_(InstanceGuard::message()) {}

bool FrmMain::create(HINSTANCE instance, HICON icon) {
  const std::wstring cls = utf8_to_wide(kMainWindowClass);
  WindowClass main_class{cls.c_str()};
  main_class.icon = icon;
  // A tool window that is never shown has no taskbar button and no switcher entry.
  return create_window(main_class, instance, WS_EX_TOOLWINDOW, utf8_to_wide(kProgramTitle).c_str(),
                       WS_OVERLAPPED, 0, 0, 100, 100, nullptr) != nullptr;
}

LRESULT FrmMain::handle(UINT msg, WPARAM wp, LPARAM lp) {
  // The registered messages have no fixed number a switch could name.
  if (msg == taskbar_created_) {
    program_.shell_restarted();
    return 0;
  }
  if (msg == already_running_query_) return program_.answer_later_copy(wp);
  switch (msg) {
    case WM_TIMER:
      if (wp == kCountdownTimer) program_.countdown_tick();
      if (wp == kChangesOnlyTimer) program_.changes_only_tick();
      if (wp == kPollLimitsTimer) program_.advance_poll();
      return 0;
    case kAnswerReadyMessage:
      program_.advance_poll();
      return 0;
    case kAlreadyRunningMessage:
      program_.say_already_running();
      return 0;
    case kHistoryPrunedMessage:
      program_.history_pruned();
      return 0;
    case WM_CLOSE:
      program_.end_program();
      return 0;
    case WM_QUERYENDSESSION:
      return TRUE;  // another program may still cancel the logoff
    case WM_ENDSESSION:
      if (wp) program_.end_program();
      return 0;
    default:
      return WindowBase::handle(msg, wp, lp);
  }
}

}  // namespace kn

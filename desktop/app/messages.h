#pragma once
// The program's own window classes, messages and timers, in one place.
#include <windows.h>

namespace kn {

inline constexpr const char* kMainWindowClass = "Klangnetz_frmMain";
inline constexpr const char* kTrayWindowClass = "Klangnetz_Picture1";
// The tray icon's callback to its window.
inline constexpr UINT kTrayCallbackMessage = 512;
// Posted by a poll's workers when an answer is ready.
inline constexpr UINT kAnswerReadyMessage = WM_APP + 1;
// A later copy of this folder was started and ended.
inline constexpr UINT kAlreadyRunningMessage = WM_APP + 2;
// The history file's pruning worker is done.
inline constexpr UINT kHistoryPrunedMessage = WM_APP + 3;

// The main window's timers.
inline constexpr UINT_PTR kCountdownTimer = 1;    // one second: countdown and the timed poll
inline constexpr UINT_PTR kChangesOnlyTimer = 2;  // one second: how long a change stays shown
// While a poll runs: lets the limits of its requests pass (period: core/poll_limits.h).
inline constexpr UINT_PTR kPollLimitsTimer = 3;

// Sent by a (re)started shell, which has forgotten every tray icon.
UINT taskbar_created_message();

}  // namespace kn

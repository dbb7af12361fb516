#pragma once
// frmAbout: name, version and purpose of the program, and a link to the maker's page.
#include <windows.h>

#include <functional>
#include <string>

#include "core/win_handle.h"

namespace kn {

inline constexpr const wchar_t* kAboutWindowClass = L"Klangnetz_frmAbout";
inline constexpr const wchar_t* kLinkWindowClass = L"Klangnetz_Link";
inline constexpr const char* kHomePage = "https://klangnetz.de/desktoptool";

// "Version " + major.minor.revision from the file's version resource; empty when
// the file has none.
std::string program_version_text(const std::wstring& exe_path);

class FrmAbout {
 public:
  // Opens a page: (owner, address, working folder).
  using Opener = std::function<void(HWND, const std::string&, const std::string&)>;

  FrmAbout(HINSTANCE instance, std::string program_folder);
  ~FrmAbout();
  FrmAbout(const FrmAbout&) = delete;
  FrmAbout& operator=(const FrmAbout&) = delete;

  // Replaces the browser start, e.g. in tests.
  void set_opener(Opener opener) { opener_ = std::move(opener); }

  bool open();
  void run_modal();
  void close();
  bool is_open() const { return static_cast<bool>(window_); }

  HWND hwnd() const { return window_.get(); }
  HWND link() const { return link_; }
  HWND version_label() const { return version_; }
  bool link_underlined() const { return link_hot_; }

 private:
  static LRESULT CALLBACK proc(HWND, UINT, WPARAM, LPARAM);
  static LRESULT CALLBACK link_proc(HWND, UINT, WPARAM, LPARAM);
  LRESULT handle(UINT msg, WPARAM wp, LPARAM lp);
  LRESULT handle_link(UINT msg, WPARAM wp, LPARAM lp);
  void create_controls();
  void set_link_hot(bool hot);
  void paint();
  int px_x(int twips) const;
  int px_y(int twips) const;

  HINSTANCE instance_;
  std::string program_folder_;
  Opener opener_;
  unique_hwnd window_;
  unique_hfont font_;
  unique_hfont link_font_;
  unique_hicon picture_;
  HWND link_ = nullptr;  // children go with the window
  HWND version_ = nullptr;
  HWND donate_ = nullptr;
  bool link_hot_ = false;
  bool link_pressed_ = false;
  int twips_per_px_x_ = 15;
  int twips_per_px_y_ = 15;
};

}  // namespace kn

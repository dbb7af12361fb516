#pragma once
// frmAbout: name, version and purpose of the program, and a link to the maker's page.
#include <windows.h>

#include <array>
#include <functional>
#include <string>

#include "core/settings.h"
#include "win/win_handle.h"
#include "win/window_base_win.h"

namespace kn {

inline constexpr const wchar_t* kAboutWindowClass = L"Klangnetz_frmAbout";
inline constexpr const wchar_t* kLinkWindowClass = L"Klangnetz_Link";

// The dialog's texts (UTF-8).
inline constexpr const char* kHomePage = "https://klangnetz.de/desktoptool";
inline constexpr const char* kAboutCaptionPrefix = "Info zu ";
inline constexpr const char* kAboutDescription =
    "Diese Programm zeigt die H\xC3\xB6rerzahlen ein oder mehrere Klangnetz Stationen auf dem Desktop an.";
inline constexpr const char* kAboutLinkCaption = "Homepage:";
inline constexpr const char* kAboutDonation = "Auf der Webseite gibt es auch einen Spende-Button :)";
inline constexpr const char* kAboutOk = "OK";
// What the dialog's controls show, top to bottom, apart from the version, which
// comes from the program file.
inline constexpr std::array<const char*, 6> kAboutControlTexts{
    kProgramTitle, kAboutDescription, kAboutLinkCaption, kHomePage, kAboutDonation, kAboutOk};

// "Version " + major.minor.revision from the file's version resource; empty when
// the file has none.
std::string program_version_text(const std::wstring& exe_path);

class FrmAbout : public WindowBase {
 public:
  // Opens a page: (owner, address, working folder).
  using Opener = std::function<void(HWND, const std::string&, const std::string&)>;

  // The picture is the icon resource `icon_id` of `instance`.
  FrmAbout(HINSTANCE instance, std::string program_folder, int icon_id);
  ~FrmAbout() override;
  FrmAbout(const FrmAbout&) = delete;
  FrmAbout& operator=(const FrmAbout&) = delete;

  // Replaces the browser start, e.g. in tests.
  void set_opener(Opener opener) { opener_ = std::move(opener); }

  // Creates and shows the dialog; run_modal (win/modal_loop_win.h) then serves it.
  bool open();
  void close();

  HWND link() const { return link_.hwnd(); }
  HWND version_label() const { return version_; }
  bool link_underlined() const { return link_hot_; }

 private:
  // The home page link: a child of its own class whose messages the dialog handles.
  class Link : public WindowBase {
   public:
    explicit Link(FrmAbout& about) : about_(about) {}
    ~Link() override { destroy(); }
    bool create(HWND parent, HINSTANCE instance, int x, int y, int width, int height);

   private:
    LRESULT handle(UINT msg, WPARAM wp, LPARAM lp) override { return about_.handle_link(msg, wp, lp); }
    FrmAbout& about_;
  };

  LRESULT handle(UINT msg, WPARAM wp, LPARAM lp) override;
  LRESULT handle_link(UINT msg, WPARAM wp, LPARAM lp);
  void create_controls();
  void set_link_hot(bool hot);
  void paint();

  HINSTANCE instance_;
  std::string program_folder_;
  int icon_id_;
  Opener opener_;
  unique_hfont font_;
  unique_hfont link_font_;
  unique_hicon picture_;
  Link link_{*this};
  HWND version_ = nullptr;  // children go with the window
  HWND donate_ = nullptr;
  bool link_hot_ = false;
  bool link_pressed_ = false;
};

}  // namespace kn

// Inivault.dll as a Windows caller sees it: loaded at run time, every export bound
// by its undecorated name, strings returned as BSTRs.
#include <gtest/gtest.h>
#include <windows.h>
// after windows.h, which it needs
#include <oleauto.h>
#include <sddl.h>

#include <cstdint>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "common/file_security.h"
#include "file_io.h"
#include "inivault.h"

namespace {

using kn::test::file_identity;
using kn::test::security_text;

struct Exports {
  decltype(&ReadINIFile) read_ini;
  decltype(&WriteINIFile) write_ini;
  decltype(&ClearINIFile) clear_ini;
  decltype(&GetNumberofINIKeys) key_count;
  decltype(&GetNumberofINIValues) value_count;
  decltype(&GetValueInteger) get_int;
  decltype(&GetValueString) get_string;
  decltype(&SetValueInteger) set_int;
  decltype(&SetValueString) set_string;
  decltype(&Delete_Value) delete_value;
  decltype(&Delete_Sektion) delete_section;
  decltype(&SCr) scr;
  decltype(&SDe) sde;
  decltype(&FC) fc;
  decltype(&FD) fd;
};

HMODULE g_module = nullptr;
Exports g;

template <typename F>
bool bind(F& target, const char* name) {
  target = reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(g_module, name)));
  return target != nullptr;
}

std::string exe_folder() {
  char exe[MAX_PATH];
  const DWORD n = GetModuleFileNameA(nullptr, exe, MAX_PATH);
  const std::string path(exe, n);
  return path.substr(0, path.find_last_of("\\/") + 1);
}

std::string dll_path() { return exe_folder() + "Inivault.dll"; }

// Copies and frees a BSTR result.
std::wstring take(BSTR text) {
  std::wstring out = text != nullptr ? std::wstring(text, SysStringLen(text)) : std::wstring();
  SysFreeString(text);
  return out;
}

std::string read_bytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void write_bytes(const std::string& path, const std::string& data) {
  std::ofstream(path, std::ios::binary) << data;
}

int count_files(const std::string& folder) {
  WIN32_FIND_DATAA found;
  HANDLE h = FindFirstFileA((folder + "*").c_str(), &found);
  if (h == INVALID_HANDLE_VALUE) return 0;
  int count = 0;
  do {
    if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) ++count;
  } while (FindNextFileA(h, &found));
  FindClose(h);
  return count;
}

class InivaultDll : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    g_module = LoadLibraryA(dll_path().c_str());
    ASSERT_NE(g_module, nullptr) << dll_path();
    const bool all = bind(g.read_ini, "ReadINIFile") && bind(g.write_ini, "WriteINIFile") &&
                     bind(g.clear_ini, "ClearINIFile") && bind(g.key_count, "GetNumberofINIKeys") &&
                     bind(g.value_count, "GetNumberofINIValues") && bind(g.get_int, "GetValueInteger") &&
                     bind(g.get_string, "GetValueString") && bind(g.set_int, "SetValueInteger") &&
                     bind(g.set_string, "SetValueString") && bind(g.delete_value, "Delete_Value") &&
                     bind(g.delete_section, "Delete_Sektion") && bind(g.scr, "SCr") && bind(g.sde, "SDe") &&
                     bind(g.fc, "FC") && bind(g.fd, "FD");
    ASSERT_TRUE(all);
  }

  void SetUp() override {
    ASSERT_NE(g.clear_ini, nullptr) << "the exports could not be bound";
    g.clear_ini();
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    folder_ = std::string(temp) + "inivault-dll-" + std::to_string(GetCurrentProcessId()) + "-" +
              std::to_string(counter_++) + "\\";
    CreateDirectoryA(folder_.c_str(), nullptr);
    file_ = folder_ + "settings.ini";
  }

  void TearDown() override {
    WIN32_FIND_DATAA found;
    HANDLE h = FindFirstFileA((folder_ + "*").c_str(), &found);
    if (h != INVALID_HANDLE_VALUE) {
      do {
        const std::string path = folder_ + found.cFileName;
        SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileA(path.c_str());
      } while (FindNextFileA(h, &found));
      FindClose(h);
    }
    RemoveDirectoryA(folder_.c_str());
  }

  static inline int counter_ = 0;
  std::string folder_;
  std::string file_;
};

TEST_F(InivaultDll, ExportsTheUndecoratedNamesOnly) {
  EXPECT_EQ(GetProcAddress(g_module, "FreeString"), nullptr);
  EXPECT_EQ(GetProcAddress(g_module, "ReadINIFile@4"), nullptr);
  EXPECT_EQ(GetProcAddress(g_module, "_ReadINIFile@4"), nullptr);
}

// The version resource carries the library's version, as `inivault --version` does.
TEST_F(InivaultDll, VersionResourceIsTheLibrarys) {
  const HRSRC found = FindResourceA(g_module, MAKEINTRESOURCEA(VS_VERSION_INFO), MAKEINTRESOURCEA(16));
  ASSERT_NE(found, nullptr);
  const auto* data = static_cast<const unsigned char*>(LockResource(LoadResource(g_module, found)));
  ASSERT_NE(data, nullptr);
  const std::string bytes(reinterpret_cast<const char*>(data), SizeofResource(g_module, found));
  const std::string signature("\xBD\x04\xEF\xFE", 4);
  const auto at = bytes.find(signature);
  ASSERT_NE(at, std::string::npos);
  ASSERT_LE(at + sizeof(VS_FIXEDFILEINFO), bytes.size());
  VS_FIXEDFILEINFO info;
  std::memcpy(&info, bytes.data() + at, sizeof info);
  const std::string version = std::to_string(HIWORD(info.dwFileVersionMS)) + "." +
                              std::to_string(LOWORD(info.dwFileVersionMS)) + "." +
                              std::to_string(HIWORD(info.dwFileVersionLS));
  EXPECT_EQ(version, KN_INIVAULT_VERSION);
  EXPECT_EQ(info.dwProductVersionMS, info.dwFileVersionMS);
}

TEST_F(InivaultDll, DocumentThroughStdcall) {
  EXPECT_EQ(g.value_count("s"), -1);
  EXPECT_EQ(g.set_string("s", "mixed", " 42abc"), 1);
  EXPECT_EQ(g.set_int("s", "neg", -7), 1);
  EXPECT_EQ(g.set_string("S", "k", "other case"), 1);
  EXPECT_EQ(g.key_count(), 2);
  EXPECT_EQ(g.value_count("s"), 2);
  EXPECT_EQ(g.get_int("s", "mixed"), 42);
  EXPECT_EQ(g.get_int("s", "missing"), 0);
  EXPECT_EQ(take(g.get_string("s", "neg")), L"-7");
  EXPECT_EQ(take(g.get_string("s", "missing")), L"");

  EXPECT_EQ(g.delete_value("s", "mixed"), 1);
  EXPECT_EQ(g.delete_value("s", "mixed"), 1);
  EXPECT_EQ(g.delete_value("s", "neg"), 1);
  EXPECT_EQ(g.value_count("s"), 0);
  EXPECT_EQ(g.delete_section("s"), 1);
  EXPECT_EQ(g.delete_section("nothing"), 1);
  EXPECT_EQ(g.key_count(), 1);
  EXPECT_EQ(g.clear_ini(), 1);
  EXPECT_EQ(g.key_count(), 0);
}

TEST_F(InivaultDll, HighBytesGoThroughTheAnsiCodePage) {
  const char value[] = "\xE4\xF6\x80 end";
  g.set_string("s", "k", value);
  wchar_t expected[32] = {};
  const int n = MultiByteToWideChar(CP_ACP, 0, value, static_cast<int>(sizeof value - 1), expected, 32);
  ASSERT_GT(n, 0);
  BSTR result = g.get_string("s", "k");
  ASSERT_NE(result, nullptr);
  EXPECT_EQ(SysStringLen(result), static_cast<UINT>(n));
  EXPECT_EQ(std::wstring(result, SysStringLen(result)), std::wstring(expected, n));
  if (GetACP() == 1252) {
    EXPECT_EQ(std::wstring(result, 3), L"\u00E4\u00F6\u20AC");
  }
  SysFreeString(result);
}

TEST_F(InivaultDll, MissingFileIsCreatedByWrite) {
  g.read_ini("");
  EXPECT_EQ(g.write_ini(), 0);

  EXPECT_EQ(g.read_ini(file_.c_str()), 0);
  g.set_string("", "top", "1");
  g.set_string("s", "k", "  v");
  EXPECT_EQ(g.write_ini(), 1);
  EXPECT_EQ(read_bytes(file_), "[]\r\ntop=1\r\n\r\n[s]\r\nk=  v\r\n\r\n");

  g.clear_ini();
  ASSERT_EQ(g.read_ini(file_.c_str()), 1);
  EXPECT_EQ(take(g.get_string("s", "k")), L"v");
  EXPECT_EQ(take(g.get_string("", "top")), L"1");
}

TEST_F(InivaultDll, RelativePathsAreReplacedToo) {
  char previous[MAX_PATH];
  GetCurrentDirectoryA(MAX_PATH, previous);
  ASSERT_TRUE(SetCurrentDirectoryA(folder_.c_str()));
  EXPECT_EQ(g.read_ini("relative.ini"), 0);
  g.set_string("s", "k", "1");
  EXPECT_EQ(g.write_ini(), 1);
  g.set_string("s", "k", "2");
  EXPECT_EQ(g.write_ini(), 1);
  EXPECT_EQ(g.fc("relative.ini", "key"), 1);
  EXPECT_EQ(g.fd("relative.ini", "key"), 1);
  SetCurrentDirectoryA(previous);
  EXPECT_EQ(read_bytes(folder_ + "relative.ini"), "[s]\r\nk=2\r\n\r\n");
  EXPECT_EQ(count_files(folder_), 1);
}

TEST_F(InivaultDll, FailedWriteKeepsTheOldFile) {
  write_bytes(file_, "[s]\r\nk=old\r\n");
  SetFileAttributesA(file_.c_str(), FILE_ATTRIBUTE_READONLY);
  ASSERT_EQ(g.read_ini(file_.c_str()), 1);
  g.set_string("s", "k", "new");
  EXPECT_EQ(g.write_ini(), 0);
  EXPECT_EQ(g.fc(file_.c_str(), "key"), 0);
  EXPECT_EQ(read_bytes(file_), "[s]\r\nk=old\r\n");
  EXPECT_EQ(count_files(folder_), 1);
}

TEST_F(InivaultDll, FileHeldOpenWithoutDeleteSharingIsKept) {
  write_bytes(file_, "[s]\r\nk=old\r\n");
  ASSERT_EQ(g.read_ini(file_.c_str()), 1);
  g.set_string("s", "k", "new");
  {
    const HANDLE held = CreateFileA(file_.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    EXPECT_EQ(g.write_ini(), 0);
    CloseHandle(held);
  }
  EXPECT_EQ(read_bytes(file_), "[s]\r\nk=old\r\n");
  EXPECT_EQ(count_files(folder_), 1);
  EXPECT_EQ(g.write_ini(), 1);
  EXPECT_EQ(read_bytes(file_), "[s]\r\nk=new\r\n\r\n");
}

// A file that only its owner may read stays so (under Wine the access list is the
// file's mode bits; the owner can differ from the caller's only on Windows).
TEST_F(InivaultDll, AccessListIsKept) {
  write_bytes(file_, "[s]\r\nk=old\r\n");
  ASSERT_TRUE(kn::test::restrict_to_owner(file_));
  const std::wstring before = security_text(file_);
  ASSERT_EQ(before.find(L";;;WD)"), std::wstring::npos) << before;

  ASSERT_EQ(g.read_ini(file_.c_str()), 1);
  g.set_string("s", "k", "new");
  ASSERT_EQ(g.write_ini(), 1);
  EXPECT_EQ(security_text(file_), before);
  ASSERT_EQ(g.fc(file_.c_str(), "key"), 1);
  EXPECT_EQ(security_text(file_), before);
  ASSERT_EQ(g.fd(file_.c_str(), "key"), 1);
  EXPECT_EQ(read_bytes(file_), "[s]\r\nk=new\r\n\r\n");
  EXPECT_EQ(count_files(folder_), 1);
}

// Where the system refuses the new file the old one's owner or access list, the
// file is written in place, keeping them; a failed rename changes nothing. Neither
// leaves a temporary file behind, although it may carry an access list that lets
// nobody delete it by name.
TEST_F(InivaultDll, RefusedStepsKeepTheFileWhole) {
  write_bytes(file_, "[s]\r\nk=old\r\n");
  ASSERT_TRUE(SetFileAttributesA(file_.c_str(), FILE_ATTRIBUTE_HIDDEN));
  const std::wstring security = security_text(file_);
  for (const inivault::FileStep step : {inivault::FileStep::kSetOwner, inivault::FileStep::kRename}) {
    const bool in_place = step == inivault::FileStep::kSetOwner;
    inivault::set_fault_hook(
        [step](inivault::FileStep now) { return now == step ? ERROR_ACCESS_DENIED : 0; });
    const std::string text = in_place ? "[s]\r\nk=in place\r\n\r\n" : "[s]\r\nk=renamed\r\n\r\n";
    const bool written = inivault::replace_file(file_, text);
    inivault::set_fault_hook({});
    EXPECT_EQ(written, in_place);
    EXPECT_EQ(read_bytes(file_), in_place ? text : "[s]\r\nk=in place\r\n\r\n");
    EXPECT_EQ(security_text(file_), security);
    EXPECT_TRUE(GetFileAttributesA(file_.c_str()) & FILE_ATTRIBUTE_HIDDEN);
    EXPECT_EQ(count_files(folder_), 1);
  }
}

// Wine makes no symbolic links (CreateSymbolicLinkW creates nothing), so the host
// makes this one beside the test: link.ini, pointing at real\settings.ini.
TEST_F(InivaultDll, LinkIsWrittenThroughAndStaysALink) {
  const std::string links = exe_folder() + "inivault-links\\";
  const std::string link = links + "link.ini";
  const std::string real = links + "real\\settings.ini";
  if (GetFileAttributesA(link.c_str()) == INVALID_FILE_ATTRIBUTES)
    GTEST_SKIP() << "no link at " << link << " (made by the ctest fixture inivault_links_setup)";
  write_bytes(real, "[s]\r\nk=old\r\n");
  ASSERT_EQ(file_identity(link), file_identity(real));

  ASSERT_EQ(g.read_ini(link.c_str()), 1);
  g.set_string("s", "k", "new");
  ASSERT_EQ(g.write_ini(), 1);
  EXPECT_EQ(read_bytes(real), "[s]\r\nk=new\r\n\r\n");
  ASSERT_EQ(g.fc(link.c_str(), "key"), 1);
  ASSERT_EQ(g.fd(link.c_str(), "key"), 1);
  EXPECT_EQ(read_bytes(real), "[s]\r\nk=new\r\n\r\n");
  EXPECT_EQ(file_identity(link), file_identity(real));
  EXPECT_EQ(count_files(links), 1);
  EXPECT_EQ(count_files(links + "real\\"), 1);
}

TEST_F(InivaultDll, HardLinkedFileKeepsItsLinks) {
  const std::string other = folder_ + "other-name.ini";
  write_bytes(file_, "[s]\r\nk=old\r\n");
  ASSERT_TRUE(CreateHardLinkA(other.c_str(), file_.c_str(), nullptr));
  ASSERT_EQ(g.read_ini(file_.c_str()), 1);
  g.set_string("s", "k", "new");
  ASSERT_EQ(g.write_ini(), 1);
  EXPECT_EQ(read_bytes(file_), "[s]\r\nk=new\r\n\r\n");
  EXPECT_EQ(read_bytes(other), "[s]\r\nk=new\r\n\r\n");
  EXPECT_EQ(count_files(folder_), 2);
}

// Device names are files to CreateFile; reading one must not wait on the console,
// and writing must not pour the settings into it.
TEST_F(InivaultDll, DeviceNamesAreNeitherReadNorWritten) {
  for (const char* device : {"NUL", "CON", "nul", "CON:"}) {
    g.clear_ini();
    EXPECT_EQ(g.read_ini(device), 0) << device;
    g.set_string("s", "k", "v");
    EXPECT_EQ(g.write_ini(), 0) << device;
    EXPECT_EQ(g.fc(device, "key"), 0) << device;
    EXPECT_EQ(g.fd(device, "key"), 0) << device;
  }
  EXPECT_EQ(g.read_ini((folder_ + "NUL").c_str()), 0);
  EXPECT_EQ(g.write_ini(), 0);
}

// Paths beyond MAX_PATH go through the temporary file like any other.
TEST_F(InivaultDll, LongPathsAreReadAndWritten) {
  std::wstring wide_folder = L"\\\\?\\";
  std::string folder = folder_;
  for (const char c : folder_) wide_folder += static_cast<wchar_t>(c);
  std::vector<std::wstring> made;
  for (int i = 0; folder.size() < MAX_PATH + 40; ++i) {
    const std::string part = "a-rather-long-folder-name-" + std::to_string(i);
    folder += part + "\\";
    wide_folder += std::wstring(part.begin(), part.end()) + L"\\";
    ASSERT_TRUE(CreateDirectoryW(wide_folder.c_str(), nullptr));
    made.push_back(wide_folder);
  }
  const std::string path = folder + "settings.ini";
  const std::wstring wide_path = wide_folder + L"settings.ini";
  ASSERT_GT(path.size(), static_cast<std::size_t>(MAX_PATH));

  EXPECT_EQ(g.read_ini(path.c_str()), 0);
  g.set_string("s", "k", "long");
  EXPECT_EQ(g.write_ini(), 1);
  g.clear_ini();
  EXPECT_EQ(g.read_ini(path.c_str()), 1);
  EXPECT_EQ(take(g.get_string("s", "k")), L"long");
  EXPECT_EQ(g.fc(path.c_str(), "key"), 1);
  EXPECT_EQ(g.fd(path.c_str(), "key"), 1);
  g.clear_ini();
  EXPECT_EQ(g.read_ini(path.c_str()), 1);
  EXPECT_EQ(take(g.get_string("s", "k")), L"long");

  // Only the settings file is left in the deepest folder.
  WIN32_FIND_DATAW found;
  int files = 0;
  HANDLE h = FindFirstFileW((wide_folder + L"*").c_str(), &found);
  if (h != INVALID_HANDLE_VALUE) {
    do {
      if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) ++files;
    } while (FindNextFileW(h, &found));
    FindClose(h);
  }
  EXPECT_EQ(files, 1);
  DeleteFileW(wide_path.c_str());
  for (auto it = made.rbegin(); it != made.rend(); ++it) RemoveDirectoryW(it->c_str());
}

TEST_F(InivaultDll, ScrambledSettingsReadBack) {
  g.read_ini(file_.c_str());
  g.set_string("Konfig", "stations", "one,two,three");
  g.set_int("Konfig", "interval", 5);
  ASSERT_EQ(g.write_ini(), 1);
  const std::string plain = read_bytes(file_);

  ASSERT_EQ(g.fc(file_.c_str(), "MOSSVEKTRPreferences"), 1);
  ASSERT_NE(read_bytes(file_), plain);
  g.clear_ini();
  ASSERT_EQ(g.read_ini(file_.c_str()), 1);
  EXPECT_EQ(take(g.get_string("Konfig", "stations")), L"one,two,three");
  EXPECT_EQ(g.get_int("Konfig", "interval"), 5);
  EXPECT_EQ(g.key_count(), 1);
  EXPECT_EQ(count_files(folder_), 1);
}

TEST_F(InivaultDll, FileScramblingRoundTrip) {
  const std::string data = "[s]\r\nkey=some longer value\r\n\r\n";
  write_bytes(file_, data);
  SetFileAttributesA(file_.c_str(), FILE_ATTRIBUTE_HIDDEN);
  ASSERT_EQ(g.fc(file_.c_str(), "key"), 1);
  const std::string once = read_bytes(file_);
  EXPECT_NE(once, data);
  EXPECT_EQ(once.size(), data.size());
  EXPECT_TRUE(GetFileAttributesA(file_.c_str()) & FILE_ATTRIBUTE_HIDDEN);
  ASSERT_EQ(g.fd(file_.c_str(), "key"), 1);
  EXPECT_EQ(read_bytes(file_), data);

  ASSERT_EQ(g.fc(file_.c_str(), "key"), 1);
  ASSERT_EQ(g.fc(file_.c_str(), "key"), 1);
  EXPECT_NE(read_bytes(file_), once);
  EXPECT_NE(read_bytes(file_), data);

  write_bytes(file_, "short");
  EXPECT_EQ(g.fc(file_.c_str(), "key"), 1);
  EXPECT_EQ(read_bytes(file_), "short");

  EXPECT_EQ(g.fc(file_.c_str(), ""), 0);
  EXPECT_EQ(g.fc((folder_ + "missing.ini").c_str(), "key"), 0);
  EXPECT_EQ(g.fd((folder_ + "missing.ini").c_str(), "key"), 0);
  EXPECT_EQ(count_files(folder_), 1);
}

TEST_F(InivaultDll, StringScrambling) {
  char text[] = "Hello, World";
  BSTR result = g.scr(text, "secret");
  ASSERT_NE(result, nullptr);
  EXPECT_NE(std::string(text, 8), "Hello, W");
  EXPECT_EQ(std::string(text + 8), "orld");
  EXPECT_LE(SysStringLen(result), 12u);
  SysFreeString(result);

  char short_text[] = "1234567";
  EXPECT_EQ(take(g.scr(short_text, "secret")), L"1234567");
  EXPECT_EQ(take(g.sde(short_text, "secret")), L"1234567");

  char keyed[] = "same scrambling!";
  char keyed2[] = "same scrambling!";
  SysFreeString(g.scr(keyed, "Akey"));
  SysFreeString(g.scr(keyed2, "Bkey"));
  EXPECT_EQ(std::string(keyed), std::string(keyed2));
}

}  // namespace

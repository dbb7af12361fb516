// inivault: inspect and edit settings files, scrambled or not, from the shell.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>

#include "cipher.h"
#include "document.h"
#include "file_cipher.h"
#include "file_io.h"
#include "inivault_version.h"

namespace {

constexpr const char* kUsage =
    "usage: inivault COMMAND ARGS...\n"
    "\n"
    "  dump FILE                      print the settings as the library reads them\n"
    "  get FILE SECTION NAME          print one value\n"
    "  set [--force] FILE SECTION NAME VALUE\n"
    "                                 store one value; a scrambled file stays scrambled.\n"
    "                                 --force: also rewrite a file that looks scrambled\n"
    "                                 with a key other than the built-in one\n"
    "  scramble FILE KEY              scramble the file in place with KEY\n"
    "  unscramble FILE KEY            unscramble the file in place with KEY\n"
    "  --version                      show the version\n"
    "  --help                         show this text\n"
    "\n"
    "Scrambled files are recognised and read with the library's built-in file key.\n"
    "Only CR LF ends a line, as in the library: a file with LF-only line ends is read\n"
    "as fewer, longer lines.\n";

int fail(const std::string& message) {
  std::fprintf(stderr, "inivault: %s\n", message.c_str());
  return 1;
}

void warn(const std::string& message) { std::fprintf(stderr, "inivault: warning: %s\n", message.c_str()); }

int usage_error(const std::string& message) {
  std::fprintf(stderr, "inivault: %s\n\n%s", message.c_str(), kUsage);
  return 2;
}

void write_out(std::string_view text) { std::fwrite(text.data(), 1, text.size(), stdout); }

// A settings file as the library reads it, with what the user should know about it.
struct Settings {
  std::string text;  // unscrambled
  bool scrambled = false;
  // Scrambled, but the built-in key does not turn it into text: another key's work.
  bool foreign_key = false;
};

// Text unscrambled with the right key has no control bytes and is mostly ASCII;
// with a wrong key the blocks come out as noise.
bool looks_like_text(std::string_view unscrambled) {
  const std::string_view blocks = unscrambled.substr(0, unscrambled.size() / 8 * 8);
  if (inivault::looks_scrambled(blocks)) return false;
  std::size_t high = 0;
  for (const char c : blocks) high += static_cast<unsigned char>(c) >= 0x80 ? 1 : 0;
  return high * 4 <= blocks.size();
}

Settings settings_from(std::string raw) {
  Settings s;
  s.scrambled = inivault::looks_scrambled(raw);
  if (s.scrambled) {
    inivault::unscramble(raw, inivault::kFileKey);
    s.foreign_key = !looks_like_text(raw);
  }
  s.text = std::move(raw);
  return s;
}

bool has_lone_line_feed(std::string_view text) {
  for (std::size_t i = text.find('\n'); i != std::string_view::npos; i = text.find('\n', i + 1)) {
    if (i == 0 || text[i - 1] != '\r') return true;
  }
  return false;
}

void warn_about(const std::string& path, const Settings& s) {
  if (s.foreign_key) {
    warn(path +
         " looks scrambled with a key other than the built-in one; its contents are shown as "
         "that key reads them");
  } else if (has_lone_line_feed(s.text)) {
    warn(path + " has line ends without CR; only CR LF ends a line, so it is read as fewer, longer lines");
  }
}

// Writing commands look at the links first: a link planted for us is named, where
// reading through it would only fail (or succeed) for reasons the user cannot see.
std::optional<int> refuse_foreign_link(const std::string& path, const char* verb) {
  const auto link = inivault::foreign_link(path);
  if (!link) return std::nullopt;
  return fail(std::string("cannot ") + verb + " " + path + ": the symbolic link " + *link +
              " belongs to another user and lies in a folder that everyone may write (sticky); it is "
              "not followed for writing");
}

int cannot_read(const std::string& path, const std::error_code& why) {
  return fail("cannot read " + path + ": " + why.message());
}

// The file read into doc, its warnings said; the exit code when it cannot be read.
std::optional<int> read_into(const std::string& path, inivault::Document& doc) {
  std::error_code why;
  auto raw = inivault::read_whole_file(path, &why);
  if (!raw) return cannot_read(path, why);
  const Settings s = settings_from(std::move(*raw));
  warn_about(path, s);
  doc.merge_text(s.text);
  return std::nullopt;
}

int dump(const std::string& path) {
  inivault::Document doc;
  if (const auto rc = read_into(path, doc)) return *rc;
  write_out(doc.to_text("\n"));
  return 0;
}

int get(const std::string& path, const std::string& section, const std::string& name) {
  inivault::Document doc;
  if (const auto rc = read_into(path, doc)) return *rc;
  const auto value = doc.find_value(section, name);
  if (!value) return fail("no value \"" + name + "\" in section [" + section + "] of " + path);
  write_out(*value);
  write_out("\n");
  return 0;
}

// What the file form cannot hold: a CR or LF would start a line of its own, and an
// "=" in a name would be read back as the end of the name.
std::string unwritable(const std::string& section, const std::string& name, const std::string& value) {
  const auto has_line_break = [](const std::string& text) {
    return text.find_first_of("\r\n") != std::string::npos;
  };
  if (has_line_break(section)) return "the section name contains a line break (CR or LF)";
  if (has_line_break(name)) return "the name contains a line break (CR or LF)";
  if (has_line_break(value)) return "the value contains a line break (CR or LF)";
  if (name.find('=') != std::string::npos)
    return "the name contains \"=\", which would end it when read back";
  return {};
}

int set(const std::string& path, const std::string& section, const std::string& name,
        const std::string& value, bool force) {
  if (const std::string problem = unwritable(section, name, value); !problem.empty()) {
    std::fprintf(stderr, "inivault: set refused: %s\n", problem.c_str());
    return 2;
  }
  if (const auto refused = refuse_foreign_link(path, "write")) return *refused;
  // A missing file is created, as a caller of the library would; any other read
  // failure must not be papered over with a new file.
  std::error_code why;
  auto raw = inivault::read_whole_file(path, &why);
  if (!raw) {
    std::error_code ignored;
    if (std::filesystem::symlink_status(path, ignored).type() != std::filesystem::file_type::not_found) {
      return cannot_read(path, why);
    }
    raw.emplace();
  }
  const Settings s = settings_from(std::move(*raw));
  if (s.foreign_key && !force) {
    return fail(path +
                " looks scrambled with a key other than the built-in one; writing it back would destroy "
                "it. Unscramble it with its key first, or use set --force to overwrite it anyway");
  }
  if (has_lone_line_feed(s.text)) warn_about(path, Settings{s.text, false, false});

  inivault::Document doc;
  doc.merge_text(s.text);
  doc.set_value(section, name, value, true);
  // Scrambled before it reaches the disk, so the settings are never in the clear.
  std::string text = doc.to_text();
  if (s.scrambled) inivault::scramble(text, inivault::kFileKey);
  if (!inivault::replace_file(path, text, &why)) return fail("cannot write " + path + ": " + why.message());
  return 0;
}

int transform(const std::string& path, const std::string& key, inivault::Direction direction) {
  if (key.empty()) return fail("the key must not be empty");
  const char* verb = direction == inivault::Direction::kScramble ? "scramble" : "unscramble";
  if (const auto refused = refuse_foreign_link(path, verb)) return *refused;
  std::error_code why;
  if (!inivault::transform_file(path, key, direction, &why)) {
    return fail(std::string("cannot ") + verb + " " + path + ": " + why.message());
  }
  return 0;
}

int run(int argc, char** argv) {
  if (argc < 2) return usage_error("no command given");
  const std::string command = argv[1];
  int first = 2;
  bool force = false;
  if (command == "set" && argc > 2 && std::string_view(argv[2]) == "--force") {
    force = true;
    ++first;
  }
  const int args = argc - first;
  auto expect = [&](int count) { return args == count; };
  char** arg = argv + first;

  if (command == "--help" || command == "-h" || command == "help") {
    write_out(kUsage);
    return 0;
  }
  if (command == "--version") {
    write_out("inivault " INIVAULT_VERSION "\n");
    return 0;
  }
  if (command == "dump") {
    if (!expect(1)) return usage_error("dump takes FILE");
    return dump(arg[0]);
  }
  if (command == "get") {
    if (!expect(3)) return usage_error("get takes FILE SECTION NAME");
    return get(arg[0], arg[1], arg[2]);
  }
  if (command == "set") {
    if (!expect(4)) return usage_error("set takes [--force] FILE SECTION NAME VALUE");
    return set(arg[0], arg[1], arg[2], arg[3], force);
  }
  if (command == "scramble" || command == "unscramble") {
    if (!expect(2)) return usage_error(command + " takes FILE KEY");
    return transform(
        arg[0], arg[1],
        command == "scramble" ? inivault::Direction::kScramble : inivault::Direction::kUnscramble);
  }
  return usage_error("unknown command \"" + command + "\"");
}

}  // namespace

int main(int argc, char** argv) {
  const int status = run(argc, argv);
  // Output that never arrived (a full disk, a closed pipe) is a failure too.
  if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
    const int error = errno;
    std::fprintf(stderr, "inivault: cannot write the output: %s\n", std::strerror(error));
    return status != 0 ? status : 1;
  }
  return status;
}

// inivault: inspect and edit settings files, scrambled or not, from the shell.
#include <cstdio>
#include <filesystem>
#include <string>
#include <string_view>

#include "cipher.h"
#include "document.h"
#include "file_cipher.h"
#include "file_io.h"

namespace {

constexpr const char* kUsage =
    "usage: inivault COMMAND ARGS...\n"
    "\n"
    "  dump FILE                      print the settings as the library reads them\n"
    "  get FILE SECTION NAME          print one value\n"
    "  set FILE SECTION NAME VALUE    store one value; a scrambled file stays scrambled\n"
    "  scramble FILE KEY              scramble the file in place with KEY\n"
    "  unscramble FILE KEY            unscramble the file in place with KEY\n"
    "  --help                         show this text\n"
    "\n"
    "Scrambled files are recognised and read with the library's built-in file key.\n";

int fail(const std::string& message) {
  std::fprintf(stderr, "inivault: %s\n", message.c_str());
  return 1;
}

int usage_error(const std::string& message) {
  std::fprintf(stderr, "inivault: %s\n\n%s", message.c_str(), kUsage);
  return 2;
}

void write_out(std::string_view text) { std::fwrite(text.data(), 1, text.size(), stdout); }

int dump(const std::string& path) {
  inivault::Document doc;
  if (!doc.read_file(path)) return fail("cannot read " + path);
  write_out(doc.to_text("\n"));
  return 0;
}

int get(const std::string& path, const std::string& section, const std::string& name) {
  inivault::Document doc;
  if (!doc.read_file(path)) return fail("cannot read " + path);
  const auto value = doc.find_value(section, name);
  if (!value) return fail("no value \"" + name + "\" in section [" + section + "] of " + path);
  write_out(*value);
  write_out("\n");
  return 0;
}

int set(const std::string& path, const std::string& section, const std::string& name,
        const std::string& value) {
  // A missing file is created, as a caller of the library would; any other read
  // failure must not be papered over with a new file.
  auto raw = inivault::read_whole_file(path);
  if (!raw) {
    std::error_code error;
    if (std::filesystem::symlink_status(path, error).type() != std::filesystem::file_type::not_found) {
      return fail("cannot read " + path);
    }
    raw.emplace();
  }
  const bool scrambled = inivault::looks_scrambled(*raw);
  if (scrambled) inivault::unscramble(*raw, inivault::kFileKey);

  inivault::Document doc;
  doc.merge_text(*raw);
  doc.set_value(section, name, value, true);
  // Scrambled before it reaches the disk, so the settings are never in the clear.
  std::string text = doc.to_text();
  if (scrambled) inivault::scramble(text, inivault::kFileKey);
  if (!inivault::replace_file(path, text)) return fail("cannot write " + path);
  return 0;
}

int transform(const std::string& path, const std::string& key, inivault::Direction direction) {
  if (key.empty()) return fail("the key must not be empty");
  if (!inivault::transform_file(path, key, direction)) {
    return fail(std::string("cannot ") +
                (direction == inivault::Direction::kScramble ? "scramble " : "unscramble ") + path);
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return usage_error("no command given");
  const std::string command = argv[1];
  const int args = argc - 2;
  auto expect = [&](int count) { return args == count; };

  if (command == "--help" || command == "-h" || command == "help") {
    write_out(kUsage);
    return 0;
  }
  if (command == "dump") {
    if (!expect(1)) return usage_error("dump takes FILE");
    return dump(argv[2]);
  }
  if (command == "get") {
    if (!expect(3)) return usage_error("get takes FILE SECTION NAME");
    return get(argv[2], argv[3], argv[4]);
  }
  if (command == "set") {
    if (!expect(4)) return usage_error("set takes FILE SECTION NAME VALUE");
    return set(argv[2], argv[3], argv[4], argv[5]);
  }
  if (command == "scramble" || command == "unscramble") {
    if (!expect(2)) return usage_error(command + " takes FILE KEY");
    return transform(
        argv[2], argv[3],
        command == "scramble" ? inivault::Direction::kScramble : inivault::Direction::kUnscramble);
  }
  return usage_error("unknown command \"" + command + "\"");
}

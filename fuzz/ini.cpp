// Inivault's INI document: reading plain and scrambled files, and write -> read.
//
// Input: the first byte picks the mode (low two bits; '0'..'3' keep corpus files readable),
// the rest is the file text.
//   0: merge the text, then the round trips below.
//   1: the text is scrambled with the file key and read as a file: the reader must
//      unscramble it and see exactly what the plain text gives.
//   2: the text read as a file as it is (a text with control bytes counts as scrambled).
//   3: the rest drives set_value / delete_value / delete_section against a plain model.
//
// What a round trip keeps: the file form has no escapes, so a document reads back exactly
// only when every part can stand in it (see representable()). For such documents
// to_text -> merge_text and write_file -> read_file must give the same sections, names,
// values and order; a section without pairs is not written and so disappears.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "check.h"
#include "cipher.h"
#include "document.h"
#include "file_io.h"
// The plain model the document's unit test holds it to as well.
#include "../tests/unit/inivault/ini_model.h"

using inivault::Document;

namespace {

using ivtest::Pairs;
using Model = ivtest::Sections;

bool is_space(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }

bool strip_stable(std::string_view s) { return s.empty() || (!is_space(s.front()) && !is_space(s.back())); }

bool has_line_end(std::string_view s) { return s.find("\r\n") != std::string_view::npos; }

bool has_control(std::string_view s) {
  return std::any_of(s.begin(), s.end(), [](char c) {
    const auto b = static_cast<unsigned char>(c);
    return b < 0x20 && b != '\t' && b != '\n' && b != '\r';
  });
}

// The reference model's view of a document, once its names and values pair up.
Model snapshot(const Document& doc, bool skip_empty) {
  for (std::size_t i = 0; i < doc.section_count(); ++i) {
    FUZZ_CHECK(doc.section(i).names.size() == doc.section(i).values.size());
  }
  return ivtest::snapshot(doc, skip_empty);
}

// Every part stands in the file form unchanged: the reader strips names, values and
// section names, splits a pair at its first "=", ends lines only at CR LF, takes a
// line "[...]" as a header (removing every bracket at its ends), and for a file on
// disk takes any control byte as a sign of scrambling.
bool representable(const Model& m, bool as_file) {
  for (const auto& [section, pairs] : m) {
    if (!strip_stable(section) || has_line_end(section)) return false;
    if (!section.empty() && (section.front() == '[' || section.back() == ']')) return false;
    if (as_file && has_control(section)) return false;
    for (const auto& [name, value] : pairs) {
      if (!strip_stable(name) || !strip_stable(value)) return false;
      if (has_line_end(name) || has_line_end(value)) return false;
      if (name.find('=') != std::string::npos) return false;
      if (!name.empty() && name.front() == '[' && !value.empty() && value.back() == ']') return false;
      if (as_file && (has_control(name) || has_control(value))) return false;
    }
  }
  return true;
}

// The lookups must agree with the ordered arrays.
void check_lookups(const Document& doc) {
  for (std::size_t i = 0; i < doc.section_count(); ++i) {
    const std::string& name = doc.section_name(i);
    const auto& sec = doc.section(i);
    FUZZ_CHECK(doc.value_count(name) == static_cast<std::int32_t>(sec.names.size()));
    for (std::size_t j = 0; j < sec.names.size(); ++j) {
      const auto v = doc.find_value(name, sec.names[j]);
      FUZZ_CHECK(v && *v == sec.values[j]);
    }
  }
}

void check_round_trips(const Document& doc) {
  check_lookups(doc);
  const Model before = snapshot(doc, true);
  const std::string text = doc.to_text();

  Document back;
  back.merge_text(text);
  if (representable(before, false)) {
    FUZZ_CHECK(snapshot(back, false) == before);
    FUZZ_CHECK(back.to_text() == text);
  }

  if (representable(before, true)) {
    const std::string path = kn::fuzz::scratch_path("ini");
    Document out;
    out.set_path(path);
    out.merge_text(text);
    FUZZ_CHECK(out.write_file());
    Document in;
    FUZZ_CHECK(in.read_file(path));
    FUZZ_CHECK(in.path() == path);
    FUZZ_CHECK(snapshot(in, false) == before);
    std::remove(path.c_str());
  }
}

// The document as the reader must see a file with these bytes.
Document expected_from_file(std::string bytes) {
  if (inivault::looks_scrambled(bytes)) inivault::unscramble(bytes, inivault::kFileKey);
  Document doc;
  doc.merge_text(bytes);
  return doc;
}

void check_file(const std::string& bytes, const Document& expected) {
  const std::string path = kn::fuzz::scratch_path("ini");
  FUZZ_CHECK(inivault::replace_file(path, bytes));
  Document doc;
  // Merging into a document keeps what it had; start from an old entry that the file
  // must not remove.
  doc.set_value("\x01old", "k", "v", true);
  FUZZ_CHECK(doc.read_file(path));
  std::remove(path.c_str());
  Model want = snapshot(expected, false);
  Model got = snapshot(doc, false);
  FUZZ_CHECK(!got.empty() && got.front().first == "\x01old");
  Pairs& old = got.front().second;
  FUZZ_CHECK(!old.empty() && old.front().first == "k");
  // The file may itself set values in that section.
  if (std::none_of(want.begin(), want.end(), [](const auto& s) { return s.first == "\x01old"; })) {
    FUZZ_CHECK(old.size() == 1 && old.front().second == "v");
    got.erase(got.begin());
  } else {
    got.erase(got.begin());
    want.erase(std::remove_if(want.begin(), want.end(), [](const auto& s) { return s.first == "\x01old"; }),
               want.end());
  }
  FUZZ_CHECK(got == want);
  check_round_trips(doc);
}

void check_operations(FuzzedDataProvider& in) {
  Document doc;
  ivtest::LinearIni model;
  // Short names from a small alphabet, so the operations hit each other.
  auto take_name = [&] { return in.ConsumeRandomLengthString(6); };
  for (int op = 0; op < 200 && in.remaining_bytes() > 0; ++op) {
    switch (in.ConsumeIntegralInRange(0, 3)) {
      case 0:
      case 1: {
        const std::string s = take_name(), n = take_name(), v = in.ConsumeRandomLengthString(12);
        const bool create = in.ConsumeBool();
        FUZZ_CHECK(doc.set_value(s, n, v, create) == model.set_value(s, n, v, create));
        break;
      }
      case 2: {
        const std::string s = take_name(), n = take_name();
        FUZZ_CHECK(doc.delete_value(s, n) == model.delete_value(s, n));
        break;
      }
      case 3: {
        const std::string s = take_name();
        FUZZ_CHECK(doc.delete_section(s) == model.delete_section(s));
        break;
      }
    }
  }
  FUZZ_CHECK(snapshot(doc, false) == model.sections());
  for (const auto& [s, pairs] : model.sections()) {
    for (const auto& [n, v] : pairs) FUZZ_CHECK(doc.get_value(s, n) == v);
  }
  check_round_trips(doc);
  doc.reset();
  FUZZ_CHECK(doc.section_count() == 0 && doc.to_text().empty());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const unsigned mode = data[0] & 3;
  const std::string text(reinterpret_cast<const char*>(data + 1), size - 1);
  switch (mode) {
    case 0: {
      Document doc;
      doc.merge_text(text);
      check_round_trips(doc);
      break;
    }
    case 1: {
      std::string scrambled = text;
      inivault::scramble(scrambled, inivault::kFileKey);
      Document plain;
      plain.merge_text(text);
      // A scrambled text without control bytes passes for plain text; rare, and then
      // the reader is right to take it as it is.
      check_file(scrambled, inivault::looks_scrambled(scrambled) ? plain : expected_from_file(scrambled));
      break;
    }
    case 2:
      check_file(text, expected_from_file(text));
      break;
    default: {
      FuzzedDataProvider in(data + 1, size - 1);
      check_operations(in);
      break;
    }
  }
  return 0;
}

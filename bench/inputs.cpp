#include "inputs.h"

#include <cstdio>

namespace kn::bench {

namespace {

const char* const kWords[] = {"Nacht",
                              "Radio",
                              "Lied",
                              "K\xC3\xB6ln",
                              "M\xC3\xBCnchen",
                              "Stra\xC3\x9F"
                              "e",
                              "Caf\xC3\xA9",
                              "cr\xC3\xA8me",
                              "\xE2\x82\xAC"
                              "uro",
                              "Sommer",
                              "Winter",
                              "Gr\xC3\xBC\xC3\x9F"
                              "e",
                              "\xC3\x84rger",
                              "\xC3\x9C"
                              "ber",
                              "Blues",
                              "Jazz",
                              "Rock",
                              "Hits",
                              "\xF0\x9F\x8E\xB5",
                              "Live",
                              "Mix",
                              "\xC3\x96l",
                              "Band",
                              "Chor"};
constexpr std::size_t kWordCount = sizeof kWords / sizeof kWords[0];

// Text with escapes (quote, backslash, control characters, \u forms) between the words.
const char* const kEscapes[] = {"\\n", "\\\"", "\\\\", "\\t", "\\u00e9", "\\ud83c\\udfb5", "\\/", "\\r\\n"};
constexpr std::size_t kEscapeCount = sizeof kEscapes / sizeof kEscapes[0];

std::string words(Rng& rng, std::size_t n) {
  std::string out;
  for (std::size_t i = 0; i < n; ++i) {
    if (i) out += ' ';
    out += kWords[rng.below(kWordCount)];
  }
  return out;
}

std::string escaped_words(Rng& rng, std::size_t n) {
  std::string out;
  for (std::size_t i = 0; i < n; ++i) {
    out += kWords[rng.below(kWordCount)];
    out += i % 3 == 2 ? kEscapes[rng.below(kEscapeCount)] : " ";
  }
  return out;
}

void append_fraction(std::string& out, Rng& rng) {
  char buf[48];
  const double v = static_cast<double>(rng.below(2000000)) / 1000.0 - 1000.0;
  std::snprintf(buf, sizeof buf, "%.3f", v);
  out += buf;
}

void append_record(std::string& out, Rng& rng, std::size_t id) {
  out += "{\"id\":" + std::to_string(id);
  out += ",\"name\":\"" + words(rng, 2) + "\"";
  out += ",\"active\":";
  out += rng.below(2) ? "true" : "false";
  out += ",\"score\":";
  append_fraction(out, rng);
  out += ",\"ratio\":" + std::to_string(rng.below(1000)) + "e-" + std::to_string(1 + rng.below(9));
  out += ",\"note\":\"" + escaped_words(rng, 6) + "\"";
  out += ",\"tags\":[";
  const std::size_t tags = 1 + rng.below(4);
  for (std::size_t t = 0; t < tags; ++t) {
    if (t) out += ',';
    out += "\"" + words(rng, 1) + "\"";
  }
  out += "],\"plays\":[";
  const std::size_t plays = 3 + rng.below(8);
  for (std::size_t p = 0; p < plays; ++p) {
    if (p) out += ',';
    out += std::to_string(rng.below(100000));
  }
  out += "],\"station\":{\"name\":\"" + words(rng, 1) + "\",\"listeners\":" + std::to_string(rng.below(5000));
  out += ",\"location\":{\"lat\":";
  append_fraction(out, rng);
  out += ",\"lon\":";
  append_fraction(out, rng);
  out += "}},\"extra\":null}";
}

}  // namespace

std::string song_json() {
  return "{\"id\":4711023,\"title\":\"Gr\xC3\xBC\xC3\x9F"
         "e aus K\xC3\xB6ln (Live \\\"unplugged\\\")\","
         "\"artist\":{\"id\":88121,\"name\":\"Die \xC3\x84rzte & S\xC3\xB6hne\"},"
         "\"album\":\"Sommerhits 2024\",\"started\":\"2024-06-21T20:15:03+02:00\","
         "\"duration\":214,\"listeners\":1287,\"cover\":null,\"explicit\":false,"
         "\"station\":{\"name\":\"nachtradio\",\"title\":\"Nachtradio K\xC3\xB6ln\",\"genre\":\"Pop\","
         "\"url\":\"http:\\/\\/api.klangnetz.de\\/station\\/nachtradio\"}}";
}

std::string big_json(std::size_t target_bytes) {
  Rng rng;
  std::string out;
  out.reserve(target_bytes + 1024);
  out += "{\"generator\":\"klangnetz bench\",\"version\":1.6,\"records\":[";
  std::size_t id = 1;
  while (out.size() < target_bytes) {
    if (id > 1) out += ',';
    append_record(out, rng, id++);
  }
  out += "],\"count\":" + std::to_string(id - 1) + "}";
  return out;
}

std::string ini_section_name(std::size_t i) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "abschnitt_%04zu", i);
  return buf;
}

std::string ini_pair_name(std::size_t i, std::size_t j) {
  char buf[48];
  std::snprintf(buf, sizeof buf, "schluessel_%04zu_%03zu", i % 10000, j);
  return buf;
}

std::string ini_text(std::size_t sections, std::size_t pairs) {
  static const char kValueChars[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789 .,-_:/";
  Rng rng;
  std::string out;
  out.reserve(sections * (pairs * 56 + 24));
  for (std::size_t i = 0; i < sections; ++i) {
    out += "[" + ini_section_name(i) + "]\r\n";
    for (std::size_t j = 0; j < pairs; ++j) {
      out += ini_pair_name(i, j);
      out += '=';
      const std::size_t len = 20 + rng.below(14);
      for (std::size_t k = 0; k < len; ++k) {
        // No blank at either end, so trimming readers and exact readers agree.
        const std::size_t alphabet = (k == 0 || k + 1 == len) ? 62 : sizeof kValueChars - 1;
        out += kValueChars[rng.below(alphabet)];
      }
      out += "\r\n";
    }
    out += "\r\n";
  }
  return out;
}

std::vector<std::pair<std::string, std::string>> ini_queries(std::size_t sections, std::size_t pairs,
                                                             std::size_t count) {
  Rng rng(0x51554552594B4559ull);
  std::vector<std::pair<std::string, std::string>> out;
  out.reserve(count);
  for (std::size_t q = 0; q < count; ++q) {
    const std::size_t i = rng.below(sections);
    out.emplace_back(ini_section_name(i), ini_pair_name(i, rng.below(pairs)));
  }
  return out;
}

std::string random_bytes(std::size_t size) {
  Rng rng(0x4349504845524B45ull);
  std::string out(size, '\0');
  for (std::size_t i = 0; i < size; ++i) out[i] = static_cast<char>(rng.next() >> 56);
  return out;
}

}  // namespace kn::bench

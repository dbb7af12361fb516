#pragma once
// Benchmark inputs, made in memory from a fixed generator start so every run and
// every library sees the same bytes.
#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "splitmix.h"

namespace kn::bench {

// Every input starts here unless it names a start of its own.
struct Rng : SplitMix64 {
  explicit Rng(std::uint64_t start = 0x4B4C414E474E455Aull) : SplitMix64(start) {}
};

// A current-song answer as the platform sends it (UTF-8, about 300 bytes).
std::string song_json();

// About `target_bytes` of UTF-8 JSON: an object holding an array of records with
// nested objects and arrays, integers and fractions, strings with escapes and
// German, French and emoji text.
std::string big_json(std::size_t target_bytes);

// `sections` x `pairs` name=value lines with CR LF, about 50 bytes a line; names
// and values without inline-comment or continuation characters, so every INI
// reader sees the same pairs.
std::string ini_text(std::size_t sections, std::size_t pairs);

// `count` (section, name) pairs drawn from a document made by ini_text(sections, pairs).
std::vector<std::pair<std::string, std::string>> ini_queries(std::size_t sections, std::size_t pairs,
                                                             std::size_t count);

// Section and name of pair j in section i of ini_text.
std::string ini_section_name(std::size_t i);
std::string ini_pair_name(std::size_t i, std::size_t j);

// `size` pseudo-random bytes.
std::string random_bytes(std::size_t size);

}  // namespace kn::bench

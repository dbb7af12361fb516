// Inivault's INI document against inih.
//
// Reading: ours merges the text into an ordered, indexed Document (names and values
// trimmed, later values replace earlier ones). inih only tokenises and calls a handler
// per pair; the handler stores into an unordered_map of unordered_maps (section ->
// name -> value, later values replace earlier ones), which is how a program would use
// it. Both read the same bytes: from memory (merge_text / ini_parse_string) and from
// a file (Document::read_file / ini_parse).
//
// Lookups: 100,000 (section, name) queries drawn in advance; ours through
// Document::find_value, inih's side through the two maps. The same queries against a
// document of 1,000, of 100,000 and of 1,000,000 pairs show whether lookups grow with
// the document.
//
// Set and delete: every pair of a 100,000-pair document (1,000 sections x 100) set one
// by one into an empty document, and deleted one by one in the same order. Ours only:
// inih has no document to change. Deleting should cost about what setting did.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "document.h"
#include "inputs.h"

#ifdef KN_BENCH_INIH
#include <ini.h>
#endif

namespace {

constexpr std::size_t kSections = 200;
constexpr std::size_t kPairs = 100;
constexpr std::size_t kQueries = 100000;

const std::string& text() {
  static const std::string t = kn::bench::ini_text(kSections, kPairs);
  return t;
}

// The text as a file in the temporary folder, removed at exit.
const std::string& file() {
  struct TempFile {
    std::string path;
    TempFile() {
      path = (std::filesystem::temp_directory_path() / ("kn_bench_" + std::to_string(::getpid()) + ".ini"))
                 .string();
      std::FILE* f = std::fopen(path.c_str(), "wb");
      if (!f || std::fwrite(text().data(), 1, text().size(), f) != text().size()) std::abort();
      std::fclose(f);
    }
    ~TempFile() { std::remove(path.c_str()); }
  };
  static const TempFile f;
  return f.path;
}

inivault::Document document_of(std::size_t sections, std::size_t pairs) {
  inivault::Document doc;
  doc.merge_text(kn::bench::ini_text(sections, pairs));
  return doc;
}

void read_text_ours(benchmark::State& state) {
  for (auto _ : state) {
    inivault::Document doc;
    doc.merge_text(text());
    benchmark::DoNotOptimize(doc.section_count());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text().size()));
}

void read_file_ours(benchmark::State& state) {
  for (auto _ : state) {
    inivault::Document doc;
    if (!doc.read_file(file())) state.SkipWithError("cannot read the file");
    benchmark::DoNotOptimize(doc.section_count());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text().size()));
}

void lookup_ours(benchmark::State& state, std::size_t sections, std::size_t pairs) {
  const inivault::Document doc = document_of(sections, pairs);
  const auto queries = kn::bench::ini_queries(sections, pairs, kQueries);
  for (auto _ : state) {
    std::size_t total = 0;
    for (const auto& [section, name] : queries) {
      const auto v = doc.find_value(section, name);
      total += v ? v->size() : 0;
    }
    benchmark::DoNotOptimize(total);
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * kQueries));
}

using PairNames = std::vector<std::pair<std::string, std::string>>;

const PairNames& all_pairs() {
  static const PairNames names = [] {
    PairNames out;
    for (std::size_t i = 0; i < 1000; ++i) {
      for (std::size_t j = 0; j < kPairs; ++j)
        out.emplace_back(kn::bench::ini_section_name(i), kn::bench::ini_pair_name(i, j));
    }
    return out;
  }();
  return names;
}

void set_all_ours(benchmark::State& state) {
  for (auto _ : state) {
    inivault::Document doc;
    for (const auto& [section, name] : all_pairs()) doc.set_value(section, name, "value", true);
    benchmark::DoNotOptimize(doc.section_count());
    state.PauseTiming();
    doc = inivault::Document();  // freeing is not part of setting
    state.ResumeTiming();
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * all_pairs().size()));
}

void delete_all_ours(benchmark::State& state) {
  for (auto _ : state) {
    state.PauseTiming();
    inivault::Document doc;
    for (const auto& [section, name] : all_pairs()) doc.set_value(section, name, "value", true);
    state.ResumeTiming();
    for (const auto& [section, name] : all_pairs()) {
      if (!doc.delete_value(section, name)) state.SkipWithError("a pair was missing");
    }
    benchmark::DoNotOptimize(doc.value_count(all_pairs().front().first));
    state.PauseTiming();
    doc = inivault::Document();
    state.ResumeTiming();
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * all_pairs().size()));
}

#ifdef KN_BENCH_INIH
using Map = std::unordered_map<std::string, std::unordered_map<std::string, std::string>>;

int store(void* user, const char* section, const char* name, const char* value) {
  (*static_cast<Map*>(user))[section][name] = value;
  return 1;
}

void read_text_inih(benchmark::State& state) {
  for (auto _ : state) {
    Map map;
    if (ini_parse_string(text().c_str(), store, &map) != 0) state.SkipWithError("inih reported an error");
    benchmark::DoNotOptimize(map.size());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text().size()));
}

void read_file_inih(benchmark::State& state) {
  for (auto _ : state) {
    Map map;
    if (ini_parse(file().c_str(), store, &map) != 0) state.SkipWithError("inih reported an error");
    benchmark::DoNotOptimize(map.size());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text().size()));
}

void lookup_inih(benchmark::State& state, std::size_t sections, std::size_t pairs) {
  Map map;
  ini_parse_string(kn::bench::ini_text(sections, pairs).c_str(), store, &map);
  const auto queries = kn::bench::ini_queries(sections, pairs, kQueries);
  for (auto _ : state) {
    std::size_t total = 0;
    for (const auto& [section, name] : queries) {
      const auto s = map.find(section);
      if (s == map.end()) continue;
      const auto v = s->second.find(name);
      total += v == s->second.end() ? 0 : v->second.size();
    }
    benchmark::DoNotOptimize(total);
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * kQueries));
}
#endif

}  // namespace

int main(int argc, char** argv) {
  // Both sides must see the same pairs, or the comparison means nothing.
  inivault::Document doc;
  doc.merge_text(text());
  std::size_t ours = 0;
  for (std::size_t i = 0; i < doc.section_count(); ++i) ours += doc.section(i).names.size();
  if (ours != kSections * kPairs) {
    std::fprintf(stderr, "ini input: expected %zu pairs, read %zu\n", kSections * kPairs, ours);
    return 1;
  }
#ifdef KN_BENCH_INIH
  Map map;
  ini_parse_string(text().c_str(), store, &map);
  for (const auto& [section, names] : map) {
    for (const auto& [name, value] : names) {
      if (doc.find_value(section, name) != value) {
        std::fprintf(stderr, "ini input: inih and Inivault disagree on [%s] %s\n", section.c_str(),
                     name.c_str());
        return 1;
      }
    }
  }
#endif

  benchmark::RegisterBenchmark("ini_read_text/1MB/ours", read_text_ours);
  benchmark::RegisterBenchmark("ini_read_file/1MB/ours", read_file_ours);
  benchmark::RegisterBenchmark("ini_lookup/pairs:1000/ours", lookup_ours, 10, 100);
  benchmark::RegisterBenchmark("ini_lookup/pairs:100000/ours", lookup_ours, 1000, 100);
  benchmark::RegisterBenchmark("ini_lookup/pairs:1000000/ours", lookup_ours, 10000, 100);
  benchmark::RegisterBenchmark("ini_set_all/pairs:100000/ours", set_all_ours);
  benchmark::RegisterBenchmark("ini_delete_all/pairs:100000/ours", delete_all_ours);
#ifdef KN_BENCH_INIH
  benchmark::RegisterBenchmark("ini_read_text/1MB/inih", read_text_inih);
  benchmark::RegisterBenchmark("ini_read_file/1MB/inih", read_file_inih);
  benchmark::RegisterBenchmark("ini_lookup/pairs:1000/inih", lookup_inih, 10, 100);
  benchmark::RegisterBenchmark("ini_lookup/pairs:100000/inih", lookup_inih, 1000, 100);
  benchmark::RegisterBenchmark("ini_lookup/pairs:1000000/inih", lookup_inih, 10000, 100);
#endif
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  std::fprintf(stderr, "ini input: %zu bytes, %zu sections x %zu pairs\n", text().size(), kSections, kPairs);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}

// JSON parse and serialize: JsonNode against nlohmann::json and RapidJSON's DOM.
// Every side starts from the same UTF-8 bytes and ends with UTF-8 bytes; JsonNode reads
// and writes them directly, storing its text as UTF-16, and each side's tree is freed
// inside the timed region of its parse.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>

#include "core/text_util.h"
#include "inputs.h"
#include "json/json_node.h"

#ifdef KN_BENCH_NLOHMANN
#include <nlohmann/json.hpp>
#endif
#ifdef KN_BENCH_RAPIDJSON
#include <rapidjson/document.h>
#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>
#endif

namespace {

using kn::json::JsonNode;

struct Input {
  const char* label;
  std::string utf8;
};

const Input& song() {
  static const Input in{"song", kn::bench::song_json()};
  return in;
}

const Input& big() {
  static const Input in{"1MiB", kn::bench::big_json(1 << 20)};
  return in;
}

const Input& huge() {
  static const Input in{"10MiB", kn::bench::big_json(10 << 20)};
  return in;
}

void set_bytes(benchmark::State& state, const Input& in) {
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * in.utf8.size()));
}

void parse_ours(benchmark::State& state, const Input& in) {
  for (auto _ : state) {
    JsonNode doc;
    doc.SetJSONUtf8(in.utf8);
    benchmark::DoNotOptimize(doc.Count());
  }
  set_bytes(state, in);
}

void serialize_ours(benchmark::State& state, const Input& in) {
  JsonNode doc;
  doc.SetJSONUtf8(in.utf8);
  for (auto _ : state) {
    std::string out = doc.JSONUtf8();
    benchmark::DoNotOptimize(out.data());
  }
  set_bytes(state, in);
}

#ifdef KN_BENCH_NLOHMANN
void parse_nlohmann(benchmark::State& state, const Input& in) {
  for (auto _ : state) {
    nlohmann::json doc = nlohmann::json::parse(in.utf8);
    benchmark::DoNotOptimize(doc.size());
  }
  set_bytes(state, in);
}

void serialize_nlohmann(benchmark::State& state, const Input& in) {
  const nlohmann::json doc = nlohmann::json::parse(in.utf8);
  for (auto _ : state) {
    std::string out = doc.dump();
    benchmark::DoNotOptimize(out.data());
  }
  set_bytes(state, in);
}
#endif

#ifdef KN_BENCH_RAPIDJSON
// Default flags: what a user gets from Parse() without tuning. Its numbers may then be
// off by a unit in the last place; JsonNode and nlohmann::json round correctly, which
// RapidJSON does with kParseFullPrecisionFlag, measured as well.
template <unsigned kFlags>
void parse_rapidjson(benchmark::State& state, const Input& in) {
  for (auto _ : state) {
    rapidjson::Document doc;
    doc.Parse<kFlags>(in.utf8.data(), in.utf8.size());
    if (doc.HasParseError()) state.SkipWithError("RapidJSON rejected the input");
    benchmark::DoNotOptimize(doc.MemberCount());
  }
  set_bytes(state, in);
}

void serialize_rapidjson(benchmark::State& state, const Input& in) {
  rapidjson::Document doc;
  doc.Parse(in.utf8.data(), in.utf8.size());
  for (auto _ : state) {
    rapidjson::StringBuffer buffer;
    rapidjson::Writer<rapidjson::StringBuffer> writer(buffer);
    doc.Accept(writer);
    benchmark::DoNotOptimize(buffer.GetString());
  }
  set_bytes(state, in);
}
#endif

template <typename Fn>
void add(const std::string& name, Fn fn, const Input& in) {
  benchmark::RegisterBenchmark(name.c_str(), [fn, &in](benchmark::State& s) { fn(s, in); });
}

}  // namespace

int main(int argc, char** argv) {
  // A document one side cannot read would make the comparison meaningless.
  for (const Input* in : {&song(), &big(), &huge()}) {
    JsonNode doc;
    doc.SetJSONUtf8(in->utf8);
    // The UTF-8 ways must be the UTF-16 ways with the conversions around them.
    JsonNode wide;
    wide.SetJSON(kn::utf8_to_utf16(in->utf8));
    const std::string out = doc.JSONUtf8();
    if (out != kn::utf16_to_utf8(wide.JSON())) {
      std::fprintf(stderr, "json input %s: the UTF-8 and UTF-16 ways disagree\n", in->label);
      return 1;
    }
#ifdef KN_BENCH_NLOHMANN
    // What we write must be JSON to the others too.
    if (!nlohmann::json::accept(in->utf8) || !nlohmann::json::accept(out)) {
      std::fprintf(stderr, "json input %s: not accepted by nlohmann::json\n", in->label);
      return 1;
    }
#endif
  }
  for (const Input* in : {&song(), &big(), &huge()}) {
    const std::string p = std::string("json_parse/") + in->label + "/";
    const std::string s = std::string("json_serialize/") + in->label + "/";
    add(p + "ours", parse_ours, *in);
    add(s + "ours", serialize_ours, *in);
#ifdef KN_BENCH_NLOHMANN
    add(p + "nlohmann", parse_nlohmann, *in);
    add(s + "nlohmann", serialize_nlohmann, *in);
#endif
#ifdef KN_BENCH_RAPIDJSON
    add(p + "rapidjson", parse_rapidjson<rapidjson::kParseDefaultFlags>, *in);
    add(p + "rapidjson_exact", parse_rapidjson<rapidjson::kParseFullPrecisionFlag>, *in);
    add(s + "rapidjson", serialize_rapidjson, *in);
#endif
  }
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  std::fprintf(stderr, "json inputs: song %zu bytes, 1MiB %zu bytes, 10MiB %zu bytes\n", song().utf8.size(),
               big().utf8.size(), huge().utf8.size());
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}

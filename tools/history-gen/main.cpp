// history_gen OUT --stations "Radio Eins,Sender Ärger" [--days N] [--interval-minutes M]
//             [--end "2026-12-09 12:00:00"] [--offset +01:00] [--summer-time] [--start S]
//             [--songs] [--months]
// Writes a listener history file of made-up polls (with --months, OUT is a folder that
// gets the program's month files instead) and prints what it holds, as
// "polls=... rows=... no_answer=... off_polls=... repeated_hour_rows=...".
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <memory>
#include <string>

#include "core/history_file.h"
#include "core/history_months.h"
#include "generator.h"

namespace {

int usage(const char* why) {
  std::fprintf(stderr,
               "history_gen: %s\n"
               "usage: history_gen OUT --stations \"A,B,...\" [--days N] [--interval-minutes M]\n"
               "       [--end \"YYYY-MM-DD HH:MM:SS\"] [--offset +HH:MM] [--summer-time] [--start S]\n"
               "       [--songs] [--months]\n",
               why);
  return 2;
}

bool whole_number(const std::string& text, long long low, long long high, long long& out) {
  char* end = nullptr;
  out = std::strtoll(text.c_str(), &end, 10);
  return !text.empty() && *end == '\0' && out >= low && out <= high;
}

}  // namespace

int main(int argc, char** argv) {
  kn::histgen::Options o;
  o.end_local = kn::civil_seconds(2026, 12, 9, 12, 0, 0);
  std::string out_path;
  bool months = false;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    const bool has_value = i + 1 < argc;
    long long n = 0;
    if (arg == "--summer-time") {
      o.summer_time = true;
    } else if (arg == "--songs") {
      o.songs = true;
    } else if (arg == "--months") {
      months = true;
    } else if (arg.rfind("--", 0) == 0 && !has_value) {
      return usage(("no value after " + arg).c_str());
    } else if (arg == "--stations") {
      const std::string list = argv[++i];
      for (size_t at = 0; at <= list.size();) {
        const size_t comma = std::min(list.find(',', at), list.size());
        if (comma > at) o.stations.push_back(list.substr(at, comma - at));
        at = comma + 1;
      }
    } else if (arg == "--days") {
      if (!whole_number(argv[++i], 1, 100000, n)) return usage("--days wants 1 to 100000");
      o.days = static_cast<int>(n);
    } else if (arg == "--interval-minutes") {
      if (!whole_number(argv[++i], 1, 1440, n)) return usage("--interval-minutes wants 1 to 1440");
      o.interval_minutes = static_cast<int>(n);
    } else if (arg == "--start") {
      if (!whole_number(argv[++i], 0, 1LL << 62, n)) return usage("--start wants a number");
      o.start = static_cast<uint64_t>(n);
    } else if (arg == "--end") {
      // The core reads it as the time field of a row.
      const auto row = kn::parse_history_row(std::string(argv[++i]) + ";+00:00;x;");
      if (!row) return usage("--end wants YYYY-MM-DD HH:MM:SS");
      o.end_local = row->local;
    } else if (arg == "--offset") {
      const auto row = kn::parse_history_row("2026-01-01 00:00:00;" + std::string(argv[++i]) + ";x;");
      if (!row) return usage("--offset wants +HH:MM or -HH:MM");
      o.offset_minutes = row->offset_minutes;
    } else if (arg.rfind("--", 0) == 0) {
      return usage(("unknown option " + arg).c_str());
    } else if (out_path.empty()) {
      out_path = arg;
    } else {
      return usage("more than one output file");
    }
  }
  if (out_path.empty()) return usage("no output file");
  if (o.stations.empty()) return usage("no stations");

  kn::histgen::Totals totals;
  bool written = true;
  if (months) {
    // Rows come in time order: a month's files are done once the next month begins.
    std::map<std::string, std::pair<std::ofstream, uint64_t>> open;
    totals = kn::histgen::generate_rows(o, [&](const std::vector<kn::HistoryRow>& rows) {
      for (const kn::HistoryFileRows& f : kn::history_rows_by_file(rows)) {
        auto [it, fresh] = open.try_emplace(f.file_name);
        if (fresh) it->second.first.open(out_path + "/" + f.file_name, std::ios::binary | std::ios::trunc);
        const std::string text = kn::history_append(f.rows, it->second.second, '\n');
        it->second.second += text.size();
        it->second.first.write(text.data(), static_cast<std::streamsize>(text.size()));
        written = written && static_cast<bool>(it->second.first);
      }
    });
    for (auto& [name, file] : open) {
      file.first.close();
      written = written && static_cast<bool>(file.first);
    }
  } else {
    std::ofstream file(out_path, std::ios::binary | std::ios::trunc);
    if (!file) return usage(("cannot write " + out_path).c_str());
    totals = kn::histgen::generate(o, [&](std::string_view bytes) {
      file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    });
    file.close();
    written = static_cast<bool>(file);
  }
  if (!written) {
    std::fprintf(stderr, "history_gen: writing %s failed\n", out_path.c_str());
    return 1;
  }
  std::printf("polls=%llu rows=%llu no_answer=%llu off_polls=%llu repeated_hour_rows=%llu\n",
              static_cast<unsigned long long>(totals.polls), static_cast<unsigned long long>(totals.rows),
              static_cast<unsigned long long>(totals.no_answer),
              static_cast<unsigned long long>(totals.off_polls),
              static_cast<unsigned long long>(totals.repeated_hour_rows));
  return 0;
}

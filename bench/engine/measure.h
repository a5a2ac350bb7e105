#pragma once
// The measuring loop shared by the engine benchmark and the bare baseline: documents from a list
// file, one output per document, any number of worker threads taking different documents, and
// one JSON line of figures (wall and CPU time, bytes, replacements, memory).

#include <sys/resource.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace vm::bench {

namespace fs = std::filesystem;

inline double cpuSeconds() {
  rusage ru{};
  getrusage(RUSAGE_SELF, &ru);
  return ru.ru_utime.tv_sec + ru.ru_stime.tv_sec + (ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) / 1e6;
}

inline long peakRssKb() {
  rusage ru{};
  getrusage(RUSAGE_SELF, &ru);
  return ru.ru_maxrss;  // KiB on Linux
}

inline long currentRssKb() {
  std::ifstream in("/proc/self/statm");
  long pages = 0, resident = 0;
  in >> pages >> resident;
  return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

struct Args {
  std::string list, out, find = "甲方", repl = "委托方", label = "run", tool;
  int threads = 1;
  int rssAt = 100;
};

inline Args parseArgs(int argc, char** argv, const std::string& tool) {
  Args a;
  a.tool = tool;
  for (int i = 1; i < argc; ++i) {
    std::string k = argv[i];
    auto next = [&]() -> std::string {
      if (i + 1 >= argc) {
        std::cerr << "missing value for " << k << "\n";
        std::exit(2);
      }
      return argv[++i];
    };
    if (k == "--list") a.list = next();
    else if (k == "--out") a.out = next();
    else if (k == "--find") a.find = next();
    else if (k == "--repl") a.repl = next();
    else if (k == "--label") a.label = next();
    else if (k == "--threads") a.threads = std::stoi(next());
    else if (k == "--rss-at") a.rssAt = std::stoi(next());
    else {
      std::cerr << "usage: " << argv[0]
                << " --list FILE --out DIR [--find T --repl T --threads N --label L --rss-at K]\n";
      std::exit(2);
    }
  }
  if (a.list.empty() || a.out.empty()) {
    std::cerr << "--list and --out are required\n";
    std::exit(2);
  }
  return a;
}

// process(input, output) returns the number of replacements; it throws on failure.
inline int run(const Args& a, const std::function<int(const fs::path&, const fs::path&)>& process) {
  std::vector<fs::path> docs;
  {
    std::ifstream in(a.list);
    std::string line;
    while (std::getline(in, line))
      if (!line.empty()) docs.push_back(line);
  }
  fs::create_directories(a.out);
  std::uint64_t bytes = 0;
  for (auto& d : docs) bytes += fs::file_size(d);
  std::vector<fs::path> outs;
  for (std::size_t i = 0; i < docs.size(); ++i) {
    char name[32];
    std::snprintf(name, sizeof name, "%05zu", i);
    outs.push_back(fs::path(a.out) / (name + docs[i].extension().string()));
  }

  std::atomic<std::size_t> next{0}, done{0};
  std::atomic<long> replacements{0}, errors{0};
  std::atomic<long> rssAt{0}, maxRssAt{0};
  std::mutex errMutex;
  const long rssStart = currentRssKb();
  const double cpu0 = cpuSeconds();
  const auto t0 = std::chrono::steady_clock::now();
  auto worker = [&] {
    for (;;) {
      std::size_t i = next.fetch_add(1);
      if (i >= docs.size()) break;
      try {
        replacements += process(docs[i], outs[i]);
      } catch (const std::exception& e) {
        ++errors;
        std::lock_guard lock(errMutex);
        if (errors <= 5) std::cerr << a.tool << ": " << docs[i].string() << ": " << e.what() << "\n";
      }
      if (done.fetch_add(1) + 1 == static_cast<std::size_t>(a.rssAt)) {
        rssAt = currentRssKb();
        maxRssAt = peakRssKb();
      }
    }
  };
  std::vector<std::thread> pool;
  for (int t = 0; t < a.threads; ++t) pool.emplace_back(worker);
  for (auto& t : pool) t.join();
  const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  const double cpu = cpuSeconds() - cpu0;
  std::printf(
      "{\"tool\":\"%s\",\"label\":\"%s\",\"threads\":%d,\"docs\":%zu,\"bytes\":%llu,\"wall_s\":%.4f,"
      "\"cpu_s\":%.4f,\"replacements\":%ld,\"errors\":%ld,\"peak_rss_kb\":%ld,\"rss_kb_start\":%ld,"
      "\"rss_at\":%d,\"rss_kb_at\":%ld,\"maxrss_kb_at\":%ld,\"rss_kb_end\":%ld}\n",
      a.tool.c_str(), a.label.c_str(), a.threads, docs.size(), static_cast<unsigned long long>(bytes), wall, cpu,
      replacements.load(), errors.load(), peakRssKb(), rssStart, a.rssAt, rssAt.load(), maxRssAt.load(),
      currentRssKb());
  std::fflush(stdout);
  return errors ? 1 : 0;
}

}  // namespace vm::bench

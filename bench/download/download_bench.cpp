// Fetches one large file from a loopback HTTP server with DownloadFile (sim
// backend, libcurl streamed to disk) and with `curl -o`, and prints both
// throughputs, their ratio and the program's peak memory.
//
//   download_bench [megabytes [rounds]]   (default 512 MB, 5 rounds)
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/context.h"
#include "platform/log.h"
#include "tests/scenario/servers.h"
#include "update/gateway_index.h"

namespace fs = std::filesystem;

namespace {

long PeakRssKb() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss;
}

// CPU seconds (user + system) of this process, or of its waited-for children.
double CpuSeconds(int who) {
  rusage usage{};
  getrusage(who, &usage);
  return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

double Seconds(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v.size() % 2 == 1 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
}

double Curl(const std::string& url, const fs::path& out) {
  const auto t0 = std::chrono::steady_clock::now();
  const std::string command = "curl -s -f -o '" + out.string() + "' '" + url + "'";
  if (std::system(command.c_str()) != 0) {
    std::fprintf(stderr, "curl failed\n");
    std::exit(1);
  }
  return Seconds(t0);
}

}  // namespace

int main(int argc, char** argv) {
  const uint64_t megabytes = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 512;
  const int rounds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;
  const uint64_t bytes = megabytes << 20;
  const fs::path work = fs::temp_directory_path() / ("avdef-download-bench-" + std::to_string(getpid()));
  fs::remove_all(work);
  const fs::path served = work / "served";
  const fs::path machine = work / "machine";
  fs::create_directories(served / "avdefs");
  const fs::path app = machine / "drive_c" / "Program Files (x86)" / "Agent" / "AVUpdate";
  fs::create_directories(app);
  std::ofstream(app / "avdefupdate.exe").put('\0');
  {
    // Real bytes, not a sparse file, so that both clients read the same page cache.
    std::ofstream big(served / "avdefs" / "package.bin", std::ios::binary);
    std::string block(1 << 20, '\0');
    for (size_t i = 0; i < block.size(); ++i) block[i] = static_cast<char>(i * 131 + 7);
    for (uint64_t i = 0; i < megabytes; ++i) big.write(block.data(), static_cast<std::streamsize>(block.size()));
  }

  setenv("AVDEFUPDATE_MACHINE", machine.c_str(), 1);
  char* args[] = {argv[0], nullptr};
  std::string error;
  if (!os::Startup(1, args, &error)) {
    std::fprintf(stderr, "sim machine: %s\n", error.c_str());
    return 1;
  }
  RunContext rc;
  OpenRunLog(rc);
  scenario::HttpFolderServer server(served, {});
  const std::string url = server.BaseUrl() + "/avdefs/package.bin";

  // Both clients fetch the same file from the same server and both replace
  // the output of their previous round (curl -o truncates it, DownloadFile
  // renames over it). Before each download the host's dirty pages are
  // written out (untimed), so neither client pays for the other's backlog.
  Curl(url, work / "curl.bin");
  const long rssBefore = PeakRssKb();
  std::vector<double> ours, theirs;
  double cpu = 0, cpuCurl = 0;
  for (int round = 0; round < rounds; ++round) {
    ::sync();
    const double cpu0 = CpuSeconds(RUSAGE_SELF);
    const auto t0 = std::chrono::steady_clock::now();
    if (!DownloadFile(rc, url, "package.bin")) {
      std::fprintf(stderr, "DownloadFile failed; see the log in %s\n", app.c_str());
      return 1;
    }
    ours.push_back(Seconds(t0));
    // The server's thread serves both clients; its share is in this figure.
    cpu += CpuSeconds(RUSAGE_SELF) - cpu0;
    if (fs::file_size(app / "package.bin") != bytes) {
      std::fprintf(stderr, "DownloadFile wrote the wrong size\n");
      return 1;
    }
    ::sync();
    const double children0 = CpuSeconds(RUSAGE_CHILDREN);
    theirs.push_back(Curl(url, work / "curl.bin"));
    cpuCurl += CpuSeconds(RUSAGE_CHILDREN) - children0;
  }
  const long rssAfter = PeakRssKb();

  const double mb = static_cast<double>(megabytes);
  const double median = Median(ours), medianCurl = Median(theirs);
  std::printf("file size:               %llu MB, %d rounds\n", static_cast<unsigned long long>(megabytes), rounds);
  std::printf("DownloadFile (sim):      median %.2f s, %.0f MB/s (best %.2f s)\n", median, mb / median,
              *std::min_element(ours.begin(), ours.end()));
  std::printf("curl -o:                 median %.2f s, %.0f MB/s (best %.2f s)\n", medianCurl, mb / medianCurl,
              *std::min_element(theirs.begin(), theirs.end()));
  std::printf("ratio DownloadFile/curl: %.2f (of the medians)\n", medianCurl / median);
  std::printf("CPU per download:        DownloadFile %.2f s (with the server's), curl %.2f s (client only)\n",
              cpu / rounds, cpuCurl / rounds);
  std::printf("peak RSS:                %ld KB (%ld KB before the downloads, growth %ld KB)\n", rssAfter, rssBefore,
              rssAfter - rssBefore);
  fs::remove_all(work);
  return 0;
}

// Cost of the own network's bidding token (built and encoded per call) and of
// a store/find/delete cycle of a 100 KiB file through the disk cache, against
// plain file-system calls doing the same work. Real mode (no TestEnvironment);
// the data root is a fresh temporary folder. See docs/benchmarks.md.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "foundation/PMEReachability.h"
#include "ownnetwork/cache/PMADownloadManager.h"
#include "ownnetwork/token/QBNTokenService.h"
#include "platform/storage.h"
#include "support/temp_dir.h"

namespace {

const std::string& payload() {
  static const std::string data(100 * 1024, 'p');
  return data;
}

struct CacheBenchSetup {
  CacheBenchSetup() {
    platform::setDataRoot(dir.path());
    platform::UserDefaults::resetStandardForTesting();
  }
  qbtest::TempDir dir;
};

// getRawToken (mutable and debug entries refreshed, a copy of the dictionary)
// and its compact JSON in base64: what the adapter pays per auction.
void BM_TokenBuildAndEncode(benchmark::State& state) {
  CacheBenchSetup setup;
  PMEReachabilityManager::sharedManager();
  auto& tokens = QBNTokenService::sharedService();
  tokens.updateTokenWithControllerConfigData(R"({"chinaCDN":false,"SDKPluginType":"Unity"})");
  size_t bytes = 0;
  for (auto _ : state) {
    auto token = tokens.token();
    bytes = token ? token->size() : 0;
    benchmark::DoNotOptimize(token);
  }
  state.counters["token_bytes"] = static_cast<double>(bytes);
}
BENCHMARK(BM_TokenBuildAndEncode);

// The page's asset cycle through the download manager: store (folder
// created, existing file replaced, atomic write), find its URL, delete.
void BM_DiskCacheCycle(benchmark::State& state) {
  CacheBenchSetup setup;
  PMADownloadManager manager;
  for (auto _ : state) {
    bool stored = manager.storeData(payload(), true, "asset.bin", "RewardedVideo", false, true, nullptr);
    auto url = manager.getUrlFileByName("asset.bin", "RewardedVideo", false);
    bool deleted = manager.deleteFileWithName("asset.bin", "RewardedVideo", nullptr);
    if (!stored || !url || !deleted) state.SkipWithError("cycle failed");
    benchmark::DoNotOptimize(url);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(payload().size()));
}
BENCHMARK(BM_DiskCacheCycle);

// The same work with plain calls: folder creation, a temporary file written
// and flushed, renamed over the target, the folder flushed; a stat; unlink.
void BM_PlainFileSystemCycle(benchmark::State& state) {
  CacheBenchSetup setup;
  const std::string folder = setup.dir.path() + "/Library/Caches/PMACache/PMAPublisher/RewardedVideo";
  const std::string file = folder + "/asset.bin";
  const std::string temporary = file + ".tmp";
  for (auto _ : state) {
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    bool ok = fd >= 0 && ::write(fd, payload().data(), payload().size()) == static_cast<ssize_t>(payload().size());
    ok = ok && ::fsync(fd) == 0;
    if (fd >= 0) ::close(fd);
    ok = ok && std::rename(temporary.c_str(), file.c_str()) == 0;
    const int dirFd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd >= 0) {
      (void)::fsync(dirFd);
      ::close(dirFd);
    }
    struct stat info {};
    ok = ok && ::stat(file.c_str(), &info) == 0 && S_ISREG(info.st_mode);
    ok = ok && ::unlink(file.c_str()) == 0;
    if (!ok) state.SkipWithError("cycle failed");
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(payload().size()));
}
BENCHMARK(BM_PlainFileSystemCycle);

}  // namespace

// The page's file store: listing a folder tree of 1,000 files that all have
// metadata (one archive read, the walk, the records), beside the bare walk
// of the same tree; and one save (download from the loopback sandbox, atomic
// write, record, metadata write). Test mode (TestEnvironment): the main
// queue runs on the benchmark thread, the network on the session's own
// thread. See docs/benchmarks.md.
#include <benchmark/benchmark.h>

#include <memory>
#include <string>

#include "ownnetwork/data/QBNDataManager.h"
#include "platform/file_facts.h"
#include "platform/storage.h"
#include "platform/test_environment.h"
#include "scriptfeatures/files/QBNFilePersistencyService.h"
#include "scriptfeatures/files/QBNFileSystemController.h"
#include "support/sandbox_server.h"
#include "support/temp_dir.h"

namespace {

using platform::Json;

constexpr int kFolders = 10;
constexpr int kFilesPerFolder = 100;

struct FileStoreBench {
  FileStoreBench() {
    platform::setDataRoot(dir.path());
    platform::UserDefaults::resetStandardForTesting();
    store = QBNFileSystemController::initWithDataManager(QBNDataManager::init());
  }
  // 1,000 files of 1 KiB in ten folders, each with a metadata entry.
  void fillTree() {
    Json metadata = Json::object();
    const std::string bytes(1024, 'f');
    for (int folder = 0; folder < kFolders; ++folder) {
      const std::string name = "campaign" + std::to_string(folder);
      (void)platform::createDirectories(store->pathToRootDirectory() + "/" + name);
      for (int file = 0; file < kFilesPerFolder; ++file) {
        const std::string relative = name + "/asset" + std::to_string(file) + ".png";
        (void)platform::writeFileAtomically(store->pathToRootDirectory() + "/" + relative, bytes);
        metadata[relative] = {{"lastReferencedTime", 1760000000000 + file}, {"adId", name}, {"shown", file}};
      }
    }
    (void)store->metadataService().writeContents(metadata, nullptr);
  }

  platform::TestEnvironment env;
  qbtest::TempDir dir;
  std::shared_ptr<QBNFileSystemController> store;
};

void BM_FileStoreListing1000(benchmark::State& state) {
  FileStoreBench bench;
  bench.fillTree();
  size_t records = 0;
  for (auto _ : state) {
    bench.store->getFilesWithDirectory("", [&](const Json& map, const std::optional<std::string>&) {
      records = 0;
      for (const auto& folder : map) {
        if (folder.is_object() && !folder.contains("name")) records += folder.size();
      }
    });
  }
  state.counters["files"] = static_cast<double>(records);
}
BENCHMARK(BM_FileStoreListing1000)->Unit(benchmark::kMillisecond);

// The same tree walked with its facts, nothing else: the floor of a listing.
void BM_FileStoreBareWalk1000(benchmark::State& state) {
  FileStoreBench bench;
  bench.fillTree();
  size_t items = 0;
  for (auto _ : state) {
    auto listing = platform::enumerateDirectory(bench.store->pathToRootDirectory());
    items = listing ? listing.value().items.size() : 0;
    benchmark::DoNotOptimize(items);
  }
  state.counters["items"] = static_cast<double>(items);
}
BENCHMARK(BM_FileStoreBareWalk1000)->Unit(benchmark::kMillisecond);

// One save of a 10 KiB file into a folder that holds 1,000 files with
// metadata, until its record is answered.
void BM_FileStoreSave(benchmark::State& state) {
  FileStoreBench bench;
  bench.fillTree();
  qbtest::SandboxServer server;
  server.start();
  server.answer("/asset.bin", 200, std::string(10 * 1024, 'a'), {{"Content-Type", "application/octet-stream"}});
  const Json parameters = {{"fileName", "asset.bin"}, {"filePath", "campaign0"}, {"fileUrl", server.url("/asset.bin")}};
  for (auto _ : state) {
    bool answered = false;
    bench.store->downloadAndSaveFileWithParameters(
        parameters, [&](const std::optional<Json>&, const std::optional<std::string>& error) {
          answered = true;
          if (error) state.SkipWithError(error->c_str());
        });
    bench.env.runUntil([&] { return answered; });
  }
  server.stop();
}
BENCHMARK(BM_FileStoreSave)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

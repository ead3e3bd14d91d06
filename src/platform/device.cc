#include "platform/device.h"

#include <sys/statvfs.h>
#include <sys/sysinfo.h>
#include <sys/utsname.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>

#include <openssl/evp.h>

#include "platform/audio_session.h"
#include "platform/clock.h"

namespace platform {
namespace {

namespace fs = std::filesystem;

std::string trim(std::string s) {
  auto notSpace = [](unsigned char c) { return !std::isspace(c); };
  s.erase(s.begin(), std::find_if(s.begin(), s.end(), notSpace));
  s.erase(std::find_if(s.rbegin(), s.rend(), notSpace).base(), s.end());
  return s;
}

std::optional<std::string> readFirstLine(const fs::path& path) {
  std::ifstream in(path);
  std::string line;
  if (!in || !std::getline(in, line)) return std::nullopt;
  return trim(line);
}

std::optional<double> readNumber(const fs::path& path) {
  auto line = readFirstLine(path);
  if (!line || line->empty()) return std::nullopt;
  char* end = nullptr;
  double v = std::strtod(line->c_str(), &end);
  if (end == line->c_str()) return std::nullopt;
  return v;
}

// Sorted so the answer does not depend on directory order.
std::vector<fs::path> listDir(const fs::path& dir) {
  std::vector<fs::path> out;
  std::error_code ec;
  for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
    out.push_back(it->path());
  }
  std::sort(out.begin(), out.end());
  return out;
}

double batteryLevel() {
  for (const auto& supply : listDir("/sys/class/power_supply")) {
    if (readFirstLine(supply / "type").value_or("") != "Battery") continue;
    if (auto capacity = readNumber(supply / "capacity")) {
      return std::clamp(*capacity / 100.0, 0.0, 1.0);
    }
  }
  return -1.0;
}

std::optional<double> backlightBrightness() {
  for (const auto& light : listDir("/sys/class/backlight")) {
    auto value = readNumber(light / "brightness");
    auto max = readNumber(light / "max_brightness");
    if (value && max && *max > 0) return std::clamp(*value / *max, 0.0, 1.0);
  }
  return std::nullopt;
}

// A per-machine identifier that does not expose the machine id itself.
std::optional<std::string> vendorIdFromMachineId() {
  auto id = readFirstLine("/etc/machine-id");
  if (!id || id->empty()) id = readFirstLine("/var/lib/dbus/machine-id");
  if (!id || id->empty()) return std::nullopt;
  const std::string input = *id + ":quillborne.vendor";
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int len = 0;
  if (EVP_Digest(input.data(), input.size(), digest, &len, EVP_sha256(), nullptr) != 1 || len < 16) {
    return std::nullopt;
  }
  digest[6] = static_cast<unsigned char>((digest[6] & 0x0f) | 0x40);  // version 4 layout
  digest[8] = static_cast<unsigned char>((digest[8] & 0x3f) | 0x80);  // RFC 4122 variant
  char out[37];
  std::snprintf(out, sizeof out,
                "%02X%02X%02X%02X-%02X%02X-%02X%02X-%02X%02X-%02X%02X%02X%02X%02X%02X",
                digest[0], digest[1], digest[2], digest[3], digest[4], digest[5], digest[6],
                digest[7], digest[8], digest[9], digest[10], digest[11], digest[12], digest[13],
                digest[14], digest[15]);
  return std::string(out);
}

std::string zoneNameFromPath(const std::string& path) {
  const std::string marker = "zoneinfo/";
  auto pos = path.find(marker);
  return pos == std::string::npos ? std::string() : path.substr(pos + marker.size());
}

std::string timeZoneId() {
  if (const char* tz = std::getenv("TZ"); tz && *tz) {
    std::string value = tz;
    if (value.front() == ':') value.erase(0, 1);
    if (!value.empty() && value.front() != '/') return value;
    if (auto zone = zoneNameFromPath(value); !zone.empty()) return zone;
  }
  if (auto line = readFirstLine("/etc/timezone"); line && !line->empty()) return *line;
  std::error_code ec;
  auto target = fs::read_symlink("/etc/localtime", ec);
  if (!ec) {
    if (auto zone = zoneNameFromPath(target.string()); !zone.empty()) return zone;
  }
  return "UTC";
}

int64_t timeZoneOffsetSeconds() {
  return localTime(clock().wallMs()).utcOffsetSeconds;
}

void fillLocale(DeviceFacts& facts) {
  std::string value;
  for (const char* var : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
    if (const char* v = std::getenv(var); v && *v) {
      value = v;
      break;
    }
  }
  value = value.substr(0, value.find_first_of(".@"));
  if (value.empty() || value == "C" || value == "POSIX") value = "en_US";
  facts.locale = value;
  facts.language = value.substr(0, value.find('_'));
}

// Never destroyed: device facts are read on worker threads, also at exit.
struct DiskPath {
  std::mutex m;
  std::string path = "/";  // guarded by m
  uint64_t generation = 0;  // guarded by m; bumped by setDeviceDiskPath
};
DiskPath& diskPath() {
  static DiskPath& d = *new DiskPath();
  return d;
}

uint64_t diskPathGeneration() {
  std::lock_guard lock(diskPath().m);
  return diskPath().generation;
}

void fillDisk(DeviceFacts& facts) {
  std::string path;
  {
    std::lock_guard lock(diskPath().m);
    path = diskPath().path;
  }
  struct statvfs st {};
  if (statvfs(path.c_str(), &st) != 0) {
    facts.freeDiskBytes = facts.totalDiskBytes = 0;
    return;
  }
  facts.freeDiskBytes = static_cast<uint64_t>(st.f_bavail) * st.f_frsize;
  facts.totalDiskBytes = static_cast<uint64_t>(st.f_blocks) * st.f_frsize;
}

class LinuxDeviceFactsProvider : public DeviceFactsProvider {
 public:
  LinuxDeviceFactsProvider() {
    base_.vendorId = vendorIdFromMachineId();
    struct utsname u {};
    base_.hardwareModel = uname(&u) == 0 ? std::string(u.machine) : std::string();
    char host[256] = {};
    if (gethostname(host, sizeof host - 1) == 0 && host[0]) base_.deviceName = host;
    struct sysinfo si {};
    base_.totalMemoryBytes =
        sysinfo(&si) == 0 ? static_cast<uint64_t>(si.totalram) * si.mem_unit : 0;
  }

  DeviceFacts facts() const override {
    DeviceFacts f = base_;
    const char* tz = std::getenv("TZ");
    const std::string tzVariable = tz ? tz : "\x01";  // unset differs from ""
    const uint64_t diskGeneration = diskPathGeneration();
    const auto now = std::chrono::steady_clock::now();
    {
      std::lock_guard lock(m_);
      // Read again once a second (Linux posts no notice when they change),
      // at once when the disk path or $TZ changed.
      if (!read_ || now - readAt_ >= kRereadAfter || diskGeneration != diskGeneration_ ||
          tzVariable != tzVariable_) {
        read_ = true;
        readAt_ = now;
        diskGeneration_ = diskGeneration;
        tzVariable_ = tzVariable;
        DeviceFacts& r = changing_;
        r.batteryLevel = batteryLevel();
        r.screenBrightness = backlightBrightness().value_or(0.5);
        r.isLowPowerMode = readFirstLine("/sys/firmware/acpi/platform_profile").value_or("") == "low-power";
        r.timeZoneId = timeZoneId();
        fillDisk(r);
      }
      f.batteryLevel = changing_.batteryLevel;
      f.screenBrightness = changing_.screenBrightness;
      f.isLowPowerMode = changing_.isLowPowerMode;
      f.timeZoneId = changing_.timeZoneId;
      f.freeDiskBytes = changing_.freeDiskBytes;
      f.totalDiskBytes = changing_.totalDiskBytes;
    }
    f.outputVolume = AudioSession::shared().outputVolume();
    // Cheap, and follow the clock and the environment exactly.
    f.timeZoneOffsetSeconds = timeZoneOffsetSeconds();
    fillLocale(f);
    return f;
  }

  bool jailbreakPathExists(const std::string&) const override { return false; }

 private:
  static constexpr std::chrono::seconds kRereadAfter{1};

  DeviceFacts base_;  // the facts that do not change while the process runs
  // The facts that can change, as last read from the file system.
  mutable std::mutex m_;
  mutable bool read_ = false;
  mutable std::chrono::steady_clock::time_point readAt_;
  mutable uint64_t diskGeneration_ = 0;
  mutable std::string tzVariable_;
  mutable DeviceFacts changing_;
};

const LinuxDeviceFactsProvider& linuxProvider() {
  static const LinuxDeviceFactsProvider* provider = new LinuxDeviceFactsProvider();
  return *provider;
}

// Forwards each call to the provider in force at that moment.
class RoutingProvider : public DeviceFactsProvider {
 public:
  DeviceFacts facts() const override {
    std::shared_ptr<DeviceFactsProvider> host;
    {
      std::lock_guard lock(m_);
      if (override_) return *override_;
      host = host_;
    }
    return host ? host->facts() : linuxProvider().facts();
  }

  bool jailbreakPathExists(const std::string& path) const override {
    std::shared_ptr<DeviceFactsProvider> host;
    {
      std::lock_guard lock(m_);
      if (override_) {
        const auto& present = override_->jailbreakPathsPresent;
        return std::find(present.begin(), present.end(), path) != present.end();
      }
      host = host_;
    }
    return host ? host->jailbreakPathExists(path) : linuxProvider().jailbreakPathExists(path);
  }

  void setHost(std::shared_ptr<DeviceFactsProvider> host) {
    std::lock_guard lock(m_);
    host_.swap(host);
  }  // the previous host provider is released outside the lock

  void setOverride(std::optional<DeviceFacts> facts) {
    std::lock_guard lock(m_);
    override_ = std::move(facts);
  }

 private:
  mutable std::mutex m_;
  std::optional<DeviceFacts> override_;
  std::shared_ptr<DeviceFactsProvider> host_;
};

RoutingProvider& router() {
  static RoutingProvider* r = new RoutingProvider();
  return *r;
}

}  // namespace

bool DeviceFactsProvider::jailbreakPathExists(const std::string& path) const {
  const auto present = facts().jailbreakPathsPresent;
  return std::find(present.begin(), present.end(), path) != present.end();
}

DeviceFactsProvider& deviceFacts() { return router(); }

void setDeviceFactsProvider(std::shared_ptr<DeviceFactsProvider> provider) {
  router().setHost(std::move(provider));
}

void setDeviceDiskPath(std::string path) {
  std::lock_guard lock(diskPath().m);
  diskPath().path = path.empty() ? "/" : std::move(path);
  ++diskPath().generation;
}

const DeviceFactsProvider& linuxDeviceFacts() { return linuxProvider(); }

void setDeviceFactsForTesting(DeviceFacts facts) { router().setOverride(std::move(facts)); }

void resetDeviceFactsForTesting() { router().setOverride(std::nullopt); }

// ------------------------------------------------------------------ reachability

struct ReachabilitySource::Listener {
  ReachabilityToken token = 0;
  std::weak_ptr<const void> owner;
  std::function<void(int)> callback;
  std::atomic<bool> active{true};
};

ReachabilitySource::ReachabilitySource() : status_(kReachabilityViaWiFi) {}

ReachabilitySource& ReachabilitySource::shared() {
  static ReachabilitySource* source = new ReachabilitySource();
  return *source;
}

int ReachabilitySource::currentStatus() const {
  std::lock_guard lock(m_);
  return status_;
}

bool ReachabilitySource::setStatus(int status) {
  if (status < kReachabilityNotReachable || status > kReachabilityViaWiFi) return false;
  std::unique_lock lock(m_);
  if (status == status_) return false;
  status_ = status;
  undelivered_.push_back(status);
  if (delivering_) return true;  // the delivering thread will pass it on

  delivering_ = true;
  const uint64_t generation = generation_;
  while (generation == generation_ && !undelivered_.empty()) {
    const int next = undelivered_.front();
    undelivered_.pop_front();
    std::vector<std::shared_ptr<Listener>> dead;
    std::erase_if(listeners_, [&](const std::shared_ptr<Listener>& l) {
      if (!l->owner.expired()) return false;
      l->active.store(false);
      dead.push_back(l);
      return true;
    });
    std::vector<std::shared_ptr<Listener>> snapshot = listeners_;
    lock.unlock();
    dead.clear();  // their callbacks are released outside the lock
    for (const auto& l : snapshot) {
      if (!l->active.load()) continue;
      if (auto keep = l->owner.lock()) l->callback(next);
    }
    snapshot.clear();
    lock.lock();
  }
  if (generation == generation_) delivering_ = false;
  return true;
}

ReachabilityToken ReachabilitySource::addListener(std::weak_ptr<const void> owner,
                                                  std::function<void(int)> listener) {
  auto l = std::make_shared<Listener>();
  l->owner = std::move(owner);
  l->callback = std::move(listener);
  std::lock_guard lock(m_);
  l->token = nextToken_++;
  listeners_.push_back(l);
  return l->token;
}

void ReachabilitySource::removeListener(ReachabilityToken token) {
  std::shared_ptr<Listener> dropped;
  std::lock_guard lock(m_);
  auto it = std::find_if(listeners_.begin(), listeners_.end(),
                         [&](const auto& l) { return l->token == token; });
  if (it == listeners_.end()) return;
  (*it)->active.store(false);
  dropped = std::move(*it);
  listeners_.erase(it);
}

void ReachabilitySource::resetForTesting() {
  std::vector<std::shared_ptr<Listener>> dropped;
  {
    std::lock_guard lock(m_);
    for (auto& l : listeners_) l->active.store(false);
    dropped.swap(listeners_);
    undelivered_.clear();
    delivering_ = false;
    ++generation_;
    status_ = kReachabilityViaWiFi;
  }
}

}  // namespace platform

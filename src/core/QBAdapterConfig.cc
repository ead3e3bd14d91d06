#include "core/QBAdapterConfig.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <limits>
#include <system_error>

#include "core/QBJsonValues.h"

namespace {

std::string stringOr(const platform::Json& obj, const char* key, const std::string& fallback = "") {
  if (!obj.is_object()) return fallback;
  auto it = obj.find(key);
  if (it == obj.end()) return fallback;
  if (it->is_string()) return it->get<std::string>();
  if (it->is_number_integer()) return std::to_string(it->get<int64_t>());
  return fallback;
}

platform::Json objectOr(const platform::Json& obj, const std::string& key) {
  if (!obj.is_object()) return platform::Json::object();
  auto it = obj.find(key);
  if (it == obj.end() || !it->is_object()) return platform::Json::object();
  return *it;
}

std::string lower(std::string s) {
  std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return s;
}

}  // namespace

std::shared_ptr<QBAdapterConfig> QBAdapterConfig::create(const std::string& providerName, const QBAdUnit& adUnit,
                                                         const platform::Json& providerEntry,
                                                         const platform::Json& adUnitSettings,
                                                         double defaultLoadTimeOutSec) {
  std::shared_ptr<QBAdapterConfig> c(new QBAdapterConfig());
  c->providerName_ = providerName;
  c->adUnit_ = adUnit;
  c->providerEntry_ = providerEntry.is_object() ? providerEntry : platform::Json::object();
  c->reflectionName_ = stringOr(providerEntry, "providerLoadName", providerName);
  if (c->reflectionName_.empty()) c->reflectionName_ = providerName;
  c->providerDefaultInstance_ = stringOr(providerEntry, "providerDefaultInstance", c->reflectionName_);
  if (providerEntry.is_object() && providerEntry.contains("instanceType")) {
    std::string t = stringOr(providerEntry, "instanceType");
    if (!t.empty()) c->instanceType_ = t;
  }
  c->instanceId_ = stringOr(providerEntry, "instanceId");
  c->subAdapterId_ = stringOr(providerEntry, "subProviderId");
  c->adSourceNameForEvent_ = stringOr(providerEntry, "adSourceName");
  c->customNetwork_ = stringOr(providerEntry, "customNetwork");
  if (providerEntry.is_object()) {
    auto it = providerEntry.find("earlyInit");
    c->shouldEarlyInit_ = it != providerEntry.end() && it->is_boolean() && it->get<bool>();
  }
  c->applicationSettings_ = objectOr(providerEntry, "application");
  c->settings_ = objectOr(providerEntry, adUnit.value());
  c->adUnitSettings_ = adUnitSettings.is_object() ? adUnitSettings : platform::Json::object();
  c->loadTimeOutSec_ =
      qbjson::boundedNumber(c->settings_, "loadTimeOutSec",
                            {kMinLoadTimeOutSec, static_cast<double>(qbjson::kMaxTimeOutSeconds), defaultLoadTimeOutSec});
  // Read once: the settings never change, and capping asks for the limit of
  // every configured instance on every auction.
  c->maxAdsPerSession_ = c->readMaxAdsPerSession();
  return c;
}

bool QBAdapterConfig::isQuillborne() const {
  std::string n = lower(reflectionName_);
  return n == "quillborne" || n == "plovermarkads";
}

int QBAdapterConfig::readMaxAdsPerSession() const {
  constexpr int kNoLimit = 99;
  auto it = settings_.find("maxAdsPerSession");
  if (it == settings_.end()) return kNoLimit;
  if (it->is_number()) {
    const double v = it->get<double>();
    if (!std::isfinite(v) || v < std::numeric_limits<int>::min() || v > std::numeric_limits<int>::max()) {
      return kNoLimit;
    }
    return static_cast<int>(v);
  }
  if (it->is_string()) {
    const std::string& text = it->get_ref<const std::string&>();
    int value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec == std::errc() && end == text.data() + text.size()) return value;
  }
  return kNoLimit;
}

std::string QBAdapterConfig::demandSourceName() const {
  std::string s = stringOr(settings_, "demandSourceName");
  return s.empty() ? providerName_ : s;
}

std::optional<bool> QBAdapterConfig::isOneFlow() const {
  auto it = adUnitSettings_.find("isOneFlow");
  if (it == adUnitSettings_.end()) return std::nullopt;
  if (it->is_boolean()) return it->get<bool>();
  if (it->is_number()) return it->get<double>() != 0;
  return std::nullopt;
}

std::string QBAdapterConfig::networkForClassNames() const {
  return customNetwork_.empty() ? reflectionName_ : customNetwork_;
}

std::string QBAdapterConfig::customNetworkAdapterClassName() const {
  return "QB" + networkForClassNames() + "CustomAdapter";
}

std::string QBAdapterConfig::customAdAdapterClassName() const {
  if (adUnit_ == QBAdUnit::QB_AD_UNIT_INTERSTITIAL()) return "QB" + networkForClassNames() + "CustomInterstitial";
  if (adUnit_ == QBAdUnit::QB_AD_UNIT_BANNER()) return "QB" + networkForClassNames() + "CustomBanner";
  return "QB" + networkForClassNames() + "CustomRewardedVideo";
}

std::string QBAdapterConfig::classicAdapterClassName() const { return "QB" + reflectionName_ + "Adapter"; }

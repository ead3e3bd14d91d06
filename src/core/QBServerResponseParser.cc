#include "core/QBServerResponseParser.h"

#include <set>

#include "core/QBConfigurations.h"
#include "core/QBJsonValues.h"
#include "core/QuillborneObjectPublisherDataHolder.h"
#include "foundation/QBLoggerManager.h"
#include "quillborne/QBError.h"

namespace {

constexpr int kConfigurationErrorCode = 501;
constexpr char kConfigurations[] = "configurations";
constexpr char kProviderOrder[] = "providerOrder";
constexpr char kProviderSettings[] = "providerSettings";

platform::Error configurationError(const std::string& message) {
  const QBError error = QBError::createError(kConfigurationErrorCode, message);
  return platform::Error{error.domain(), error.code(), error.message()};
}

const std::vector<QBAdUnit>& allAdUnits() {
  static const std::vector<QBAdUnit>& units = *new std::vector<QBAdUnit>{
      QBAdUnit::QB_AD_UNIT_REWARDED_VIDEO(), QBAdUnit::QB_AD_UNIT_INTERSTITIAL(), QBAdUnit::QB_AD_UNIT_OFFERWALL(),
      QBAdUnit::QB_AD_UNIT_BANNER()};
  return units;
}

const char* const kEngineIdentifiers[] = {QBEventsSettings::kRewardedVideoEventsIdentifier,
                                          QBEventsSettings::kInterstitialEventsIdentifier,
                                          QBEventsSettings::kPixelEventsIdentifier};

// The adapter configurations of one ad unit, in the server's order.
std::vector<std::shared_ptr<QBAdapterConfig>> buildAdapterConfigs(const QBAdUnit& adUnit,
                                                                  const platform::Json& providerOrder,
                                                                  const platform::Json& providerSettings,
                                                                  const QBProductSettings& product) {
  std::vector<std::shared_ptr<QBAdapterConfig>> configs;
  std::set<std::string> seen;
  for (const std::string& name : qbjson::stringArray(providerOrder, adUnit.value())) {
    if (name.empty() || !seen.insert(name).second) continue;
    const auto entry = platform::getObject(providerSettings, name);
    if (!entry) {
      QB_LOG("provider " + name + " of " + adUnit.value() + " has no provider settings", 3, 6);
      continue;
    }
    configs.push_back(QBAdapterConfig::create(name, adUnit, *entry, product.settingsJson(),
                                              static_cast<double>(product.adapterTimeOutInSeconds())));
  }
  return configs;
}

}  // namespace

QBConfigurationSnapshot::QBConfigurationSnapshot()
    : auction_(QBAuctionSettings::fromJson(platform::Json::object())),
      token_(QBTokenSettings::fromJson(platform::Json::object())),
      application_(QBApplicationSettings::fromJson(platform::Json::object())),
      skAdNetwork_(QBSKAdNetworkSettings::fromJson(platform::Json::object())),
      testSuite_(QBTestSuiteSettings::initWithControllerUrl(std::nullopt)) {
  for (const char* id : kEngineIdentifiers) events_[id] = QBEventsSettings::fromJson(id, platform::Json::object());
}

std::shared_ptr<const QBConfigurationSnapshot> QBConfigurationSnapshot::empty() {
  static const std::shared_ptr<const QBConfigurationSnapshot> instance(new QBConfigurationSnapshot());
  return instance;
}

platform::Result<std::shared_ptr<const QBConfigurationSnapshot>> QBConfigurationSnapshot::fromJson(
    const platform::Json& configuration) {
  if (!configuration.is_object()) return configurationError("configuration is not a JSON object");
  for (const char* section : {kConfigurations, kProviderOrder, kProviderSettings}) {
    auto it = configuration.find(section);
    if (it == configuration.end()) return configurationError(std::string("configuration lacks \"") + section + "\"");
    if (!it->is_object()) return configurationError(std::string("\"") + section + "\" is not an object");
  }
  try {
    std::shared_ptr<QBConfigurationSnapshot> s(new QBConfigurationSnapshot());
    const platform::Json& configurations = configuration.at(kConfigurations);
    const platform::Json& providerOrder = configuration.at(kProviderOrder);
    const platform::Json& providerSettings = configuration.at(kProviderSettings);
    const platform::Json application = qbjson::objectOr(configurations, "application");

    for (const QBAdUnit& adUnit : allAdUnits()) {
      const auto section = platform::getObject(configurations, adUnit.value());
      auto product = QBProductSettings::fromJson(adUnit, section ? *section : platform::Json::object());
      s->adapters_[adUnit.value()] = buildAdapterConfigs(adUnit, providerOrder, providerSettings, *product);
      if (section) s->products_[adUnit.value()] = std::move(product);
    }
    s->auction_ = QBAuctionSettings::fromJson(qbjson::objectOr(application, "auction"));
    s->token_ = QBTokenSettings::fromJson(qbjson::objectOr(application, "token"));
    s->application_ = QBApplicationSettings::fromJson(application);
    const platform::Json events = qbjson::objectOr(application, "events");
    for (const char* id : kEngineIdentifiers) s->events_[id] = QBEventsSettings::fromJson(id, qbjson::objectOr(events, id));
    s->skAdNetwork_ = QBSKAdNetworkSettings::fromJson(qbjson::objectOr(application, "skAdNetwork"));
    s->testSuite_ = QBTestSuiteSettings::fromJson(qbjson::objectOr(configurations, "testSuite"));
    s->origin_ = configuration;
    s->hasConfiguration_ = true;
    return std::shared_ptr<const QBConfigurationSnapshot>(std::move(s));
  } catch (const std::exception& e) {
    // Only allocation failure can get here; the caller keeps its old snapshot.
    return configurationError(std::string("configuration could not be built: ") + e.what());
  }
}

std::vector<QBAdUnit> QBConfigurationSnapshot::configuredAdUnits() const {
  std::vector<QBAdUnit> units;
  for (const QBAdUnit& adUnit : allAdUnits()) {
    if (products_.count(adUnit.value())) units.push_back(adUnit);
  }
  return units;
}

std::shared_ptr<const QBProductSettings> QBConfigurationSnapshot::productSettings(const QBAdUnit& adUnit) const {
  auto it = products_.find(adUnit.value());
  return it == products_.end() ? nullptr : it->second;
}

std::vector<std::shared_ptr<QBAdapterConfig>> QBConfigurationSnapshot::adapterConfigs(const QBAdUnit& adUnit) const {
  auto it = adapters_.find(adUnit.value());
  return it == adapters_.end() ? std::vector<std::shared_ptr<QBAdapterConfig>>{} : it->second;
}

std::shared_ptr<QBAdapterConfig> QBConfigurationSnapshot::adapterConfig(const QBAdUnit& adUnit,
                                                                        const std::string& providerName) const {
  auto it = adapters_.find(adUnit.value());
  if (it == adapters_.end()) return nullptr;
  for (const auto& config : it->second) {
    if (config->providerName() == providerName) return config;
  }
  return nullptr;
}

std::shared_ptr<const QBEventsSettings> QBConfigurationSnapshot::eventsSettings(
    const std::string& engineIdentifier) const {
  auto it = events_.find(engineIdentifier);
  return it == events_.end() ? nullptr : it->second;
}

QBServerResponseParser::QBServerResponseParser() : snapshot_(QBConfigurationSnapshot::empty()) {}

std::shared_ptr<QBServerResponseParser> QBServerResponseParser::create() {
  return std::shared_ptr<QBServerResponseParser>(new QBServerResponseParser());
}

platform::Status QBServerResponseParser::parse(std::string_view configurationText) {
  auto json = platform::parseJson(configurationText);
  if (!json.ok()) {
    QB_LOG("configuration is not JSON: " + json.error().message, 3, 6);
    return configurationError("configuration is not JSON: " + json.error().message);
  }
  return parseConfiguration(json.value());
}

platform::Status QBServerResponseParser::parseConfiguration(const platform::Json& configuration) {
  auto built = QBConfigurationSnapshot::fromJson(configuration);
  if (!built.ok()) {
    QB_LOG(built.error().message, 3, 6);
    return built.error();
  }
  std::shared_ptr<const QBConfigurationSnapshot> next = std::move(built).value();
  const auto application = next->applicationSettings();
  const auto skAdNetwork = next->skAdNetworkSettings();
  {
    // The process-wide copies change under the same lock so that they always
    // match the snapshot in force, whichever of two parses finishes last.
    std::lock_guard lock(mutex_);
    snapshot_.swap(next);
    QBConfigurations::getConfigurations().setServerLogLevels(application->consoleLogLevel(),
                                                             application->publisherLogLevel());
    QuillborneObjectPublisherDataHolder::sharedInstance().setSKAdNetworkSettings(skAdNetwork);
  }
  // `next` now holds the previous snapshot; it is released outside the lock.
  return platform::Ok{};
}

std::shared_ptr<const QBConfigurationSnapshot> QBServerResponseParser::snapshot() const {
  std::lock_guard lock(mutex_);
  return snapshot_;
}

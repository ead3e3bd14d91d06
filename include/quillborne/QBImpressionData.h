#pragma once
// The impression-level revenue record of one shown ad, handed to the
// application's impression-data listeners (QBImpressionDataDelegate).
//
// Built from one dictionary (a JSON object) whose keys are the field names
// below; a key that is absent or holds another type leaves its field absent.
// Strings: "auctionId", "adUnit", "adNetwork", "instanceName", "instanceId",
// "country", "placement", "precision", "ab", "segmentName", "encryptedCPM"
// (an integer "instanceId" is taken as its decimal text). Numbers: "revenue",
// "lifetimeRevenue". Integer: "conversionValue".
//
// Immutable once built; safe to share between threads.
#include <memory>
#include <optional>
#include <string>

class QBImpressionData {
 public:
  static constexpr const char* kAuctionId = "auctionId";
  static constexpr const char* kAdUnit = "adUnit";
  static constexpr const char* kAdNetwork = "adNetwork";
  static constexpr const char* kInstanceName = "instanceName";
  static constexpr const char* kInstanceId = "instanceId";
  static constexpr const char* kCountry = "country";
  static constexpr const char* kPlacement = "placement";
  static constexpr const char* kRevenue = "revenue";
  static constexpr const char* kPrecision = "precision";
  static constexpr const char* kAb = "ab";
  static constexpr const char* kSegmentName = "segmentName";
  static constexpr const char* kLifetimeRevenue = "lifetimeRevenue";
  static constexpr const char* kEncryptedCPM = "encryptedCPM";
  static constexpr const char* kConversionValue = "conversionValue";

  // The record of the UTF-8 JSON text of one object; none when the text is
  // not a JSON object.
  static std::shared_ptr<QBImpressionData> initWithJsonText(const std::string& text);

  const std::optional<std::string>& auctionId() const { return auctionId_; }
  const std::optional<std::string>& adUnit() const { return adUnit_; }
  const std::optional<std::string>& adNetwork() const { return adNetwork_; }
  const std::optional<std::string>& instanceName() const { return instanceName_; }
  const std::optional<std::string>& instanceId() const { return instanceId_; }
  const std::optional<std::string>& country() const { return country_; }
  const std::optional<std::string>& placement() const { return placement_; }
  const std::optional<double>& revenue() const { return revenue_; }
  const std::optional<std::string>& precision() const { return precision_; }
  const std::optional<std::string>& ab() const { return ab_; }
  const std::optional<std::string>& segmentName() const { return segmentName_; }
  const std::optional<double>& lifetimeRevenue() const { return lifetimeRevenue_; }
  const std::optional<std::string>& encryptedCPM() const { return encryptedCPM_; }
  const std::optional<int>& conversionValue() const { return conversionValue_; }

  // A copy whose placement (field and dictionary entry) is `placementName`.
  std::shared_ptr<QBImpressionData> copyWithPlacement(const std::string& placementName) const;

  // The whole dictionary the record was built from (unknown keys included), as
  // compact UTF-8 JSON text.
  std::string allDataJsonText() const;
  // Same as allDataJsonText().
  std::string description() const { return allDataJsonText(); }

 private:
  friend class QBImpressionDataJson;
  struct Dictionary;  // the JSON object behind allData (see core/QBImpressionDataJson.h)
  QBImpressionData() = default;

  std::optional<std::string> auctionId_;
  std::optional<std::string> adUnit_;
  std::optional<std::string> adNetwork_;
  std::optional<std::string> instanceName_;
  std::optional<std::string> instanceId_;
  std::optional<std::string> country_;
  std::optional<std::string> placement_;
  std::optional<double> revenue_;
  std::optional<std::string> precision_;
  std::optional<std::string> ab_;
  std::optional<std::string> segmentName_;
  std::optional<double> lifetimeRevenue_;
  std::optional<std::string> encryptedCPM_;
  std::optional<int> conversionValue_;
  std::shared_ptr<const Dictionary> dictionary_;
};

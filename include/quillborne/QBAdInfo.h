#pragma once
// The ad information handed to the application's ad callbacks: the parts of
// the impression-level revenue record that describe the ad. A field is absent
// when the record lacked it (or the info was made empty).
//
// Plain value: copyable and safe to share between threads.
#include <memory>
#include <optional>
#include <string>

class QBImpressionData;

class QBAdInfo {
 public:
  // An info with every field absent.
  QBAdInfo() = default;
  // The info of `impressionData` (empty when it is null).
  explicit QBAdInfo(const QBImpressionData* impressionData);
  static std::shared_ptr<QBAdInfo> initWithImpressionData(const std::shared_ptr<QBImpressionData>& impressionData);

  const std::optional<std::string>& auctionId() const { return auctionId_; }
  const std::optional<std::string>& adUnit() const { return adUnit_; }
  const std::optional<std::string>& country() const { return country_; }
  const std::optional<std::string>& ab() const { return ab_; }
  const std::optional<std::string>& segmentName() const { return segmentName_; }
  const std::optional<std::string>& adNetwork() const { return adNetwork_; }
  const std::optional<std::string>& instanceName() const { return instanceName_; }
  const std::optional<std::string>& instanceId() const { return instanceId_; }
  const std::optional<double>& revenue() const { return revenue_; }
  const std::optional<std::string>& precision() const { return precision_; }
  const std::optional<double>& lifetimeRevenue() const { return lifetimeRevenue_; }
  const std::optional<std::string>& encryptedCPM() const { return encryptedCPM_; }

  // The UTF-8 JSON text of one object with the keys "auctionId", "adUnit",
  // "country", "ab", "segmentName", "adNetwork", "instanceName", "instanceId",
  // "revenue", "precision", "lifetimeRevenue", "encryptedCPM" in this order,
  // each left out when its field is absent; "{}" when the object cannot be
  // serialised (a revenue that is not a finite number).
  std::string description() const;

  bool operator==(const QBAdInfo&) const = default;

 private:
  std::optional<std::string> auctionId_;
  std::optional<std::string> adUnit_;
  std::optional<std::string> country_;
  std::optional<std::string> ab_;
  std::optional<std::string> segmentName_;
  std::optional<std::string> adNetwork_;
  std::optional<std::string> instanceName_;
  std::optional<std::string> instanceId_;
  std::optional<double> revenue_;
  std::optional<std::string> precision_;
  std::optional<double> lifetimeRevenue_;
  std::optional<std::string> encryptedCPM_;
};

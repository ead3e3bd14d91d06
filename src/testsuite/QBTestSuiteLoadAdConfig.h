#pragma once
// The integration test suite's load request for one ad unit: which network
// the developer chose, whether its bidding or its non-bidding instance, and
// whether the auction should ask for test ads. The ad-unit managers consult it
// for every configured instance while they choose the auction's candidates.
//
// Immutable once made; safe to share between threads.
#include <memory>
#include <optional>
#include <string>

#include "quillborne/QBAdUnit.h"

class QBAdapterConfig;

class QBTestSuiteLoadAdConfig {
 public:
  // adNetwork: the chosen network (matched against an instance's default
  // instance name); none or "" means no filter.
  static std::shared_ptr<QBTestSuiteLoadAdConfig> initWithAdNetwork(std::optional<std::string> adNetwork,
                                                                    bool isBidding, bool useTestAds,
                                                                    bool retainViewController);

  const std::optional<std::string>& adNetwork() const { return adNetwork_; }
  bool isBidding() const { return isBidding_; }
  // Whether the auction request asks for test ads.
  bool useTestAds() const { return useTestAds_; }
  // Whether the suite's view controller ignores dismissals while the ad runs.
  bool retainViewController() const { return retainViewController_; }

  // Whether the instance may take part in the auction:
  //  1. no network chosen (none or ""): yes;
  //  2. the instance's default instance name differs from the chosen network
  //     (exact, case-sensitive): no;
  //  3. otherwise yes exactly when the instance's bidder flag equals
  //     isBidding().
  // The ad unit is not used.
  bool shouldAddAdapterConfigInfo(const QBAdapterConfig& config, const QBAdUnit& adUnit) const;

 private:
  QBTestSuiteLoadAdConfig() = default;

  std::optional<std::string> adNetwork_;
  bool isBidding_ = false;
  bool useTestAds_ = false;
  bool retainViewController_ = false;
};

#pragma once
// The application's impression-data listener. Register it through the
// facade; the library holds it weakly and tells it about every impression
// that carries revenue data, on the thread of the ad-unit manager that saw the
// impression (not necessarily the main thread).
#include <memory>

class QBImpressionData;

class QBImpressionDataDelegate {
 public:
  virtual ~QBImpressionDataDelegate() = default;
  // One shown impression's revenue record (never null).
  virtual void impressionDataDidSucceed(std::shared_ptr<QBImpressionData> impressionData) = 0;
};

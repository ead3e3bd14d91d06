#pragma once
// Told when the test page has taken its data ("onDataLoaded").
class QBTestSuiteUIReadyDelegate {
 public:
  virtual ~QBTestSuiteUIReadyDelegate() = default;
  virtual void onUIReady() = 0;
};

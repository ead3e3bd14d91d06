#pragma once
// Told when the test page asks to close the suite ("closeTestSuite").
class QBTestSuiteOnClosedDelegate {
 public:
  virtual ~QBTestSuiteOnClosedDelegate() = default;
  virtual void onClosed() = 0;
};

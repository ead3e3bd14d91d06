#pragma once
// The SDK library's side of the test suite's proxy: the SDK object and the
// public facade behind QBTestSuiteMediationSdk.

// Registers it with QBTestSuiteMediationSdkProxy (once; later calls keep the
// registration). Every call reaches the SDK object current at that moment.
// Any thread.
void registerTestSuiteMediationSdk();

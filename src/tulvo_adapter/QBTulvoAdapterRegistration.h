#pragma once
// Registers the Tulvo adapter classes in platform::ClassRegistry, so the
// adapter registry can make them by name: "QBTulvoCustomAdapter" (as a
// QBBaseNetworkAdapter), "QBTulvoCustomRewardedVideo" and
// "QBTulvoCustomInterstitial" (as QBBaseAdAdapter). Call once at start-up;
// calling again re-registers the same factories. Any thread.
void registerTulvoAdapterClasses();

#pragma once
// The ad-network identifiers the application declares in its information
// dictionary.
#include <set>
#include <string>

class PMESKAdNetworkService {
 public:
  // The "SKAdNetworkIdentifier" texts of the dictionaries in the array
  // "SKAdNetworkItems". Entries that are not dictionaries, or whose identifier
  // is missing or not text, are skipped; empty when the key is missing or not
  // an array. Synchronous, on the calling thread.
  static std::set<std::string> collectNetworkIdsFromPlist();
};

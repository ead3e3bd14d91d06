#pragma once
// The ad-network identifiers the application declares in its information
// dictionary.
#include <set>
#include <string>

#include "platform/json.h"

class PMESKAdNetworkService {
 public:
  // The "SKAdNetworkIdentifier" texts of the dictionaries in the array
  // "SKAdNetworkItems". Entries that are not dictionaries, or whose identifier
  // is missing or not text, are skipped; empty when the key is missing or not
  // an array. Synchronous, on the calling thread.
  static std::set<std::string> collectNetworkIdsFromPlist();
};

namespace QBUtils {

// The SKAdNetwork facts the application declares, as the own network hands
// them to its controller page ("skd"): {"skadnetids": [identifiers, sorted]}
// when the information dictionary declares any, else an empty object.
platform::Json getSkanDictionary();

}  // namespace QBUtils

#include "core/QBUtilsTransId.h"

#include "core/QBConfigurations.h"
#include "foundation/QBUtils.h"

namespace QBUtils {

std::string getTransIdWithTimestamp(std::string_view timestamp, std::string_view instanceName) {
  return transIdFromParts(timestamp, QBConfigurations::getConfigurations().appKey(), instanceName);
}

}  // namespace QBUtils

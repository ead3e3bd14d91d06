#pragma once
// The reward transaction id with the application key of the configuration.
// (QBUtils lives in the foundation, which cannot read QBConfigurations; this
// two-argument form joins the two.)
#include <string>
#include <string_view>

namespace QBUtils {

// transIdFromParts(timestamp, QBConfigurations appKey, instanceName): the
// lower-case hexadecimal SHA-256 of the three texts joined with no separator;
// "" when hashing fails. Any thread.
std::string getTransIdWithTimestamp(std::string_view timestamp, std::string_view instanceName);

}  // namespace QBUtils

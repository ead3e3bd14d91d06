#include "core/QBSegmentUtils.h"

platform::Json QBSegmentUtils::getAsDictionary(const QBSegment& segment) {
  platform::Json dict = platform::Json::object();
  if (segment.segmentName()) dict["segmentName"] = *segment.segmentName();
  if (segment.level()) dict["level"] = *segment.level();
  if (segment.isPaying()) dict["isPaying"] = *segment.isPaying();
  if (segment.userCreationDate()) dict["userCreationDate"] = *segment.userCreationDate();
  if (segment.iapTotal()) dict["iapTotal"] = *segment.iapTotal();
  if (!segment.customParameters().empty()) {
    platform::Json custom = platform::Json::object();
    for (const auto& [key, value] : segment.customParameters()) custom[key] = value;
    dict["customParameters"] = std::move(custom);
  }
  return dict;
}

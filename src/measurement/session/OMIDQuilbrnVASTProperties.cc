#include "measurement/session/OMIDQuilbrnVASTProperties.h"

std::string OMIDQuilbrnVASTProperties::positionString() const {
  switch (position_) {
    case OMIDQuilbrnPositionMidroll: return "midroll";
    case OMIDQuilbrnPositionPostroll: return "postroll";
    case OMIDQuilbrnPositionStandalone: return "standalone";
    default: return "preroll";
  }
}

platform::Json OMIDQuilbrnVASTProperties::toJSON() const {
  platform::Json json = platform::Json::object();
  json["skippable"] = skippable_;
  if (skippable_) json["skipOffset"] = skipOffset_;
  json["autoPlay"] = autoPlay_;
  json["position"] = positionString();
  return json;
}

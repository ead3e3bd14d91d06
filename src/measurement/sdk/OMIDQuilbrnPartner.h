#pragma once
// Who measures: the integration partner's name and version.
#include <memory>
#include <optional>
#include <string>

#include "platform/json.h"

class OMIDQuilbrnPartner {
 public:
  // The partner, or null when either text is missing or empty.
  static std::shared_ptr<OMIDQuilbrnPartner> initWithName(const std::optional<std::string>& name,
                                                          const std::optional<std::string>& versionString);

  const std::string& name() const { return name_; }
  const std::string& versionString() const { return versionString_; }

  // {"partnerName": name, "partnerVersion": version}.
  platform::Json toJSON() const;

 private:
  OMIDQuilbrnPartner(std::string name, std::string versionString)
      : name_(std::move(name)), versionString_(std::move(versionString)) {}
  std::string name_;
  std::string versionString_;
};

#pragma once
// One verification script of a native session: where to download it, whose
// it is and the parameters its vendor gave it.
#include <memory>
#include <optional>
#include <string>

class OMIDQuilbrnVerificationScriptResource {
 public:
  // Null when the URL, the vendor key or the parameters is missing or empty.
  static std::shared_ptr<OMIDQuilbrnVerificationScriptResource> initWithURL(
      const std::string& URL, const std::optional<std::string>& vendorKey,
      const std::optional<std::string>& parameters);
  // Null only for an empty URL; no vendor key and no parameters.
  static std::shared_ptr<OMIDQuilbrnVerificationScriptResource> initWithURL(const std::string& URL);

  // The URL's absolute text.
  const std::string& URL() const { return URL_; }
  const std::optional<std::string>& vendorKey() const { return vendorKey_; }
  const std::optional<std::string>& parameters() const { return parameters_; }

 private:
  OMIDQuilbrnVerificationScriptResource(std::string url, std::optional<std::string> vendorKey,
                                        std::optional<std::string> parameters)
      : URL_(std::move(url)), vendorKey_(std::move(vendorKey)), parameters_(std::move(parameters)) {}
  std::string URL_;
  std::optional<std::string> vendorKey_;
  std::optional<std::string> parameters_;
};

#include "presentation/QBNAdViewLoadParams.h"

#include "ownnetwork/services/QBNJsonValues.h"
#include "platform/json.h"

namespace {

bool flag(const platform::Json& params, const char* key) { return qbnjson::boolValue(params, key).value_or(false); }

}  // namespace

QBNAdViewLoadParams::QBNAdViewLoadParams(const platform::Json& params)
    : adViewId_(platform::getString(params, "adViewId")),
      urlString_(platform::getString(params, "urlForWebView")),
      shouldCreateContainer_(flag(params, "shouldCreateContainer")),
      shouldUseOffScreenViewInWebPresenter_(flag(params, "shouldUseOffScreenViewInWebPresenter")),
      shouldUseOffScreenViewInAdContainer_(flag(params, "shouldUseOffScreenViewInAdContainer")) {
  if (!params.is_object()) return;
  const auto size = params.find("adSize");
  if (size == params.end() || !size->is_object()) return;
  adSize_ = std::make_shared<QBNAdSize>(platform::getString(*size, "label").value_or(""),
                                        static_cast<int32_t>(qbnjson::integerValue(*size, "width")),
                                        static_cast<int32_t>(qbnjson::integerValue(*size, "height")));
}

#pragma once
// JSON side of QBImpressionData, for the library's own code (the public
// header keeps JSON types out of the application's view).
#include <memory>

#include "platform/json.h"
#include "quillborne/QBImpressionData.h"

class QBImpressionDataJson {
 public:
  // The record of one dictionary (keys as documented in QBImpressionData.h);
  // none when `dictionary` is not a JSON object.
  static std::shared_ptr<QBImpressionData> initWithDictionary(const platform::Json& dictionary);
  // The whole dictionary the record was built from.
  static platform::Json allData(const QBImpressionData& data);
};

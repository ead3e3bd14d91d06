#pragma once
// JSON side of QBSegment: the dictionary an auction request carries.
#include "platform/json.h"
#include "quillborne/QBSegment.h"

class QBSegmentUtils {
 public:
  // One object with "segmentName" (string), "level" (integer), "isPaying"
  // (boolean), "userCreationDate" (integer, ms since 1970), "iapTotal"
  // (number) and "customParameters" (object of strings, in the order the keys
  // were set); unset fields are left out, so an empty segment gives {}.
  static platform::Json getAsDictionary(const QBSegment& segment);
};

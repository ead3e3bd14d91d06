#pragma once
// The controller page's commands by name: which publisher method, handler or
// script handler each one reaches. Rows are tested from the first to the
// last and the first that matches wins; an exact row matches only the whole
// name, every other row any command that begins with its name ("loadBanner"
// also takes "loadBannerSuccess"). A command that matches no row is dropped
// without a reply or a log line.
#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "platform/json.h"

class PlovermarkAdsPublisher;

// One command as a row's handler receives it: the parameters are the flat
// dictionary of the command's query (texts as they stood in the URL), the
// query its raw text.
struct QBNCommandCall {
  PlovermarkAdsPublisher& publisher;
  const std::string& command;
  const platform::Json& parameters;
  const std::string& query;
};

struct QBNCommandRow {
  const char* name;
  bool exact;
  void (*handle)(const QBNCommandCall& call);
  // When set, the row takes part in matching only while this answers true
  // (a script handler that may be missing lets its commands fall through).
  bool (*present)(const PlovermarkAdsPublisher& publisher) = nullptr;
};

// The 59 rows, in the order they are tested.
const std::vector<QBNCommandRow>& QBNCommandTable();

// The index of the row that takes `command` (rows with a presence test are
// asked `publisher`, and skipped without one).
std::optional<size_t> QBNMatchCommandRow(const std::string& command, const PlovermarkAdsPublisher* publisher);

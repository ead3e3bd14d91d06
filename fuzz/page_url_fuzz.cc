// What the controller page sends the native side, read the way the publisher
// reads it: the page-to-native URL, the query's flat dictionary and the
// command table's match.
//  - A text that parses keeps its parts as written: the absolute text is the
//    input, the scheme, host, path and query are pieces of it in order, and
//    the path and query hold no delimiter that ends them.
//  - Every key and value of the query's dictionary is a text without "&",
//    every key without "=".
//  - A matched row's name is the command (exact rows) or begins it.
#include <cstddef>
#include <cstdint>
#include <string>

#include "ownnetwork/publisher/PMAPageURL.h"
#include "ownnetwork/publisher/QBNCommandTable.h"
#include "ownnetwork/services/PMAHelperMethods.h"
#include "support/fuzz_support.h"

namespace {

void checkMatch(const std::string& command) {
  const auto row = QBNMatchCommandRow(command, nullptr);
  if (!row) return;
  const QBNCommandRow& matched = QBNCommandTable().at(*row);
  if (matched.exact) {
    QB_FUZZ_CHECK(command == matched.name);
  } else {
    QB_FUZZ_CHECK(command.rfind(matched.name, 0) == 0);
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  qbfuzz::setUpProcess();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  checkMatch(text);
  const auto url = PMAPageURL::parse(text);
  std::string query = text;
  if (url) {
    QB_FUZZ_CHECK(url->absoluteString == text);
    QB_FUZZ_CHECK(!url->scheme.empty() && text.compare(0, url->scheme.size(), url->scheme) == 0);
    QB_FUZZ_CHECK(url->hasHost == !url->host.empty());
    QB_FUZZ_CHECK(text.find(url->host) != std::string::npos);
    QB_FUZZ_CHECK(url->path.find_first_of("?#") == std::string::npos);
    QB_FUZZ_CHECK(url->query.find('#') == std::string::npos);
    QB_FUZZ_CHECK(url->hasQuery || url->query.empty());
    (void)url->decodedPath();
    checkMatch(url->host);
    query = url->query;
  }
  const auto dictionary = PMAHelperMethods::dictionaryFromQueryStringParameters(query);
  QB_FUZZ_CHECK(dictionary.is_object());
  for (auto it = dictionary.begin(); it != dictionary.end(); ++it) {
    QB_FUZZ_CHECK(it.value().is_string());
    QB_FUZZ_CHECK(it.key().find_first_of("&=") == std::string::npos);
    QB_FUZZ_CHECK(it.value().get<std::string>().find('&') == std::string::npos);
  }
  return 0;
}

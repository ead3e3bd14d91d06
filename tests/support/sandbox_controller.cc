#include "support/sandbox_controller.h"

#include "platform/crypto.h"
#include "platform/storage.h"

namespace qbtest {

namespace {

constexpr char kMarker[] = "/*sandbox-behaviour*/{}";

std::string pageTemplate() {
  static const std::string& page = *new std::string([] {
    auto text = platform::readFile(std::string(QB_TESTS_DIR) + "/support/pages/controller.html");
    return text ? text.value() : std::string();
  }());
  return page;
}

}  // namespace

std::string controllerPageHtml(const platform::Json& behaviour) {
  std::string page = pageTemplate();
  std::string json = platform::dumpJson(behaviour.is_object() ? behaviour : platform::Json::object());
  // A "</script>" inside a text would end the script element early.
  for (size_t at = json.find("</"); at != std::string::npos; at = json.find("</", at + 3)) json.insert(at + 1, "\\");
  const size_t at = page.find(kMarker);
  if (at != std::string::npos) page.replace(at, sizeof kMarker - 1, "/*sandbox-behaviour*/" + json);
  return page;
}

void addControllerPage(SandboxServer& server, const platform::Json& behaviour, const std::string& path) {
  const std::string page = controllerPageHtml(behaviour);
  server.route("GET", path, [page](const RecordedRequest&) {
    return SandboxAnswer{200, page, {{"Content-Type", "text/html; charset=utf-8"}}};
  });
}

platform::Json offerwallCredit(const std::string& applicationKey, const std::string& userId, int credits, int total,
                               const std::string& timestamp) {
  return platform::Json{{"credits", std::to_string(credits)},
                        {"total", std::to_string(total)},
                        {"totalCreditsFlag", "false"},
                        {"timestamp", timestamp},
                        {"signature", platform::md5Hex(std::to_string(total) + applicationKey + userId)}};
}

void addAdPage(SandboxServer& server, const std::string& path) {
  auto text = platform::readFile(std::string(QB_TESTS_DIR) + "/support/pages/ad_unit.html");
  const std::string page = text ? text.value() : std::string();
  server.route("GET", path, [page](const RecordedRequest&) {
    return SandboxAnswer{200, page, {{"Content-Type", "text/html; charset=utf-8"}}};
  });
}

}  // namespace qbtest

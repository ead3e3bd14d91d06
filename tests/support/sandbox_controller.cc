#include "support/sandbox_controller.h"

#include "platform/crypto.h"
#include "platform/storage.h"
#include "support/sandbox_files.h"
#include "support/sandbox_measurement.h"

namespace qbtest {

namespace {

constexpr char kMarker[] = "/*sandbox-behaviour*/{}";

std::string pageTemplate() {
  static const std::string& page = *new std::string([] {
    auto text = platform::readFile(sandboxFile("support/pages/controller.html"));
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

namespace {

constexpr char kMeasurementMarker[] = "<!--measurement-->";

std::string adPageTemplate() {
  auto text = platform::readFile(sandboxFile("support/pages/ad_unit.html"));
  return text ? text.value() : std::string();
}

void routePage(SandboxServer& server, const std::string& path, std::string page) {
  server.route("GET", path, [page = std::move(page)](const RecordedRequest&) {
    return SandboxAnswer{200, page, {{"Content-Type", "text/html; charset=utf-8"}}};
  });
}

}  // namespace

void addAdPage(SandboxServer& server, const std::string& path) { routePage(server, path, adPageTemplate()); }

void addMeasuredAdPage(SandboxServer& server, const std::string& path) {
  addMeasurementScripts(server);
  const platform::Json properties = {{"injectionId", kMeasuredAdPageInjectionId},
                                     {"vendorKey", kMeasuredAdPageVendor},
                                     {"verificationParameters", verificationParameters(server, kMeasuredAdPageTag)}};
  // The properties' observer is the ad page's relay, defined by the page's
  // own script further down.
  const std::string head =
      "<script>\n" + measurementServiceScript() + "\n</script>\n<script>\nwindow.omidVerificationProperties = " +
      platform::dumpJson(properties) +
      ";\nwindow.omidVerificationProperties.observer = function (type, data) {\n"
      "  if (window.pma && window.pma.measured) window.pma.measured(type, data);\n};\n</script>\n<script>\n" +
      verificationScript() + "\n</script>";
  std::string page = adPageTemplate();
  const size_t at = page.find(kMeasurementMarker);
  if (at != std::string::npos) page.replace(at, sizeof kMeasurementMarker - 1, head);
  routePage(server, path, std::move(page));
}

}  // namespace qbtest

#include "quillborne/QBError.h"

#include <string_view>
#include <utility>

namespace {

struct CodeEntry {
  int code;
  const char* templ;
};

// The mediation's code table. Texts are the ones the library logs and reports
// elsewhere; keep them in step (docs/errors.md mirrors this table).
constexpr CodeEntry kCodeTable[] = {
    {501, "Init Fail - Unable to retrieve configurations from the server"},
    {502, "Server configuration unavailable - using the cached configuration"},
    {508, "SDK not initialized"},
    {509, "%@ Show Fail - No ads to show"},
    {510, "%@"},
    {520, "No internet connection"},
    {524, "placement %@ is capped"},
    {525, "Ad unit is capped"},
    {526, "Session is capped"},
    {616, "quillborne unsupported banner size"},
    {1005, "No candidates available for auctioning"},
    {1010, "winner instance missing from waterfall - %@"},
    {1011, "showing instance missing from waterfall - %@"},
    {1020, "show called with empty default placement"},
    {1021, "show called with empty default placement"},
    {1022, "can't show ad while an ad is already showing"},
    {1024, "no auction candidates"},
    {1025, "time out"},
    {1027, "load cannot be invoked while showing an ad"},
    {1035, "no auction candidates"},
    {1036, "can't show ad while an ad is already showing"},
    {1037, "load cannot be invoked while showing an ad"},
    {1038, "showAd - exception = %@ %@"},
    {1039, "showAd - exception = %@ %@"},
    {1040, "loadAd - exception = %@ %@"},
    {1041, "loadAd - exception = %@ %@"},
    {1057, "loaded ads are expired"},
    {1721, "TestSuite cannot be launched, SDK not initialized"},
    {1722, "TestSuite cannot be launched, Please contact your account manager to enable it"},
    {1723, "TestSuite cannot be launched, no view controller to present it from"},
    {1725, "TestSuite cannot be launched, No network connectivity"},
    {1726, "TestSuite cannot be launched, a test suite is already open"},
};

constexpr std::string_view kPlaceholder = "%@";

}  // namespace

const std::string& QBError::mediationDomain() {
  static const std::string* domain = new std::string();
  return *domain;
}

QBError::QBError(std::string domain, int code, std::string message)
    : domain_(std::move(domain)), code_(code), message_(std::move(message)) {}

std::optional<std::string> QBError::messageTemplateForCode(int code) {
  for (const auto& entry : kCodeTable) {
    if (entry.code == code) return std::string(entry.templ);
  }
  return std::nullopt;
}

std::string QBError::fillTemplate(const std::string& templ, const std::vector<std::string>& params) {
  std::string out;
  out.reserve(templ.size());
  size_t next = 0;
  size_t pos = 0;
  while (pos < templ.size()) {
    size_t found = templ.find(kPlaceholder, pos);
    if (found == std::string::npos) {
      out.append(templ, pos, std::string::npos);
      break;
    }
    out.append(templ, pos, found - pos);
    if (next < params.size()) out += params[next];
    ++next;
    pos = found + kPlaceholder.size();
  }
  return out;
}

QBError QBError::createError(int code) { return createError(code, std::vector<std::string>{}); }

QBError QBError::createError(int code, const std::vector<std::string>& params) {
  auto templ = messageTemplateForCode(code);
  if (!templ) return QBError(mediationDomain(), code, kUnknownErrorMessage);
  return QBError(mediationDomain(), code, fillTemplate(*templ, params));
}

QBError QBError::createError(int code, std::initializer_list<std::string> params) {
  return createError(code, std::vector<std::string>(params));
}

QBError QBError::createError(int code, const std::string& message) {
  return QBError(mediationDomain(), code, message);
}

QBError QBError::createErrorWithDomain(const std::string& domain, int code, const std::string& message) {
  return QBError(domain, code, message);
}

std::string QBError::description() const {
  return "Error Domain=" + domain_ + " Code=" + std::to_string(code_) + " \"" + message_ + "\"";
}

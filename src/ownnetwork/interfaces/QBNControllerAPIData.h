#pragma once
// One call of a controller-page function: its name, its parameters, the page
// callbacks to attach and how string values are encoded on the way. Each
// setter returns the record itself, so a call reads as one chain.
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <utility>

#include "platform/json.h"

class QBNControllerAPIData {
 public:
  // How string values of the parameters (and of dictionaries nested in them)
  // are sent; numbers, booleans and arrays never change.
  enum EncodingOptions : int {
    kEncodingNone = 0,               // as they are
    kEncodingPercentEncode = 1,      // percent-encoded
    kEncodingDecodeThenEncode = 2,   // percent-decoded ("+" as a space), then percent-encoded
  };

  explicit QBNControllerAPIData(std::string functionName) : functionName_(std::move(functionName)) {}

  // A reply to the page: its function with the parameters, no callbacks,
  // answering the page; with decodeFirst string values are percent-decoded,
  // then encoded (else they go as they are).
  static QBNControllerAPIData reply(std::string functionName, platform::Json parameters, bool decodeFirst) {
    QBNControllerAPIData data(std::move(functionName));
    data.setFunctionParameters(std::move(parameters))
        .setEncodingOptions(decodeFirst ? kEncodingDecodeThenEncode : kEncodingNone)
        .setAnswersPage(true);
    return data;
  }

  QBNControllerAPIData& setFunctionParameters(platform::Json parameters) {
    functionParameters_ = std::move(parameters);
    return *this;
  }
  QBNControllerAPIData& setSuccessCallback(std::optional<std::string> name) {
    successCallback_ = std::move(name);
    return *this;
  }
  QBNControllerAPIData& setFailCallback(std::optional<std::string> name) {
    failCallback_ = std::move(name);
    return *this;
  }
  QBNControllerAPIData& setEncodingOptions(int options) {
    encodingOptions_ = options;
    return *this;
  }
  // Whether the call answers the page (a reply to a command the page sent,
  // or a notice its own message caused): the page's work in running it is
  // then charged to its web view's processor budget, as every task the page
  // causes (docs/web-view.md). The controller manager marks every call made
  // while the main queue delivers a page's message; replies mark themselves,
  // whenever they are sent.
  QBNControllerAPIData& setAnswersPage(bool answers) {
    answersPage_ = answers;
    return *this;
  }
  // Runs once the controller has taken the call: the page has run its line
  // (so everything the page posted before it has reached the native side
  // already), or the fallback controller has answered it in the page's
  // place, or the line could reach no page. On the main queue for the page;
  // at once, on the sending thread, for the fallback and for a line that
  // goes nowhere. Native bookkeeping only: the page never sees it.
  QBNControllerAPIData& setTakenCallback(std::function<void()> taken) {
    taken_ = std::move(taken);
    return *this;
  }

  const std::string& functionName() const { return functionName_; }
  const platform::Json& functionParameters() const { return functionParameters_; }
  const std::optional<std::string>& successCallback() const { return successCallback_; }
  const std::optional<std::string>& failCallback() const { return failCallback_; }
  int encodingOptions() const { return encodingOptions_; }
  bool answersPage() const { return answersPage_; }
  const std::function<void()>& takenCallback() const { return taken_; }
  // Runs the taken callback, if there is one.
  void taken() const {
    if (taken_) taken_();
  }

 private:
  std::string functionName_;
  platform::Json functionParameters_ = platform::Json::object();
  std::optional<std::string> successCallback_;
  std::optional<std::string> failCallback_;
  int encodingOptions_ = kEncodingNone;
  bool answersPage_ = false;
  std::function<void()> taken_;
};

#pragma once
// The fallback controller: installed when the controller page cannot run, it
// answers every command at once, on the thread that sent it, with the
// command's fail callback, so that whoever asked hears of the failure as if
// the page had answered.
#include <memory>
#include <mutex>
#include <string>

#include "ownnetwork/controller/QBNControllerProtocols.h"

class QBNNativeController : public QBNController {
 public:
  // Calls the delegate's handlePlovermarkCallbackWithCommand (when it is a
  // QBNNativeControllerDelegate) with the fail callback's name and the
  // command's parameters as texts, "errCode" = "1007" and "errMsg" = the
  // reason added (replacing what the command held). A command without a fail
  // callback name is answered to nobody. Every command counts as taken at
  // once: its taken callback runs after the answer, on this thread.
  void runCommand(const QBNControllerAPIData& command) override;
  void clearTimers() override {}
  std::shared_ptr<QBNControllerDelegate> controllerDelegate() const override;
  void setControllerDelegate(std::weak_ptr<QBNControllerDelegate> delegate) override;

  // Why the page was given up; sent back as "errMsg".
  std::string failedControllerReason() const;
  void setFailedControllerReason(std::string reason);

  // The answer's parameters: every parameter as its query text
  // (qbnjson::description), then "errCode" and "errMsg".
  platform::Json expendCommandParams(const platform::Json& params) const;

 private:
  mutable std::mutex mutex_;
  std::weak_ptr<QBNControllerDelegate> delegate_;
  std::string failedControllerReason_;
};

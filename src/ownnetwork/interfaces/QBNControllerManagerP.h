#pragma once
// The controller manager as the script handlers and the presentation see it:
// the one way to send a command or a reply to the controller page.
#include <optional>
#include <string>

#include "ownnetwork/interfaces/QBNControllerAPIData.h"
#include "platform/json.h"

class QBNControllerManagerP {
 public:
  virtual ~QBNControllerManagerP() = default;

  // Sends `functionName` with `parameters` to the page. The page's callbacks
  // are attached only when both names are given. With decodeFirst every string
  // value (also in nested dictionaries) is percent-decoded, then
  // percent-encoded; without it values go as they are. A command whose
  // parameters hold "forceCommand" = true goes at once; any other waits until
  // the page is ready. Any thread; nothing is reported back.
  virtual void runCommand(const std::string& functionName, const platform::Json& parameters,
                          const std::optional<std::string>& successMethodName,
                          const std::optional<std::string>& failMethodName, bool decodeFirst) = 0;

  // Sends a prepared call (its encoding option decides how string values go;
  // the callbacks are attached only when both are given). Same queueing as
  // above. Any thread.
  virtual void runCommand(const QBNControllerAPIData& data) = 0;
};

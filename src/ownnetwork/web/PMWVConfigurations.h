#pragma once
// The two configuration records of the own network's web views.
#include <memory>
#include <optional>
#include <string>

// What a page plays and reads.
class PMWVBrowsingConfiguration {
 public:
  // Media playback needs a user gesture (all media types) or not (none).
  bool mediaPlaybackRequiresUserAction() const { return mediaPlaybackRequiresUserAction_; }
  void setMediaPlaybackRequiresUserAction(bool value) { mediaPlaybackRequiresUserAction_ = value; }
  // Inline media playback allowed.
  bool mediaPlaybackAllowsInLine() const { return mediaPlaybackAllowsInLine_; }
  void setMediaPlaybackAllowsInLine(bool value) { mediaPlaybackAllowsInLine_ = value; }
  // When set, written to the web view's preferences under
  // "allowFileAccessFromFileURLs"; when not, the preference keeps its default.
  std::optional<bool> allowFileAccessFromFileURLs() const { return allowFileAccessFromFileURLs_; }
  void setAllowFileAccessFromFileURLs(std::optional<bool> value) { allowFileAccessFromFileURLs_ = value; }

 private:
  bool mediaPlaybackRequiresUserAction_ = false;
  bool mediaPlaybackAllowsInLine_ = false;
  std::optional<bool> allowFileAccessFromFileURLs_;
};

// Script interface and message parser of a message bridge. No bridge exists in
// this library, so neither has operations of its own yet.
class PMWVJsInterfaceP {
 public:
  virtual ~PMWVJsInterfaceP() = default;
};
class PMWVMessageParserP {
 public:
  virtual ~PMWVMessageParserP() = default;
};

// How a page talks to the native side.
class PMWVConnectivityConfiguration {
 public:
  // Name of the script message handler to install; none when empty.
  const std::string& messageHandlerName() const { return messageHandlerName_; }
  void setMessageHandlerName(std::string name) { messageHandlerName_ = std::move(name); }
  std::shared_ptr<PMWVJsInterfaceP> interface() const { return interface_; }
  void setInterface(std::shared_ptr<PMWVJsInterfaceP> value) { interface_ = std::move(value); }
  std::shared_ptr<PMWVMessageParserP> parser() const { return parser_; }
  void setParser(std::shared_ptr<PMWVMessageParserP> value) { parser_ = std::move(value); }

 private:
  std::string messageHandlerName_;
  std::shared_ptr<PMWVJsInterfaceP> interface_;
  std::shared_ptr<PMWVMessageParserP> parser_;
};

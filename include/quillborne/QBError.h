#pragma once
// Errors of the mediation, as values: a domain, a numeric code and a message
// (the localized description). The mediation's own errors have the empty
// domain; their messages come from the library's code table, whose templates
// hold "%@" placeholders filled in order (docs/errors.md lists the table).
//
// The factories are pure functions: thread-safe, answering on the calling
// thread, never failing.
#include <initializer_list>
#include <optional>
#include <string>
#include <vector>

class QBError {
 public:
  // The domain of the mediation's own errors: the empty string.
  static const std::string& mediationDomain();
  // The message of createError(code) for a code the table does not hold.
  static constexpr const char* kUnknownErrorMessage = "Unknown error";

  QBError() = default;
  QBError(std::string domain, int code, std::string message);

  // The error of `code` in the mediation's domain with the table's message,
  // its placeholders left empty; kUnknownErrorMessage for an unknown code.
  static QBError createError(int code);
  // As createError(code), the table's placeholders filled in order with
  // `params`: a placeholder without a parameter becomes empty, parameters
  // without a placeholder are ignored.
  static QBError createError(int code, const std::vector<std::string>& params);
  static QBError createError(int code, std::initializer_list<std::string> params);
  // The error of `code` in the mediation's domain with exactly `message`,
  // whatever the table says ("" stays "").
  // (A braced list such as {"name"} picks the parameter form above.)
  static QBError createError(int code, const std::string& message);
  // An error of another domain.
  static QBError createErrorWithDomain(const std::string& domain, int code, const std::string& message);

  // The table's template of `code` ("placement %@ is capped"); none when the
  // table does not hold the code.
  static std::optional<std::string> messageTemplateForCode(int code);
  // `templ` with each "%@" replaced, in order, by the next parameter ("" once
  // they run out).
  static std::string fillTemplate(const std::string& templ, const std::vector<std::string>& params);

  const std::string& domain() const { return domain_; }
  int code() const { return code_; }
  const std::string& localizedDescription() const { return message_; }
  const std::string& message() const { return message_; }
  // "Error Domain=<domain> Code=<code> \"<message>\"" for logs.
  std::string description() const;

  bool operator==(const QBError&) const = default;

 private:
  std::string domain_;
  int code_ = 0;
  std::string message_;
};

#pragma once
#include <exception>
#include <string>
#include <string_view>

namespace kn::json_ref {

// Raised by JsonNode: an error number, the source "JsonNode" and a description.
class JsonError : public std::exception {
 public:
  JsonError(int number, std::u16string description);

  int Number() const noexcept { return number_; }
  std::u16string_view Source() const noexcept { return u"JsonNode"; }
  const std::u16string& Description() const noexcept { return description_; }
  // "JsonNode error <number>: <description>" in UTF-8.
  const char* what() const noexcept override { return what_.c_str(); }

 private:
  int number_;
  std::u16string description_;
  std::string what_;
};

// Standard descriptions of the error numbers that carry no text of their own.
inline constexpr std::u16string_view kInvalidArgument = u"Invalid procedure call or argument";
inline constexpr std::u16string_view kSubscriptOutOfRange = u"Subscript out of range";
inline constexpr std::u16string_view kInvalidUseOfNull = u"Invalid use of Null";
inline constexpr std::u16string_view kTypeMismatch = u"Type mismatch";
inline constexpr std::u16string_view kOutOfStackSpace = u"Out of stack space";

}  // namespace kn::json_ref

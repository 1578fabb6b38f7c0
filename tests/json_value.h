// A small JSON reader for the tests that read a program's JSON output: a
// value is null, a boolean, a number, a string, an array or an object.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

namespace gf3mq::test {

struct JsonValue {
  enum class Kind { null, boolean, number, string, array, object } kind = Kind::null;
  bool boolean = false;
  double number = 0;
  std::string string;
  std::vector<JsonValue> array;
  std::map<std::string, JsonValue> object;

  // Member `key` of an object; null when it is not one or has none.
  const JsonValue& operator[](const std::string& key) const;
};

// The value of the whole text (blanks around it allowed). False, with
// problem saying where, when the text is not exactly one JSON value.
bool parse_json(const std::string& text, JsonValue& value, std::string& problem);

}  // namespace gf3mq::test

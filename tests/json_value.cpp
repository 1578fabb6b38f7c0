#include "tests/json_value.h"

#include <cstdlib>
#include <cstring>

namespace gf3mq::test {

namespace {

class Reader {
 public:
  explicit Reader(const std::string& text) : text_(text) {}

  bool whole(JsonValue& v) {
    if (!value(v)) return false;
    blanks();
    return at_ == text_.size() || fail("text after the value");
  }
  std::string problem;

 private:
  bool fail(const std::string& what) {
    problem = what + " at offset " + std::to_string(at_);
    return false;
  }
  void blanks() {
    while (at_ < text_.size() && std::strchr(" \t\r\n", text_[at_]) != nullptr) ++at_;
  }
  bool take(char c) {
    blanks();
    if (at_ < text_.size() && text_[at_] == c) return ++at_, true;
    return false;
  }
  bool word(const char* w) {
    const std::size_t len = std::strlen(w);
    if (text_.compare(at_, len, w) != 0) return false;
    at_ += len;
    return true;
  }
  bool string(std::string& out) {
    if (!take('"')) return fail("a string expected");
    while (at_ < text_.size() && text_[at_] != '"') {
      if (static_cast<unsigned char>(text_[at_]) < 0x20) return fail("a control character in a string");
      if (text_[at_] == '\\') {
        if (++at_ == text_.size()) break;
        const char e = text_[at_];
        if (e == 'u') {
          if (at_ + 4 >= text_.size()) break;
          out += '?';  // the tests compare ASCII text only
          at_ += 4;
        } else if (std::strchr("\"\\/bfnrt", e) != nullptr) {
          out += e == 'n' ? '\n' : e == 't' ? '\t' : e;
        } else {
          return fail("a bad escape");
        }
        ++at_;
        continue;
      }
      out += text_[at_++];
    }
    return take('"') || fail("an unterminated string");
  }
  bool number(double& out) {
    const char* start = text_.c_str() + at_;
    char* end = nullptr;
    out = std::strtod(start, &end);
    if (end == start) return fail("a value expected");
    at_ += static_cast<std::size_t>(end - start);
    return true;
  }
  bool items(JsonValue& v) {
    v.kind = JsonValue::Kind::array;
    if (take(']')) return true;
    do {
      v.array.emplace_back();
      if (!value(v.array.back())) return false;
    } while (take(','));
    return take(']') || fail("',' or ']' expected");
  }
  bool members(JsonValue& v) {
    v.kind = JsonValue::Kind::object;
    if (take('}')) return true;
    do {
      std::string key;
      if (!string(key)) return false;
      if (!take(':')) return fail("':' expected");
      if (!value(v.object[key])) return false;
    } while (take(','));
    return take('}') || fail("',' or '}' expected");
  }
  bool value(JsonValue& v) {
    blanks();
    if (take('[')) return items(v);
    if (take('{')) return members(v);
    if (at_ < text_.size() && text_[at_] == '"') return v.kind = JsonValue::Kind::string, string(v.string);
    if (word("null")) return true;
    if (word("true") || word("false")) {
      v.kind = JsonValue::Kind::boolean;
      v.boolean = text_[at_ - 1] == 'e' && text_[at_ - 2] == 'u';
      return true;
    }
    v.kind = JsonValue::Kind::number;
    return number(v.number);
  }

  const std::string& text_;
  std::size_t at_ = 0;
};

}  // namespace

const JsonValue& JsonValue::operator[](const std::string& key) const {
  static const JsonValue none;
  const auto it = object.find(key);
  return it == object.end() ? none : it->second;
}

bool parse_json(const std::string& text, JsonValue& value, std::string& problem) {
  Reader reader(text);
  value = JsonValue{};
  if (reader.whole(value)) return true;
  problem = reader.problem;
  return false;
}

}  // namespace gf3mq::test

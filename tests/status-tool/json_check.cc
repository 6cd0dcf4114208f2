#include "json_check.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>

namespace tw::test {
namespace {

struct Reader {
  const std::string& s;
  size_t i = 0;
  std::map<std::string, std::string>* flat;
  std::string error;

  bool Fail(const std::string& what) {
    if (error.empty()) error = what + " at byte " + std::to_string(i);
    return false;
  }
  void Space() {
    while (i < s.size() && (s[i] == ' ' || s[i] == '\n' || s[i] == '\r' || s[i] == '\t')) ++i;
  }
  bool Eat(char c) {
    Space();
    if (i < s.size() && s[i] == c) return ++i, true;
    return false;
  }
  bool String(std::string* out) {
    if (!Eat('"')) return Fail("string expected");
    for (;;) {
      if (i >= s.size()) return Fail("unterminated string");
      unsigned char c = static_cast<unsigned char>(s[i++]);
      if (c == '"') return true;
      if (c < 0x20) return Fail("raw control character in a string");
      if (c != '\\') {
        *out += static_cast<char>(c);
        continue;
      }
      if (i >= s.size()) return Fail("unterminated escape");
      char e = s[i++];
      const std::string simple = "\"\\/bfnrt", meaning = "\"\\/\b\f\n\r\t";
      size_t k = simple.find(e);
      if (k != std::string::npos) {
        *out += meaning[k];
      } else if (e == 'u' && i + 4 <= s.size() &&
                 std::all_of(s.begin() + i, s.begin() + i + 4, ::isxdigit)) {
        *out += "\\u" + s.substr(i, 4);  // kept as written; enough for the checks
        i += 4;
      } else {
        return Fail("bad escape");
      }
    }
  }
  bool Value(const std::string& path) {
    Space();
    if (i >= s.size()) return Fail("value expected");
    if (s[i] == '{') {
      ++i;
      if (Eat('}')) return true;
      do {
        std::string key;
        if (!String(&key) || !Eat(':')) return Fail("member expected");
        if (!Value(path.empty() ? key : path + "." + key)) return false;
      } while (Eat(','));
      return Eat('}') || Fail("'}' expected");
    }
    if (s[i] == '[') {
      ++i;
      size_t n = 0;
      if (!Eat(']')) {
        do {
          if (!Value(path + "." + std::to_string(n++))) return false;
        } while (Eat(','));
        if (!Eat(']')) return Fail("']' expected");
      }
      (*flat)[path + ".#"] = std::to_string(n);
      return true;
    }
    if (s[i] == '"') {
      std::string text;
      if (!String(&text)) return false;
      (*flat)[path] = text;
      return true;
    }
    for (const char* word : {"true", "false", "null"}) {
      if (s.compare(i, std::char_traits<char>::length(word), word) == 0) {
        i += std::char_traits<char>::length(word);
        (*flat)[path] = word;
        return true;
      }
    }
    // A number as JSON writes it: -?int(.frac)?(e[+-]?digits)?
    size_t start = i;
    if (s[i] == '-') ++i;
    if (i >= s.size() || !isdigit(static_cast<unsigned char>(s[i]))) return Fail("value expected");
    if (s[i] == '0' && i + 1 < s.size() && isdigit(static_cast<unsigned char>(s[i + 1])))
      return Fail("leading zero");
    while (i < s.size() && isdigit(static_cast<unsigned char>(s[i]))) ++i;
    if (i < s.size() && s[i] == '.') {
      ++i;
      if (i >= s.size() || !isdigit(static_cast<unsigned char>(s[i]))) return Fail("bad fraction");
      while (i < s.size() && isdigit(static_cast<unsigned char>(s[i]))) ++i;
    }
    if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
      ++i;
      if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
      if (i >= s.size() || !isdigit(static_cast<unsigned char>(s[i]))) return Fail("bad exponent");
      while (i < s.size() && isdigit(static_cast<unsigned char>(s[i]))) ++i;
    }
    (*flat)[path] = s.substr(start, i - start);
    return true;
  }
};

}  // namespace

bool ParseJson(const std::string& text, std::map<std::string, std::string>* flat,
               std::string* error) {
  Reader r{text, 0, flat, ""};
  bool ok = r.Value("");
  r.Space();
  if (ok && r.i != text.size()) ok = r.Fail("text after the value");
  if (!ok) *error = r.error;
  return ok;
}

}  // namespace tw::test

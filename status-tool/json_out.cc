#include "json_out.h"

#include <cstdio>

namespace {

// Length of the UTF-8 sequence at s[i], or 0 when it is not a valid one.
size_t Utf8Length(const std::string& s, size_t i) {
  unsigned char c = static_cast<unsigned char>(s[i]);
  size_t n = c < 0x80 ? 1 : (c >> 5) == 0x6 ? 2 : (c >> 4) == 0xE ? 3 : (c >> 3) == 0x1E ? 4 : 0;
  if (n == 0 || i + n > s.size()) return 0;
  unsigned long code = n == 1 ? c : c & (0x7F >> n);
  for (size_t k = 1; k < n; ++k) {
    unsigned char d = static_cast<unsigned char>(s[i + k]);
    if ((d & 0xC0) != 0x80) return 0;
    code = code << 6 | (d & 0x3F);
  }
  // Overlong forms, surrogates and values beyond Unicode are not UTF-8.
  static const unsigned long kLeast[] = {0, 0, 0x80, 0x800, 0x10000};
  if (code < kLeast[n] || (code >= 0xD800 && code <= 0xDFFF) || code > 0x10FFFF) return 0;
  return n;
}

}  // namespace

std::string JsonOut::Quote(const std::string& value) {
  std::string q = "\"";
  for (size_t i = 0; i < value.size();) {
    unsigned char c = static_cast<unsigned char>(value[i]);
    size_t n = Utf8Length(value, i);
    if (n == 0) {
      q += "\\ufffd";
      ++i;
      continue;
    }
    if (c == '"' || c == '\\') {
      q += '\\';
      q += static_cast<char>(c);
    } else if (c == '\n') {
      q += "\\n";
    } else if (c == '\t') {
      q += "\\t";
    } else if (c < 0x20 || c == 0x7F) {
      char esc[8];
      snprintf(esc, sizeof esc, "\\u%04x", c);
      q += esc;
    } else {
      q.append(value, i, n);
    }
    i += n;
  }
  return q + "\"";
}

void JsonOut::Key(const char* key) {
  if (!first_.back()) out_ += ',';
  first_.back() = false;
  out_ += '\n';
  out_.append(2 * (first_.size() - 1), ' ');
  if (key != nullptr) out_ += Quote(key) + ": ";
}

void JsonOut::Open(const char* key, char bracket) {
  if (!out_.empty()) Key(key);
  out_ += bracket;
  first_.push_back(true);
}

void JsonOut::Close(char bracket) {
  bool empty = first_.back();
  first_.pop_back();
  if (!empty) {
    out_ += '\n';
    out_.append(2 * (first_.size() - 1), ' ');
  }
  out_ += bracket;
  if (first_.size() == 1) out_ += '\n';
}

void JsonOut::String(const char* key, const std::string& value) {
  Key(key);
  out_ += Quote(value);
}

void JsonOut::StringOrNull(const char* key, const std::string& value) {
  if (value.empty())
    Null(key);
  else
    String(key, value);
}

void JsonOut::Int(const char* key, long long value) {
  Key(key);
  out_ += std::to_string(value);
}

void JsonOut::Number(const char* key, double value) {
  Key(key);
  char text[32];
  snprintf(text, sizeof text, "%.1f", value);
  out_ += text;
}

void JsonOut::Bool(const char* key, bool value) {
  Key(key);
  out_ += value ? "true" : "false";
}

void JsonOut::Null(const char* key) {
  Key(key);
  out_ += "null";
}

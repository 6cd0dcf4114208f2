// A small JSON writer: objects, arrays, strings, numbers, booleans and null,
// with commas and nesting kept right. Strings are escaped, and bytes that
// are not UTF-8 (a trace file holds whatever was written) become U+FFFD.
#pragma once

#include <string>
#include <vector>

class JsonOut {
 public:
  void Begin(const char* key = nullptr) { Open(key, '{'); }
  void End() { Close('}'); }
  void BeginArray(const char* key) { Open(key, '['); }
  void EndArray() { Close(']'); }
  void String(const char* key, const std::string& value);
  void Int(const char* key, long long value);
  void Number(const char* key, double value);  // one decimal
  void Bool(const char* key, bool value);
  void Null(const char* key);
  // A string, or null when empty.
  void StringOrNull(const char* key, const std::string& value);

  const std::string& text() const { return out_; }

  static std::string Quote(const std::string& value);

 private:
  void Key(const char* key);
  void Open(const char* key, char bracket);
  void Close(char bracket);
  std::string out_;
  std::vector<bool> first_{true};
};

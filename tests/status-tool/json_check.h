// A strict little JSON reader for the tests: checks the syntax of a whole
// document and flattens it into "path" -> scalar text ("daemon.pid" -> "4711",
// strings unquoted and unescaped, "trace.lines.0" for array items,
// "trace.lines.#" for an array's length).
#pragma once

#include <map>
#include <string>

namespace tw::test {

// False, with *error saying where, when `text` is not one valid JSON value.
bool ParseJson(const std::string& text, std::map<std::string, std::string>* flat,
               std::string* error);

}  // namespace tw::test

// The little JSON the history needs: strings escaped for a record's line, and a record's line
// read back. A record is one flat object of strings, whole numbers, booleans and nulls.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vannor {

// `text` as a JSON string, quotes included. A byte that is not UTF-8 (a file name on Linux may
// hold any) is written as the lone surrogate \udcXX (XX the byte), which no valid text holds:
// every line stays JSON, and reading it back gives the very bytes.
void AppendJsonString(std::string& out, std::string_view text);
// `text` safe for a terminal, one line: as in JSON (backslashes, control characters, bytes that
// are not UTF-8 escaped the same way), without the quotes around it or before a quote.
std::string TerminalText(std::string_view text);

// The length of the UTF-8 sequence of two to four bytes at the start of `text`; 0 when there is
// none (an ASCII character included).
std::size_t Utf8Length(std::string_view text);

struct JsonField {
  std::string name;
  enum class Kind { String, Number, Bool, Null } kind = Kind::Null;
  std::string text;      // String
  long long number = 0;  // Number, and Bool as 0 or 1
};

// The fields of one flat object; false when `line` is not one (a torn or foreign line).
bool ParseJsonObject(std::string_view line, std::vector<JsonField>& fields);

}  // namespace vannor

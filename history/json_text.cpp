#include "history/json_text.h"

#include <cstdio>

namespace vannor {

std::size_t Utf8Length(std::string_view text) {
  const auto byte = [&text](std::size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned char lead = byte(0);
  std::size_t length = 0;
  if (lead >= 0xC2 && lead <= 0xDF) length = 2;
  if (lead >= 0xE0 && lead <= 0xEF) length = 3;
  if (lead >= 0xF0 && lead <= 0xF4) length = 4;
  if (length == 0 || text.size() < length) return 0;
  for (std::size_t i = 1; i < length; ++i) {
    if ((byte(i) & 0xC0) != 0x80) return 0;
  }
  // Overlong forms, surrogates and code points past U+10FFFF.
  if ((lead == 0xE0 && byte(1) < 0xA0) || (lead == 0xED && byte(1) > 0x9F) ||
      (lead == 0xF0 && byte(1) < 0x90) || (lead == 0xF4 && byte(1) > 0x8F)) {
    return 0;
  }
  return length;
}

namespace {

void AppendEscaped(std::string& out, unsigned code) {
  char escaped[8];
  const int written = std::snprintf(escaped, sizeof escaped, "\\u%04x", code);
  if (written > 0) out.append(escaped, static_cast<std::size_t>(written));
}

void AppendUtf8(std::string& out, unsigned code) {
  if (code < 0x80) {
    out += static_cast<char>(code);
  } else if (code < 0x800) {
    out += static_cast<char>(0xC0 | code >> 6);
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else if (code < 0x10000) {
    out += static_cast<char>(0xE0 | code >> 12);
    out += static_cast<char>(0x80 | (code >> 6 & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | code >> 18);
    out += static_cast<char>(0x80 | (code >> 12 & 0x3F));
    out += static_cast<char>(0x80 | (code >> 6 & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  }
}

// A byte that is not UTF-8 is escaped as the lone low surrogate U+DC00 plus the byte: no valid
// text holds one, and readers that know the convention (Python's "surrogateescape") undo it.
constexpr unsigned RAW_BYTE = 0xDC00;

// `text` escaped: JSON's escapes for quotes, backslashes and control characters, and RAW_BYTE
// for bytes that are not UTF-8. For a terminal the quotes stay and the C1 controls are escaped
// too, so that nothing in a name can steer it.
void Escape(std::string& out, std::string_view text, bool terminal) {
  for (std::size_t i = 0; i < text.size();) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    if ((c == '"' && !terminal) || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c < 0x20 || c == 0x7F) {
      AppendEscaped(out, c);
    } else if (c >= 0x80) {
      const std::size_t length = Utf8Length(text.substr(i));
      if (length == 0) {
        AppendEscaped(out, RAW_BYTE + c);
        ++i;
      } else if (terminal && length == 2 && c == 0xC2 &&
                 static_cast<unsigned char>(text[i + 1]) < 0xA0) {
        AppendEscaped(out, static_cast<unsigned char>(text[i + 1]));
        i += length;
      } else {
        out.append(text.substr(i, length));
        i += length;
      }
      continue;
    } else {
      out += static_cast<char>(c);
    }
    ++i;
  }
}

// Reads objects of the record's shape, one character at a time.
class Reader {
 public:
  explicit Reader(std::string_view text) : text_(text) {}

  bool Object(std::vector<JsonField>& fields) {
    if (!Take('{')) return false;
    if (Take('}')) return AtEnd();
    do {
      JsonField field;
      if (!String(field.name) || !Take(':') || !Value(field)) return false;
      fields.push_back(std::move(field));
    } while (Take(','));
    return Take('}') && AtEnd();
  }

 private:
  void Blanks() {
    while (at_ < text_.size() &&
           (text_[at_] == ' ' || text_[at_] == '\t' || text_[at_] == '\r' || text_[at_] == '\n')) {
      ++at_;
    }
  }
  bool Take(char c) {
    Blanks();
    if (at_ >= text_.size() || text_[at_] != c) return false;
    ++at_;
    return true;
  }
  bool Word(std::string_view word) {
    if (text_.substr(at_, word.size()) != word) return false;
    at_ += word.size();
    return true;
  }
  bool AtEnd() {
    Blanks();
    return at_ == text_.size();
  }
  bool Value(JsonField& field) {
    Blanks();
    if (at_ >= text_.size()) return false;
    const char c = text_[at_];
    if (c == '"') {
      field.kind = JsonField::Kind::String;
      return String(field.text);
    }
    if (Word("true") || Word("false")) {
      field.kind = JsonField::Kind::Bool;
      field.number = c == 't' ? 1 : 0;
      return true;
    }
    if (Word("null")) return true;
    field.kind = JsonField::Kind::Number;
    const bool negative = Word("-");
    const std::size_t first = at_;
    for (; at_ < text_.size() && text_[at_] >= '0' && text_[at_] <= '9'; ++at_) {
      field.number = field.number * 10 + (text_[at_] - '0');
    }
    if (negative) field.number = -field.number;
    return at_ > first && at_ - first < 19;
  }
  bool String(std::string& out) {
    if (!Take('"')) return false;
    while (at_ < text_.size()) {
      const char c = text_[at_++];
      if (c == '"') return true;
      if (static_cast<unsigned char>(c) < 0x20) return false;
      if (c != '\\') {
        out += c;
        continue;
      }
      if (at_ >= text_.size()) return false;
      const char e = text_[at_++];
      const std::string_view plain = "\"\\/bfnrt";
      const std::string_view meant = "\"\\/\b\f\n\r\t";
      if (const std::size_t which = plain.find(e); which != plain.npos) {
        out += meant[which];
      } else if (e == 'u') {
        unsigned code = 0;
        if (!Hex(code)) return false;
        Character(out, code);
      } else {
        return false;
      }
    }
    return false;
  }

  // The four digits after "\\u".
  bool Hex(unsigned& code) {
    if (at_ + 4 > text_.size()) return false;
    for (int i = 0; i < 4; ++i) {
      const char h = text_[at_++];
      const int digit = h >= '0' && h <= '9'   ? h - '0'
                        : h >= 'a' && h <= 'f' ? h - 'a' + 10
                        : h >= 'A' && h <= 'F' ? h - 'A' + 10
                                               : -1;
      if (digit < 0) return false;
      code = code * 16 + static_cast<unsigned>(digit);
    }
    return true;
  }
  // The character `code` escaped, joined with the low half that follows a high surrogate.
  void Character(std::string& out, unsigned code) {
    if (code >= 0xD800 && code <= 0xDBFF && text_.substr(at_, 2) == "\\u") {
      const std::size_t before = at_;
      at_ += 2;
      unsigned low = 0;
      if (Hex(low) && low >= 0xDC00 && low <= 0xDFFF) {
        AppendUtf8(out, 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00));
        return;
      }
      at_ = before;
    }
    if (code >= RAW_BYTE + 0x80 && code <= RAW_BYTE + 0xFF) {
      out += static_cast<char>(code - RAW_BYTE);  // a byte that was not UTF-8, as it was
    } else if (code >= 0xD800 && code <= 0xDFFF) {
      AppendUtf8(out, 0xFFFD);  // half a pair: no character of its own
    } else {
      AppendUtf8(out, code);
    }
  }

  std::string_view text_;
  std::size_t at_ = 0;
};

}  // namespace

void AppendJsonString(std::string& out, std::string_view text) {
  out += '"';
  Escape(out, text, false);
  out += '"';
}

std::string TerminalText(std::string_view text) {
  std::string shown;
  Escape(shown, text, true);
  return shown;
}

bool ParseJsonObject(std::string_view line, std::vector<JsonField>& fields) {
  fields.clear();
  return Reader(line).Object(fields);
}

}  // namespace vannor

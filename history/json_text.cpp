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
  } else {
    out += static_cast<char>(0xE0 | code >> 12);
    out += static_cast<char>(0x80 | (code >> 6 & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
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
      } else if (e == 'u' && at_ + 4 <= text_.size()) {
        unsigned code = 0;
        for (int i = 0; i < 4; ++i) {
          const char h = text_[at_++];
          const int digit = h >= '0' && h <= '9'   ? h - '0'
                            : h >= 'a' && h <= 'f' ? h - 'a' + 10
                            : h >= 'A' && h <= 'F' ? h - 'A' + 10
                                                   : -1;
          if (digit < 0) return false;
          code = code * 16 + static_cast<unsigned>(digit);
        }
        AppendUtf8(out, code);
      } else {
        return false;
      }
    }
    return false;
  }

  std::string_view text_;
  std::size_t at_ = 0;
};

}  // namespace

void AppendJsonString(std::string& out, std::string_view text) {
  out += '"';
  for (std::size_t i = 0; i < text.size();) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c < 0x20 || c == 0x7F) {
      AppendEscaped(out, c);
    } else if (c >= 0x80) {
      const std::size_t length = Utf8Length(text.substr(i));
      if (length == 0) {
        AppendEscaped(out, c);
        ++i;
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
  out += '"';
}

bool ParseJsonObject(std::string_view line, std::vector<JsonField>& fields) {
  fields.clear();
  return Reader(line).Object(fields);
}

}  // namespace vannor

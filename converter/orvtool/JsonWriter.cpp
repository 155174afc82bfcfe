#include "converter/orvtool/JsonWriter.h"

#include <cmath>
#include <cstdio>

void JsonWriter::newLine() {
  text_ += '\n';
  text_.append(2 * open_.size(), ' ');
}

void JsonWriter::beforeValue() {
  if (afterKey_) {
    afterKey_ = false;
    return;
  }
  if (open_.empty()) return;
  Container& container = open_.back();
  if (!container.empty) text_ += container.compact ? ", " : ",";
  if (!container.compact) newLine();
  container.empty = false;
}

void JsonWriter::beginObject() {
  beforeValue();
  text_ += '{';
  open_.push_back(Container());
}

void JsonWriter::endObject() {
  const bool empty = open_.back().empty;
  open_.pop_back();
  if (!empty) newLine();
  text_ += '}';
  if (open_.empty()) text_ += '\n';
}

void JsonWriter::beginArray(bool compact) {
  beforeValue();
  text_ += '[';
  open_.push_back(Container{true, compact});
}

void JsonWriter::endArray() {
  const Container closed = open_.back();
  open_.pop_back();
  if (!closed.empty && !closed.compact) newLine();
  text_ += ']';
}

void JsonWriter::key(const std::string& name) {
  beforeValue();
  quoted(name);
  text_ += ": ";
  afterKey_ = true;
}

void JsonWriter::string(const std::string& text) {
  beforeValue();
  quoted(text);
}

void JsonWriter::quoted(const std::string& text) {
  text_ += '"';
  for (const char c : text) {
    const unsigned char byte = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      text_ += '\\';
      text_ += c;
    } else if (byte < 0x20) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\u%04x", byte);
      text_ += escaped;
    } else {
      text_ += c;
    }
  }
  text_ += '"';
}

void JsonWriter::integer(long long value) {
  beforeValue();
  text_ += std::to_string(value);
}

void JsonWriter::number(double value) {
  if (!std::isfinite(value)) return null();
  beforeValue();
  char text[32];
  std::snprintf(text, sizeof text, "%.9g", value);
  text_ += text;
}

void JsonWriter::boolean(bool value) {
  beforeValue();
  text_ += value ? "true" : "false";
}

void JsonWriter::null() {
  beforeValue();
  text_ += "null";
}

void JsonWriter::stringField(const std::string& name, const std::string& value) {
  key(name);
  string(value);
}

void JsonWriter::integerField(const std::string& name, long long value) {
  key(name);
  integer(value);
}

void JsonWriter::numberField(const std::string& name, double value) {
  key(name);
  number(value);
}

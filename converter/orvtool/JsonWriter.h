// A small writer of indented JSON text: objects, arrays, strings, numbers, true/false and null,
// with the commas and escapes placed for the caller.
#pragma once

#include <string>
#include <vector>

class JsonWriter {
 public:
  void beginObject();
  void endObject();
  // compact: the elements (numbers or strings) stay on one line.
  void beginArray(bool compact = false);
  void endArray();
  // The name of the next member of the current object.
  void key(const std::string& name);
  void string(const std::string& text);
  void integer(long long value);
  // Non-finite numbers have no JSON form and are written as null.
  void number(double value);
  void boolean(bool value);
  void null();
  // A member of the current object: key and value in one call.
  void stringField(const std::string& name, const std::string& value);
  void integerField(const std::string& name, long long value);
  void numberField(const std::string& name, double value);

  const std::string& text() const { return text_; }

 private:
  void beforeValue();
  void newLine();
  void quoted(const std::string& text);

  std::string text_;
  struct Container {
    bool empty = true;  // no element written yet
    bool compact = false;
  };
  std::vector<Container> open_;
  bool afterKey_ = false;
};

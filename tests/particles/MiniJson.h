// A small JSON reader for the expectations of the reference frames (tests only).
#pragma once

#include <cstdlib>
#include <map>
#include <memory>
#include <string>
#include <vector>

struct JsonValue {
  enum Kind { Null, Bool, Number, String, Array, Object } kind = Null;
  bool boolean = false;
  std::string text;      // String; the literal digits for Number
  std::vector<JsonValue> items;
  std::map<std::string, JsonValue> members;

  long long integer() const { return std::strtoll(text.c_str(), nullptr, 10); }
  const JsonValue& operator[](const std::string& key) const {
    static const JsonValue missing;
    auto found = members.find(key);
    return found == members.end() ? missing : found->second;
  }
};

class JsonReader {
 public:
  explicit JsonReader(const std::string& source) : in(source) {}
  // False on malformed input.
  bool parse(JsonValue& out) { return value(out) && (skip(), at == in.size()); }

 private:
  void skip() {
    while (at < in.size() && (in[at] == ' ' || in[at] == '\n' || in[at] == '\r' || in[at] == '\t')) ++at;
  }
  bool literal(const char* word) {
    const std::string w(word);
    if (in.compare(at, w.size(), w) != 0) return false;
    at += w.size();
    return true;
  }
  bool string(std::string& out) {
    if (at >= in.size() || in[at] != '"') return false;
    for (++at; at < in.size(); ++at) {
      if (in[at] == '"') return ++at, true;
      if (in[at] == '\\' && ++at >= in.size()) return false;
      out += in[at];  // escapes are kept literally: the expectations use none that matter
    }
    return false;
  }
  bool value(JsonValue& out) {
    skip();
    if (at >= in.size()) return false;
    const char c = in[at];
    if (c == '{') {
      out.kind = JsonValue::Object;
      ++at;
      skip();
      if (at < in.size() && in[at] == '}') return ++at, true;
      while (true) {
        skip();
        std::string key;
        if (!string(key)) return false;
        skip();
        if (at >= in.size() || in[at++] != ':') return false;
        if (!value(out.members[key])) return false;
        skip();
        if (at < in.size() && in[at] == ',') { ++at; continue; }
        return at < in.size() && in[at++] == '}';
      }
    }
    if (c == '[') {
      out.kind = JsonValue::Array;
      ++at;
      skip();
      if (at < in.size() && in[at] == ']') return ++at, true;
      while (true) {
        out.items.emplace_back();
        if (!value(out.items.back())) return false;
        skip();
        if (at < in.size() && in[at] == ',') { ++at; continue; }
        return at < in.size() && in[at++] == ']';
      }
    }
    if (c == '"') return out.kind = JsonValue::String, string(out.text);
    if (literal("null")) return out.kind = JsonValue::Null, true;
    if (literal("true")) return out.kind = JsonValue::Bool, out.boolean = true, true;
    if (literal("false")) return out.kind = JsonValue::Bool, true;
    out.kind = JsonValue::Number;
    const size_t start = at;
    while (at < in.size() && std::string("+-0123456789.eE").find(in[at]) != std::string::npos) ++at;
    out.text = in.substr(start, at - start);
    return at > start;
  }

  const std::string& in;
  size_t at = 0;
};

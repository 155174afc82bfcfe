#include "tests/host/Field3dExpectations.h"

#include <cctype>
#include <cmath>
#include <cstdlib>
#include <functional>
#include <map>

#include "tests/particles/MiniJson.h"
#include "tests/support/TestFiles.h"

namespace {

using orv::field3d::Stored;
using orv::field3d::ValueType;

// A value with Python's distinction between int and float.
struct Number {
  double value;
  bool integer;
};

// Evaluates one expression of the JSON rules: numbers, names, ( ), unary -, * / %, + -, and the
// comparisons == != < > <= >= (giving 1 or 0 as integers).
class Expression {
 public:
  Expression(const std::string& text, const std::map<std::string, Number>& names) : text_(text), names_(names) {}

  bool evaluate(Number& out) {
    out = comparison();
    skip();
    return ok_ && at_ == text_.size();
  }

 private:
  void skip() {
    while (at_ < text_.size() && text_[at_] == ' ') ++at_;
  }
  bool take(const char* token) {
    skip();
    const size_t n = std::char_traits<char>::length(token);
    if (text_.compare(at_, n, token) != 0) return false;
    at_ += n;
    return true;
  }
  static Number arithmetic(char op, Number a, Number b) {
    const bool integer = a.integer && b.integer && op != '/';
    switch (op) {
      case '+': return {a.value + b.value, integer};
      case '-': return {a.value - b.value, integer};
      case '*': return {integer ? a.value * b.value : a.value * b.value, integer};
      case '/': return {a.value / b.value, false};
      default: {  // Python's modulo takes the divisor's sign
        double r = std::fmod(a.value, b.value);
        if (r != 0 && (r < 0) != (b.value < 0)) r += b.value;
        return {r, integer};
      }
    }
  }
  Number comparison() {
    Number left = sum();
    for (const char* op : {"==", "!=", "<=", ">=", "<", ">"}) {
      if (!take(op)) continue;
      const Number right = sum();
      const std::string o(op);
      const bool result = o == "==" ? left.value == right.value : o == "!=" ? left.value != right.value
                        : o == "<=" ? left.value <= right.value : o == ">=" ? left.value >= right.value
                        : o == "<"  ? left.value < right.value  : left.value > right.value;
      return {result ? 1.0 : 0.0, true};
    }
    return left;
  }
  Number sum() {
    Number left = product();
    while (true) {
      if (take("+")) {
        left = arithmetic('+', left, product());
      } else if (take("-")) {
        left = arithmetic('-', left, product());
      } else {
        return left;
      }
    }
  }
  Number product() {
    Number left = unary();
    while (true) {
      skip();
      if (at_ >= text_.size() || std::string("*/%").find(text_[at_]) == std::string::npos) return left;
      const char op = text_[at_++];
      left = arithmetic(op, left, unary());
    }
  }
  Number unary() {
    if (take("-")) {
      const Number value = unary();
      return {value.integer && value.value == 0 ? 0.0 : -value.value, value.integer};
    }
    return primary();
  }
  Number primary() {
    skip();
    if (take("(")) {
      const Number inner = comparison();
      ok_ = ok_ && take(")");
      return inner;
    }
    const size_t start = at_;
    if (at_ < text_.size() && (std::isdigit(static_cast<unsigned char>(text_[at_])) || text_[at_] == '.')) {
      while (at_ < text_.size() && (std::isdigit(static_cast<unsigned char>(text_[at_])) || text_[at_] == '.' || text_[at_] == 'e')) ++at_;
      const std::string digits = text_.substr(start, at_ - start);
      return {std::strtod(digits.c_str(), nullptr), digits.find_first_of(".e") == std::string::npos};
    }
    while (at_ < text_.size() && (std::isalnum(static_cast<unsigned char>(text_[at_])) || text_[at_] == '_')) ++at_;
    const auto found = names_.find(text_.substr(start, at_ - start));
    ok_ = ok_ && found != names_.end();
    return found != names_.end() ? found->second : Number{0, true};
  }

  const std::string& text_;
  const std::map<std::string, Number>& names_;
  size_t at_ = 0;
  bool ok_ = true;
};

double number(const JsonValue& value) { return std::strtod(value.text.c_str(), nullptr); }

std::array<long long, 6> box(const JsonValue& value) {
  std::array<long long, 6> out{};
  for (int a = 0; a < 3; ++a) {
    out[a] = value["min"].items[a].integer();
    out[3 + a] = value["max"].items[a].integer();
  }
  return out;
}

// Component c of a rule that is one string (scalar) or three (vector); false when not understood.
bool evaluate(const JsonValue& rule, int c, const std::map<std::string, Number>& names, double& out) {
  const JsonValue& text = rule.kind == JsonValue::Array ? rule.items[c] : rule;
  Number result;
  if (!Expression(text.text, names).evaluate(result)) return false;
  out = result.value;
  return true;
}

class LayerValues {
 public:
  LayerValues(const JsonValue& layer, ExpectedLayer& out, ValueType type) : json_(layer), out_(out), type_(type) {}

  bool fill(std::string& error) {
    const std::array<long long, 6>& w = out_.shape.window;
    const JsonValue& listed = json_["values"];
    const long long count = (w[3] - w[0] + 1) * (w[4] - w[1] + 1) * (w[5] - w[2] + 1) * out_.components;
    if (listed.kind == JsonValue::Array) {
      for (const JsonValue& v : listed.items) out_.values.push_back(Stored(type_, number(v)));
      return static_cast<long long>(out_.values.size()) == count || (error = "values of " + out_.name + " miss voxels", false);
    }
    for (long long k = w[2]; k <= w[5]; ++k) {
      for (long long j = w[1]; j <= w[4]; ++j) {
        for (long long i = w[0]; i <= w[3]; ++i) {
          for (int c = 0; c < out_.components; ++c) {
            double value = 0;
            if (!voxel(c, i, j, k, value)) return error = "the rules of " + out_.name + " are not understood", false;
            out_.values.push_back(out_.className == "MACField" ? static_cast<float>(value) : Stored(type_, value));
          }
        }
      }
    }
    return true;
  }

 private:
  std::map<std::string, Number> voxelNames(long long i, long long j, long long k) const {
    std::map<std::string, Number> names{{"i", {double(i), false}}, {"j", {double(j), false}}, {"k", {double(k), false}}};
    if (out_.className != "SparseField") return names;
    const long long order = json_["block_order"].integer();
    const std::array<long long, 6>& w = out_.shape.window;
    const long long b[3] = {(i - w[0]) >> order, (j - w[1]) >> order, (k - w[2]) >> order};
    const JsonValue& res = json_["block_res"];
    names["bi"] = {double(b[0]), true};
    names["bj"] = {double(b[1]), true};
    names["bk"] = {double(b[2]), true};
    names["block_id"] = {double(b[0] + res.items[0].integer() * (b[1] + res.items[1].integer() * b[2])), true};
    return names;
  }

  bool voxel(int c, long long i, long long j, long long k, double& out) const {
    const JsonValue& rules = json_["value"];
    if (out_.className == "MACField") return macCentre(c, i, j, k, out);
    const std::map<std::string, Number> names = voxelNames(i, j, k);
    if (out_.className == "DenseField") {
      for (const JsonValue& o : rules["overrides"].items) {
        if (o["voxel"].items[0].integer() == i && o["voxel"].items[1].integer() == j && o["voxel"].items[2].integer() == k) {
          out = number(o["value"]);
          return true;
        }
      }
      return evaluate(rules["expr"], c, names, out);
    }
    const long long id = static_cast<long long>(names.at("block_id").value);
    const JsonValue& table = json_["block_is_allocated"];
    double allocated = 0;
    if (table.kind == JsonValue::Array) {
      allocated = table.items[id].integer();
    } else if (!evaluate(rules["allocated_block_rule"], 0, names, allocated)) {
      return false;
    }
    if (allocated != 0) {
      double constant = 0;
      if (rules["constant_block_rule"].kind == JsonValue::String && !evaluate(rules["constant_block_rule"], 0, names, constant)) return false;
      return evaluate(constant != 0 ? rules["constant_block_value"] : rules["allocated_voxel_value"], c, names, out);
    }
    const JsonValue& empties = json_["block_empty_values"];
    if (empties.kind == JsonValue::Array) {
      const JsonValue& e = empties.items[id];
      out = number(e.kind == JsonValue::Array ? e.items[c] : e);
      return true;
    }
    return evaluate(rules["block_empty_value"], c, names, out);
  }

  // Field3D's cell value of a MAC layer: the two faces' mean in the element type.
  bool macCentre(int c, long long i, long long j, long long k, double& out) const {
    static const char* const kFaces[3] = {"u_data", "v_data", "w_data"};
    const JsonValue& rule = json_["value"][kFaces[c]]["expr"];
    double a = 0, b = 0;
    const long long next[3] = {i + (c == 0), j + (c == 1), k + (c == 2)};
    if (!evaluate(rule, 0, voxelNames(i, j, k), a) || !evaluate(rule, 0, voxelNames(next[0], next[1], next[2]), b)) return false;
    a = Stored(type_, a);
    b = Stored(type_, b);
    out = type_ == ValueType::Double ? (a + b) * 0.5 : Stored(type_, static_cast<float>(a + b) * 0.5);
    return true;
  }

  const JsonValue& json_;
  ExpectedLayer& out_;
  ValueType type_;
};

orv::field3d::TestMapping mappingOf(const JsonValue& mapping) {
  orv::field3d::TestMapping out;
  if (mapping["mapping_type"].text == "NullFieldMapping") out.kind = orv::field3d::MappingKind::Null;
  for (const JsonValue& sample : mapping["time_samples"].items) {
    std::array<double, 16> m{};
    for (int r = 0; r < 4; ++r) {
      for (int c = 0; c < 4; ++c) m[4 * r + c] = number(sample["local_to_world"].items[r].items[c]);
    }
    out.samples.push_back({static_cast<float>(number(sample["time"])), m});
  }
  return out;
}

}  // namespace

float ExpectedLayer::at(int c, long long i, long long j, long long k) const {
  const std::array<long long, 6>& w = shape.window;
  const long long voxel = (i - w[0]) + (w[3] - w[0] + 1) * ((j - w[1]) + (w[4] - w[1] + 1) * (k - w[2]));
  return values[voxel * components + c];
}

bool LoadExpectedFiles(const std::string& json, std::vector<ExpectedFile>& files, std::string& error) {
  const std::string text = ReadWholeFile(json);
  JsonValue root;
  if (text.empty() || !JsonReader(text).parse(root)) return error = "cannot read " + json, false;
  std::vector<std::string> sameAs;
  for (const JsonValue& file : root["files"].items) {
    ExpectedFile expected;
    expected.file = file["file"].text;
    expected.mustFail = file["expect"]["reader"].text == "error";
    for (const JsonValue& partition : file["partitions"].items) {
      ExpectedPartition p;
      p.group = partition["ogawa_group"].text;
      if (p.group.empty()) p.group = partition["hdf5_group"].text.substr(1);
      p.mapping = mappingOf(partition["mapping"]);
      for (const JsonValue& layer : partition["layers"].items) {
        ExpectedLayer l;
        l.name = layer["name"].text;
        l.className = layer["class_name"].text;
        l.components = static_cast<int>(layer["components"].integer());
        l.readable = layer["readable"].kind != JsonValue::Bool || layer["readable"].boolean;
        l.shape.name = l.name;
        const long long bits = layer["bits_per_component"].integer();
        const ValueType type = bits == 16 ? ValueType::Half : (bits == 64 ? ValueType::Double : ValueType::Float);
        if (l.readable) {
          l.shape.extents = box(layer["extents"]);
          l.shape.window = box(layer["data_window"]);
          if (!LayerValues(layer, l, type).fill(error)) return false;
        }
        p.layers.push_back(std::move(l));
      }
      expected.partitions.push_back(std::move(p));
    }
    files.push_back(std::move(expected));
    sameAs.push_back(file["same_content_as"].text);
  }
  // A file listed as the same content as another takes that one's layers.
  for (size_t f = 0; f < files.size(); ++f) {
    for (const ExpectedFile& twin : files) {
      if (files[f].partitions.empty() && twin.file == sameAs[f]) files[f].partitions = twin.partitions;
    }
  }
  return true;
}

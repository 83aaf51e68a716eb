#include "host/export_table.h"

#include <cctype>

namespace kv::host {
namespace {

std::string Lower(std::string s) {
  for (char& c : s)
    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

const char* ResultKindName(ResultKind k) {
  switch (k) {
    case ResultKind::Void:
      return "nothing";
    case ResultKind::Integer:
      return "integer";
    case ResultKind::Text:
      return "text";
    case ResultKind::Pointer:
      return "pointer";
    case ResultKind::Window:
      return "window";
    case ResultKind::Unsupported:
      return "unsupported";
  }
  return "?";
}

// An integer of `bits` bits accepts its signed and its unsigned range, so
// both -1 and 0xFFFFFFFF reach a DWORD as the same bits.
bool FitsInteger(const ParamInfo& p, long long v) {
  if (p.isBool) return v == 0 || v == 1;
  if (p.bits >= 64) return true;
  long long lowest = -(1LL << (p.bits - 1));
  long long highest = static_cast<long long>((1ULL << p.bits) - 1);
  return v >= lowest && v <= highest;
}

std::string Ordinal(size_t i) { return "argument " + std::to_string(i + 1); }

}  // namespace

void ExportTable::Add(ExportInfo info) {
  byName_[info.name] = exports_.size();
  exports_.push_back(std::move(info));
}

const ExportInfo* ExportTable::Find(const std::string& name) const {
  auto it = byName_.find(name);
  return it == byName_.end() ? nullptr : &exports_[it->second];
}

const ExportInfo* ExportTable::FindIgnoringCase(const std::string& name) const {
  std::string want = Lower(name);
  for (const ExportInfo& e : exports_) {
    if (Lower(e.name) == want) return &e;
  }
  return nullptr;
}

const char* ParamKindName(const ParamInfo& p) {
  switch (p.kind) {
    case ParamKind::Integer:
      return p.isBool ? "boolean (0 or 1)" : "integer";
    case ParamKind::String:
      return "string";
    case ParamKind::Buffer:
      return p.text ? "text buffer" : "byte buffer";
    case ParamKind::Window:
      return "window";
    case ParamKind::Unsupported:
      return "unsupported";
  }
  return "?";
}

std::string DescribeExport(const ExportInfo& info) {
  std::string s = info.name + "(";
  for (size_t i = 0; i < info.params.size(); ++i) {
    if (i) s += ", ";
    s += ParamKindName(info.params[i]);
    if (info.params[i].kind == ParamKind::Integer && !info.params[i].isBool) {
      s += std::to_string(info.params[i].bits);
    }
  }
  s += ") -> ";
  s += ResultKindName(info.result);
  if (!info.available) s += "  [missing from the library]";
  return s;
}

bool CheckArgs(const ExportInfo& info, const std::vector<Arg>& args,
               std::string* error) {
  if (args.size() != info.params.size()) {
    *error = info.name + " takes " + std::to_string(info.params.size()) +
             " argument" + (info.params.size() == 1 ? "" : "s") + ", " +
             std::to_string(args.size()) + " given (" + DescribeExport(info) +
             ")";
    return false;
  }
  for (size_t i = 0; i < args.size(); ++i) {
    const ParamInfo& p = info.params[i];
    const Arg& a = args[i];
    bool ok = false;
    std::string detail;
    switch (p.kind) {
      case ParamKind::Integer:
        ok = a.kind == Arg::Kind::Integer;
        if (ok && !FitsInteger(p, a.integer)) {
          *error = Ordinal(i) + " of " + info.name + ": " + a.source +
                   " does not fit a " +
                   (p.isBool ? std::string("boolean")
                             : std::to_string(p.bits) + "-bit integer");
          return false;
        }
        break;
      case ParamKind::String:
        ok = a.kind == Arg::Kind::String || a.kind == Arg::Kind::Null;
        break;
      case ParamKind::Buffer:
        ok = a.kind == Arg::Kind::Buffer || a.kind == Arg::Kind::Null ||
             (p.text && a.kind == Arg::Kind::String);
        break;
      case ParamKind::Window:
        ok = a.kind == Arg::Kind::Window || a.kind == Arg::Kind::Null ||
             (a.kind == Arg::Kind::Integer && a.integer == 0);
        break;
      case ParamKind::Unsupported:
        *error = Ordinal(i) + " of " + info.name +
                 " has a type a script cannot pass";
        return false;
    }
    if (!ok) {
      *error = Ordinal(i) + " of " + info.name + " must be a " +
               ParamKindName(p) + ", not " + ArgKindName(a.kind) + " " +
               a.source;
      return false;
    }
  }
  return true;
}

}  // namespace kv::host

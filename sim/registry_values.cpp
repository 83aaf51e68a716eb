// Values of registry records read and written in place, for the parts of the
// machine that keep their own records in the registry (the spooler and the
// service manager), as Windows' own services do.
#include <cstring>

#include "sim/sim_internal.h"

namespace kv::sim {

std::string StringValue(const RegNode& node, const char* name) {
  auto it = node.values.find(name);
  if (it == node.values.end() || it->second.data.empty()) return "";
  const auto& d = it->second.data;
  return std::string(
      reinterpret_cast<const char*>(d.data()),
      strnlen(reinterpret_cast<const char*>(d.data()), d.size()));
}

DWORD DwordValue(const RegNode& node, const char* name, DWORD deflt) {
  auto it = node.values.find(name);
  if (it == node.values.end() || it->second.data.size() < 4) return deflt;
  DWORD v;
  std::memcpy(&v, it->second.data.data(), 4);
  return v;
}

std::vector<std::string> MultiSzValue(const RegNode& node, const char* name) {
  std::vector<std::string> out;
  auto it = node.values.find(name);
  if (it == node.values.end()) return out;
  const auto& d = it->second.data;
  size_t i = 0;
  while (i < d.size() && d[i]) {
    const char* s = reinterpret_cast<const char*>(d.data() + i);
    const size_t n = strnlen(s, d.size() - i);
    out.emplace_back(s, n);
    i += n + 1;
  }
  return out;
}

void SetValue(RegNode* node, const char* name, DWORD type,
              std::vector<BYTE> data) {
  RegValue v;
  v.name = name;
  v.type = type;
  v.data = std::move(data);
  node->values[name] = std::move(v);
}

void SetString(RegNode* node, const char* name, const std::string& text,
               DWORD type) {
  std::vector<BYTE> d(text.begin(), text.end());
  d.push_back(0);
  SetValue(node, name, type, std::move(d));
}

void SetDword(RegNode* node, const char* name, DWORD value) {
  std::vector<BYTE> d(4);
  std::memcpy(d.data(), &value, 4);
  SetValue(node, name, REG_DWORD, std::move(d));
}

void SetMultiSz(RegNode* node, const char* name,
                const std::vector<std::string>& list) {
  std::vector<BYTE> d;
  for (const auto& s : list) {
    d.insert(d.end(), s.begin(), s.end());
    d.push_back(0);
  }
  d.push_back(0);
  SetValue(node, name, REG_MULTI_SZ, std::move(d));
}

}  // namespace kv::sim

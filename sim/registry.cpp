// The simulated registry: one tree per predefined root, handles to nodes,
// and the Reg* calls with Windows' results.
//
// Observed behaviour followed here (Windows, confirmed under Wine where Wine
// agrees; see tests/wine/probes/registry_probe.cpp):
// - names compare without regard to case and keep their first spelling;
//   sub-keys enumerate in sorted order;
// - a sub-key path with a leading backslash is refused on NT with
//   ERROR_BAD_PATHNAME; empty components (trailing or doubled backslashes)
//   are skipped;
// - RegSetValueExA of a string: NT counts a forgotten terminator when the
//   byte after the given size is NUL; 9x ignores the size and stores the
//   string up to its NUL, terminator included (so "" with size 0 is one NUL
//   byte there, and nothing at all on NT);
// - deleting a key with sub-keys: 9x deletes the tree, NT refuses with
//   ERROR_ACCESS_DENIED; a handle to a deleted key answers ERROR_KEY_DELETED
//   to everything but RegCloseKey;
// - RegQueryInfoKeyA on NT reports the longest value data in its stored
//   (UTF-16) size, twice the 8-bit bytes for strings.
#include <cstring>
#include <unordered_set>

#include "sim/sim_internal.h"
#include "sim/sim_platform.h"

namespace kv::sim {

namespace {

constexpr LONG kErrorBadPathname = 161;

bool IsStringType(DWORD type) {
  return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ;
}

const uintptr_t kRootValues[] = {0x80000000u, 0x80000001u, 0x80000002u,
                                 0x80000003u, 0x80000005u, 0x80000006u};

// Calls `visit` on every node of `tree`, without recursion (a tree can be
// deeper than the stack); stops early when `visit` answers false.
template <typename Node, typename Visit>
void ForEachNode(Node* tree, Visit visit) {
  std::vector<Node*> pending{tree};
  while (!pending.empty()) {
    Node* n = pending.back();
    pending.pop_back();
    if (!visit(n)) return;
    for (const auto& s : n->subkeys) pending.push_back(s.second.get());
  }
}

// Marks a tree taken out of the registry deleted, for the handles into it.
void MarkDeleted(RegNode* tree) {
  ForEachNode(tree, [](RegNode* n) {
    n->deleted = true;
    return true;
  });
}

// Whether any of `nodes` lies in `tree`: one walk of the tree.
bool ContainsAny(const RegNode* tree,
                 const std::unordered_set<const RegNode*>& nodes) {
  bool found = false;
  if (nodes.empty()) return false;
  ForEachNode(tree, [&](const RegNode* n) {
    found = nodes.count(n) != 0;
    return !found;
  });
  return found;
}

// The nodes the open handles of `keys` (a map of OpenKey) point at.
template <typename Keys>
std::unordered_set<const RegNode*> OpenNodes(const Keys& keys) {
  std::unordered_set<const RegNode*> nodes;
  for (const auto& k : keys) nodes.insert(k.second.node);
  return nodes;
}

// Removed trees kept alive while a handle still reaches into them.
struct DeletedKeys : SimPlatform::Extension {
  std::vector<std::unique_ptr<RegNode>> trees;
};

}  // namespace

RegNode::~RegNode() {
  std::vector<std::unique_ptr<RegNode>> pending;
  for (auto& s : subkeys) pending.push_back(std::move(s.second));
  subkeys.clear();
  while (!pending.empty()) {
    std::unique_ptr<RegNode> n = std::move(pending.back());
    pending.pop_back();
    for (auto& s : n->subkeys) pending.push_back(std::move(s.second));
    n->subkeys.clear();
  }
}

void SimPlatform::RemoveTree(RegNode* parent, const std::string& name) {
  auto it = parent->subkeys.find(name);
  std::unique_ptr<RegNode> tree = std::move(it->second);
  parent->subkeys.erase(it);
  MarkDeleted(tree.get());
  if (ContainsAny(tree.get(), OpenNodes(openKeys_)))
    extension<DeletedKeys>("registry.deleted").trees.push_back(std::move(tree));
}

void SimPlatform::ResetRegistry() {
  roots_.clear();
  openKeys_.clear();
  extension<DeletedKeys>("registry.deleted").trees.clear();
  for (uintptr_t r : kRootValues) {
    const HKEY root = reinterpret_cast<HKEY>(r);
    if (root == HKEY_DYN_DATA && !IsWin9x(version_)) continue;
    auto node = std::make_unique<RegNode>();
    node->name = RootName(root);
    roots_[r] = std::move(node);
  }
}

RegNode* SimPlatform::RootNode(HKEY root) const {
  auto it = roots_.find(reinterpret_cast<uintptr_t>(root));
  return it == roots_.end() ? nullptr : it->second.get();
}

RegNode* SimPlatform::ResolveHandle(HKEY key) const {
  if (RegNode* root = RootNode(key)) return root;
  auto it = openKeys_.find(reinterpret_cast<uintptr_t>(key));
  return it == openKeys_.end() ? nullptr : it->second.node;
}

RegNode* SimPlatform::FindKey(HKEY root, const std::string& path) const {
  RegNode* node = ResolveHandle(root);
  for (const auto& part : SplitKeyPath(path, codePage_)) {
    if (!node) return nullptr;
    auto it = node->subkeys.find(part);
    node = it == node->subkeys.end() ? nullptr : it->second.get();
  }
  return node;
}

RegNode* SimPlatform::CreateKeyPath(HKEY root, const std::string& path) {
  RegNode* node = ResolveHandle(root);
  for (const auto& part : SplitKeyPath(path, codePage_)) {
    if (!node) return nullptr;
    auto& slot = node->subkeys[part];
    if (!slot) {
      slot = std::make_unique<RegNode>();
      slot->name = part;
    }
    node = slot.get();
  }
  return node;
}

}  // namespace kv::sim

// The per-call helpers need the private members; they live in a struct the
// header befriends.
namespace kv::sim {

struct SimAccess {
  static std::string KeyArg(const SimPlatform& os, HKEY key) {
    if (IsPredefinedRoot(key)) return RootName(key);
    auto it = os.openKeys_.find(reinterpret_cast<uintptr_t>(key));
    return it != os.openKeys_.end() ? it->second.path
                                    : HexText(reinterpret_cast<uintptr_t>(key));
  }

  // Records a call on `key` that names a sub-key or value; the injected
  // error, or 0.
  static DWORD EnterNamed(SimPlatform& os, const char* call, HKEY key,
                          LPCSTR name) {
    return os.Enter(call, KeyArg(os, key) + ", " + ArgText(name));
  }

  // Records an enumeration call on `key`; the injected error, or 0.
  static DWORD EnterIndexed(SimPlatform& os, const char* call, HKEY key,
                            DWORD index) {
    return os.Enter(call, KeyArg(os, key) + ", " + std::to_string(index));
  }

  // The start of a call on the values or sub-keys of `key`: records it and
  // resolves the handle for the access `need`; an error code, or 0.
  static LONG BeginNamed(SimPlatform& os, const char* call, HKEY key,
                         LPCSTR name, REGSAM need, RegNode** node) {
    if (DWORD e = EnterNamed(os, call, key, name)) return static_cast<LONG>(e);
    return Resolve(os, key, need, node);
  }
  static LONG BeginIndexed(SimPlatform& os, const char* call, HKEY key,
                           DWORD index, REGSAM need, RegNode** node) {
    if (DWORD e = EnterIndexed(os, call, key, index))
      return static_cast<LONG>(e);
    return Resolve(os, key, need, node);
  }

  static std::string PathOf(const SimPlatform& os, HKEY key) {
    if (IsPredefinedRoot(key)) return RootName(key);
    auto it = os.openKeys_.find(reinterpret_cast<uintptr_t>(key));
    return it != os.openKeys_.end() ? it->second.path : std::string();
  }

  // The node behind a handle and whether the call may use it.
  static LONG Resolve(const SimPlatform& os, HKEY key, REGSAM need,
                      RegNode** node) {
    if (IsPredefinedRoot(key)) {
      *node = os.RootNode(key);
      return *node ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
    }
    auto it = os.openKeys_.find(reinterpret_cast<uintptr_t>(key));
    if (it == os.openKeys_.end()) return ERROR_INVALID_HANDLE;
    if (it->second.node->deleted) return ERROR_KEY_DELETED;
    if (need && !IsWin9x(os.version_) && (it->second.access & need) != need)
      return ERROR_ACCESS_DENIED;
    *node = it->second.node;
    return ERROR_SUCCESS;
  }

  // Splits a sub-key argument into components, applying the version's rule
  // for a leading backslash.
  static LONG Components(const SimPlatform& os, LPCSTR subKey,
                         std::vector<std::string>* parts) {
    parts->clear();
    if (!subKey) return ERROR_SUCCESS;
    if (subKey[0] == '\\' && !IsWin9x(os.version_)) return kErrorBadPathname;
    *parts = SplitKeyPath(subKey, os.codePage_);
    return ERROR_SUCCESS;
  }

  // Both of the above, for the calls that name a sub-key below a handle.
  static LONG ResolveBelow(const SimPlatform& os, HKEY key, LPCSTR subKey,
                           RegNode** node, std::vector<std::string>* parts) {
    if (LONG rc = Resolve(os, key, 0, node)) return rc;
    return Components(os, subKey, parts);
  }

  static HKEY NewKey(SimPlatform& os, RegNode* node, const std::string& path,
                     REGSAM access) {
    const uintptr_t h = os.NewHandle();
    SimPlatform::OpenKey k;
    k.node = node;
    k.path = path;
    k.access = access;
    os.openKeys_[h] = k;
    return reinterpret_cast<HKEY>(h);
  }

  static std::string Join(std::string path,
                          const std::vector<std::string>& parts) {
    for (const auto& p : parts) path += "\\" + p;
    return path;
  }

  // The start of RegOpenKeyExA and RegCreateKeyExA: records the call, checks
  // the out-parameter and resolves the handle and the sub-key's components.
  static LONG BeginOpen(SimPlatform& os, const char* call, HKEY key,
                        LPCSTR subKey, PHKEY result, RegNode** node,
                        std::vector<std::string>* parts) {
    if (DWORD e = EnterNamed(os, call, key, subKey))
      return static_cast<LONG>(e);
    if (!result) return static_cast<LONG>(ERROR_INVALID_PARAMETER);
    *result = nullptr;
    return ResolveBelow(os, key, subKey, node, parts);
  }

  // The existing key `parts` below `node`, or null.
  static RegNode* Walk(RegNode* node, const std::vector<std::string>& parts) {
    for (const auto& part : parts) {
      auto it = node->subkeys.find(part);
      if (it == node->subkeys.end()) return nullptr;
      node = it->second.get();
    }
    return node;
  }

  // A new handle to `node`, the key `parts` below `key`.
  static HKEY OpenBelow(SimPlatform& os, RegNode* node, HKEY key,
                        const std::vector<std::string>& parts, REGSAM sam) {
    return NewKey(os, node, Join(PathOf(os, key), parts), sam);
  }
};

LONG SimPlatform::RegOpenKeyExA(HKEY key, LPCSTR subKey, DWORD, REGSAM sam,
                                PHKEY result) {
  RegNode* node = nullptr;
  std::vector<std::string> parts;
  if (LONG rc = SimAccess::BeginOpen(*this, "RegOpenKeyExA", key, subKey,
                                     result, &node, &parts))
    return rc;
  RegNode* found = SimAccess::Walk(node, parts);
  if (!found) return static_cast<LONG>(ERROR_FILE_NOT_FOUND);
  *result = SimAccess::OpenBelow(*this, found, key, parts, sam);
  return ERROR_SUCCESS;
}

LONG SimPlatform::RegOpenKeyA(HKEY key, LPCSTR subKey, PHKEY result) {
  if (DWORD e = SimAccess::EnterNamed(*this, "RegOpenKeyA", key, subKey))
    return static_cast<LONG>(e);
  if (!result) return static_cast<LONG>(ERROR_INVALID_PARAMETER);
  // Without a sub-key the same handle comes back, not a new one.
  if (!subKey || !*subKey) {
    RegNode* node = nullptr;
    if (LONG rc = SimAccess::Resolve(*this, key, 0, &node))
      return static_cast<LONG>(rc);
    *result = key;
    return ERROR_SUCCESS;
  }
  const size_t mark = operations_.size();
  LONG rc = RegOpenKeyExA(key, subKey, 0, KEY_ALL_ACCESS, result);
  operations_.resize(mark);  // one call, one line
  return rc;
}

LONG SimPlatform::RegCreateKeyExA(HKEY key, LPCSTR subKey, DWORD, LPSTR, DWORD,
                                  REGSAM sam, LPSECURITY_ATTRIBUTES,
                                  PHKEY result, LPDWORD disposition) {
  RegNode* node = nullptr;
  std::vector<std::string> parts;
  if (LONG rc = SimAccess::BeginOpen(*this, "RegCreateKeyExA", key, subKey,
                                     result, &node, &parts))
    return rc;
  // Creating below a key needs the right to on the handle the caller holds;
  // opening what exists does not.
  const bool missing = !SimAccess::Walk(node, parts);
  if (missing && !IsWin9x(version_) && !IsPredefinedRoot(key) &&
      !(openKeys_[reinterpret_cast<uintptr_t>(key)].access &
        KEY_CREATE_SUB_KEY))
    return ERROR_ACCESS_DENIED;
  bool created = false;
  for (const auto& part : parts) {
    auto& slot = node->subkeys[part];
    if (!slot) {
      slot = std::make_unique<RegNode>();
      slot->name = part;
      created = true;
    }
    node = slot.get();
  }
  if (disposition)
    *disposition = created ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
  *result = SimAccess::OpenBelow(*this, node, key, parts, sam);
  return ERROR_SUCCESS;
}

LONG SimPlatform::RegCreateKeyA(HKEY key, LPCSTR subKey, PHKEY result) {
  if (DWORD e = SimAccess::EnterNamed(*this, "RegCreateKeyA", key, subKey))
    return static_cast<LONG>(e);
  const size_t mark = operations_.size();
  LONG rc = RegCreateKeyExA(key, subKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                            result, nullptr);
  operations_.resize(mark);
  return rc;
}

LONG SimPlatform::RegQueryValueExA(HKEY key, LPCSTR name, LPDWORD, LPDWORD type,
                                   LPBYTE data, LPDWORD size) {
  RegNode* node = nullptr;
  if (LONG rc = SimAccess::BeginNamed(*this, "RegQueryValueExA", key, name,
                                      KEY_QUERY_VALUE, &node))
    return rc;
  if (data && !size) return static_cast<LONG>(ERROR_INVALID_PARAMETER);
  auto it = node->values.find(name ? name : "");
  if (it == node->values.end()) return static_cast<LONG>(ERROR_FILE_NOT_FOUND);
  const RegValue& v = it->second;
  const DWORD needed = static_cast<DWORD>(v.data.size());
  if (type) *type = v.type;
  if (!data) {
    if (size) *size = needed;
    return ERROR_SUCCESS;
  }
  if (*size < needed) {
    *size = needed;
    return static_cast<LONG>(ERROR_MORE_DATA);
  }
  if (needed) std::memcpy(data, v.data.data(), needed);
  *size = needed;
  return ERROR_SUCCESS;
}

LONG SimPlatform::RegSetValueExA(HKEY key, LPCSTR name, DWORD, DWORD type,
                                 const BYTE* data, DWORD size) {
  if (DWORD e =
          Enter("RegSetValueExA",
                SimAccess::KeyArg(*this, key) + ", " + ArgText(name) + ", " +
                    std::to_string(type) + ", " + std::to_string(size)))
    return static_cast<LONG>(e);
  RegNode* node = nullptr;
  if (LONG rc = SimAccess::Resolve(*this, key, KEY_SET_VALUE, &node))
    return static_cast<LONG>(rc);
  if (!data && size) return static_cast<LONG>(998);  // ERROR_NOACCESS
  std::vector<BYTE> bytes;
  if (IsWin9x(version_) && (type == REG_SZ || type == REG_EXPAND_SZ)) {
    // 9x takes the string up to its NUL and ignores the size.
    const char* text = data ? reinterpret_cast<const char*>(data) : "";
    bytes.assign(text, text + std::strlen(text) + 1);
  } else {
    if (size) bytes.assign(data, data + size);
    // NT counts a forgotten terminator that is there in memory.
    if (IsStringType(type) && size && data[size - 1] != 0 && data[size] == 0)
      bytes.push_back(0);
  }
  const std::string valueName = name ? name : "";
  auto it = node->values.find(valueName);
  if (it == node->values.end()) {
    RegValue v;
    v.name = valueName;
    it = node->values.emplace(valueName, std::move(v)).first;
  }
  it->second.type = type;
  it->second.data = std::move(bytes);
  return ERROR_SUCCESS;
}

LONG SimPlatform::RegDeleteValueA(HKEY key, LPCSTR name) {
  RegNode* node = nullptr;
  if (LONG rc = SimAccess::BeginNamed(*this, "RegDeleteValueA", key, name,
                                      KEY_SET_VALUE, &node))
    return rc;
  if (!node->values.erase(name ? name : ""))
    return static_cast<LONG>(ERROR_FILE_NOT_FOUND);
  return ERROR_SUCCESS;
}

LONG SimPlatform::RegEnumKeyA(HKEY key, DWORD index, LPSTR name, DWORD size) {
  RegNode* node = nullptr;
  if (LONG rc = SimAccess::BeginIndexed(*this, "RegEnumKeyA", key, index,
                                        KEY_ENUMERATE_SUB_KEYS, &node))
    return rc;
  if (index >= node->subkeys.size())
    return static_cast<LONG>(ERROR_NO_MORE_ITEMS);
  auto it = node->subkeys.begin();
  std::advance(it, index);
  const std::string& sub = it->second->name;
  if (!name || size < sub.size() + 1) return static_cast<LONG>(ERROR_MORE_DATA);
  std::memcpy(name, sub.c_str(), sub.size() + 1);
  return ERROR_SUCCESS;
}

LONG SimPlatform::RegEnumKeyExA(HKEY key, DWORD index, LPSTR name,
                                LPDWORD nameSize, LPDWORD, LPSTR cls,
                                LPDWORD clsSize, FILETIME* lastWrite) {
  RegNode* node = nullptr;
  if (LONG rc = SimAccess::BeginIndexed(*this, "RegEnumKeyExA", key, index,
                                        KEY_ENUMERATE_SUB_KEYS, &node))
    return rc;
  if (!nameSize) return static_cast<LONG>(ERROR_INVALID_PARAMETER);
  if (index >= node->subkeys.size())
    return static_cast<LONG>(ERROR_NO_MORE_ITEMS);
  auto it = node->subkeys.begin();
  std::advance(it, index);
  const std::string& sub = it->second->name;
  // Too small: the size is left as it was (Windows and Wine).
  if (!name || *nameSize < sub.size() + 1)
    return static_cast<LONG>(ERROR_MORE_DATA);
  std::memcpy(name, sub.c_str(), sub.size() + 1);
  *nameSize = static_cast<DWORD>(sub.size());
  if (cls && clsSize && *clsSize) cls[0] = '\0';
  if (clsSize) *clsSize = 0;
  if (lastWrite) *lastWrite = FILETIME{};
  return ERROR_SUCCESS;
}

LONG SimPlatform::RegEnumValueA(HKEY key, DWORD index, LPSTR name,
                                LPDWORD nameSize, LPDWORD, LPDWORD type,
                                LPBYTE data, LPDWORD dataSize) {
  RegNode* node = nullptr;
  if (LONG rc = SimAccess::BeginIndexed(*this, "RegEnumValueA", key, index,
                                        KEY_QUERY_VALUE, &node))
    return rc;
  if (!nameSize || (data && !dataSize))
    return static_cast<LONG>(ERROR_INVALID_PARAMETER);
  if (index >= node->values.size())
    return static_cast<LONG>(ERROR_NO_MORE_ITEMS);
  auto it = node->values.begin();
  std::advance(it, index);
  const RegValue& v = it->second;
  if (!name || *nameSize < v.name.size() + 1)
    return static_cast<LONG>(ERROR_MORE_DATA);
  const DWORD needed = static_cast<DWORD>(v.data.size());
  if (data && *dataSize < needed) {
    *dataSize = needed;
    return static_cast<LONG>(ERROR_MORE_DATA);
  }
  std::memcpy(name, v.name.c_str(), v.name.size() + 1);
  *nameSize = static_cast<DWORD>(v.name.size());
  if (type) *type = v.type;
  if (data && needed) std::memcpy(data, v.data.data(), needed);
  if (dataSize) *dataSize = needed;
  return ERROR_SUCCESS;
}

LONG SimPlatform::RegQueryInfoKeyA(HKEY key, LPSTR cls, LPDWORD clsSize,
                                   LPDWORD, LPDWORD subKeys,
                                   LPDWORD maxSubKeyLen, LPDWORD maxClassLen,
                                   LPDWORD values, LPDWORD maxValueNameLen,
                                   LPDWORD maxValueLen, LPDWORD securityBytes,
                                   FILETIME* lastWrite) {
  if (DWORD e = Enter("RegQueryInfoKeyA", SimAccess::KeyArg(*this, key)))
    return static_cast<LONG>(e);
  RegNode* node = nullptr;
  if (LONG rc = SimAccess::Resolve(*this, key, KEY_QUERY_VALUE, &node))
    return static_cast<LONG>(rc);
  DWORD maxSub = 0, maxName = 0, maxData = 0;
  for (const auto& s : node->subkeys)
    maxSub = std::max<DWORD>(maxSub, static_cast<DWORD>(s.second->name.size()));
  const bool nt = !IsWin9x(version_);
  for (const auto& v : node->values) {
    maxName =
        std::max<DWORD>(maxName, static_cast<DWORD>(v.second.name.size()));
    DWORD stored = static_cast<DWORD>(v.second.data.size());
    if (nt && IsStringType(v.second.type)) stored *= 2;
    maxData = std::max(maxData, stored);
  }
  if (cls && clsSize && *clsSize) cls[0] = '\0';
  if (clsSize) *clsSize = 0;
  if (subKeys) *subKeys = static_cast<DWORD>(node->subkeys.size());
  if (maxSubKeyLen) *maxSubKeyLen = maxSub;
  if (maxClassLen) *maxClassLen = 0;
  if (values) *values = static_cast<DWORD>(node->values.size());
  if (maxValueNameLen) *maxValueNameLen = maxName;
  if (maxValueLen) *maxValueLen = maxData;
  if (securityBytes) *securityBytes = 0;
  if (lastWrite) *lastWrite = FILETIME{};
  return ERROR_SUCCESS;
}

LONG SimPlatform::RegDeleteKeyA(HKEY key, LPCSTR subKey) {
  if (DWORD e = SimAccess::EnterNamed(*this, "RegDeleteKeyA", key, subKey))
    return static_cast<LONG>(e);
  RegNode* node = nullptr;
  std::vector<std::string> parts;
  if (LONG rc = SimAccess::ResolveBelow(*this, key, subKey, &node, &parts))
    return rc;
  // Without a sub-key the key of the handle itself goes: find its parent
  // from the root by its path.
  RegNode* parent = node;
  if (parts.empty()) {
    if (IsPredefinedRoot(key)) return static_cast<LONG>(ERROR_ACCESS_DENIED);
    std::vector<std::string> full =
        SplitKeyPath(SimAccess::PathOf(*this, key), codePage_);
    HKEY root;
    if (full.size() < 2 || !ParseRoot(full[0], &root))
      return static_cast<LONG>(ERROR_INVALID_HANDLE);
    parts.assign(full.begin() + 1, full.end());
    parent = RootNode(root);
  }
  for (size_t i = 0; i + 1 < parts.size(); ++i) {
    auto it = parent->subkeys.find(parts[i]);
    if (it == parent->subkeys.end())
      return static_cast<LONG>(ERROR_FILE_NOT_FOUND);
    parent = it->second.get();
  }
  auto it = parent->subkeys.find(parts.back());
  if (it == parent->subkeys.end())
    return static_cast<LONG>(ERROR_FILE_NOT_FOUND);
  if (!it->second->subkeys.empty() && !IsWin9x(version_))
    return static_cast<LONG>(ERROR_ACCESS_DENIED);
  RemoveTree(parent, parts.back());
  return ERROR_SUCCESS;
}

LONG SimPlatform::RegCloseKey(HKEY key) {
  if (DWORD e = Enter("RegCloseKey", SimAccess::KeyArg(*this, key)))
    return static_cast<LONG>(e);
  if (IsPredefinedRoot(key)) return ERROR_SUCCESS;
  auto it = openKeys_.find(reinterpret_cast<uintptr_t>(key));
  if (it == openKeys_.end()) return static_cast<LONG>(ERROR_INVALID_HANDLE);
  const bool wasDeleted = it->second.node->deleted;
  openKeys_.erase(it);
  if (wasDeleted) {
    // Drop deleted trees that no handle reaches any more.
    auto& trees = extension<DeletedKeys>("registry.deleted").trees;
    const auto open = OpenNodes(openKeys_);
    for (size_t i = trees.size(); i-- > 0;)
      if (!ContainsAny(trees[i].get(), open))
        trees.erase(trees.begin() + static_cast<long>(i));
  }
  return ERROR_SUCCESS;
}

}  // namespace kv::sim

// The shell's browse dialog on the simulated machine: the user's answers
// are scripted (QueueBrowseChoice / QueueBrowseCancel); each dialog shown is
// recorded; a chosen item is handed out as an item list the caller frees
// through the shell's allocator.
#include <cstring>
#include <deque>
#include <map>
#include <memory>
#include <optional>

#include "sim/sim_internal.h"
#include "sim/sim_platform.h"

namespace kv::sim {
namespace {

struct ShellState : SimPlatform::Extension {
  std::deque<std::optional<std::string>> answers;  // empty optional: Cancel
  std::vector<SimPlatform::BrowseRecord> browses;
  // Each item list's bytes (its address is the list) and the item's path.
  struct Item {
    std::unique_ptr<BYTE[]> bytes;
    std::string path;
    int folder = -1;  // the CSIDL_ number of a special folder's list
  };
  std::map<uintptr_t, Item> items;
};

ShellState& Shell(SimPlatform& os) { return os.extension<ShellState>("shell"); }

}  // namespace

void SimPlatform::QueueBrowseChoice(const std::string& path) {
  Shell(*this).answers.emplace_back(path.substr(0, MAX_PATH - 1));
}

void SimPlatform::QueueBrowseCancel() {
  Shell(*this).answers.emplace_back(std::nullopt);
}

const std::vector<SimPlatform::BrowseRecord>& SimPlatform::browses() {
  return Shell(*this).browses;
}

size_t SimPlatform::LiveItemLists() { return Shell(*this).items.size(); }

LPITEMIDLIST SimPlatform::SHBrowseForFolderA(LPBROWSEINFOA info) {
  const std::string args =
      info ? HexText(reinterpret_cast<uintptr_t>(info->hwndOwner)) + ", " +
                 HexText(reinterpret_cast<uintptr_t>(info->pidlRoot)) + ", " +
                 ArgText(info->lpszTitle) + ", " + HexText(info->ulFlags)
           : std::string("NULL");
  if (Enter("SHBrowseForFolderA", args)) return nullptr;
  if (!info) {
    lastError_ = ERROR_INVALID_PARAMETER;
    return nullptr;
  }
  ShellState& shell = Shell(*this);
  auto root = shell.items.find(reinterpret_cast<uintptr_t>(info->pidlRoot));
  shell.browses.push_back(
      BrowseRecord{info->hwndOwner, reinterpret_cast<uintptr_t>(info->pidlRoot),
                   root != shell.items.end() ? root->second.folder : -1,
                   info->lpszTitle ? info->lpszTitle : "", info->ulFlags,
                   info->pszDisplayName != nullptr, info->lpfn != nullptr});
  std::optional<std::string> answer;  // no script: the user cancels
  if (!shell.answers.empty()) {
    answer = shell.answers.front();
    shell.answers.pop_front();
  }
  if (!answer) {
    RecordResult("cancelled");
    return nullptr;
  }
  // An item list of one item: a 2-byte size, the path, then the 2-byte
  // terminating zero of the list.
  const size_t size = 2 + answer->size() + 1 + 2;
  ShellState::Item item{std::make_unique<BYTE[]>(size), *answer};
  std::fill(item.bytes.get(), item.bytes.get() + size, BYTE{0});
  item.bytes[0] = static_cast<BYTE>((size - 2) & 0xFF);
  item.bytes[1] = static_cast<BYTE>((size - 2) >> 8);
  std::copy(answer->begin(), answer->end(), item.bytes.get() + 2);
  auto* list = reinterpret_cast<LPITEMIDLIST>(item.bytes.get());
  shell.items[reinterpret_cast<uintptr_t>(list)] = std::move(item);
  RecordResult(ArgText(answer->c_str()));
  return list;
}

BOOL SimPlatform::SHGetPathFromIDListA(LPCITEMIDLIST list, LPSTR path) {
  if (Enter("SHGetPathFromIDListA", HexText(reinterpret_cast<uintptr_t>(list))))
    return FALSE;
  if (!path) return FALSE;
  path[0] = '\0';
  ShellState& shell = Shell(*this);
  auto it = shell.items.find(reinterpret_cast<uintptr_t>(list));
  // Items without a file-system path (printers, network places) fail with
  // an empty path, as the shell answers them.
  if (it == shell.items.end() || it->second.path.empty()) return FALSE;
  const std::string& p = it->second.path;  // shorter than MAX_PATH
  std::copy(p.begin(), p.end(), path);
  path[p.size()] = '\0';
  return TRUE;
}

// Special folders are virtual here: each call hands out a fresh list that
// names the folder and has no file-system path.
LONG SimPlatform::SHGetSpecialFolderLocation(HWND owner, int folder,
                                             LPITEMIDLIST* list) {
  constexpr LONG kEFail = static_cast<LONG>(0x80004005u);
  constexpr LONG kEInvalidArg = static_cast<LONG>(0x80070057u);
  if (Enter("SHGetSpecialFolderLocation",
            HexText(reinterpret_cast<uintptr_t>(owner)) + ", " +
                HexText(static_cast<uintptr_t>(folder))))
    return kEFail;
  if (!list) return kEInvalidArg;
  *list = nullptr;
  ShellState& shell = Shell(*this);
  const size_t size = 2 + sizeof(int) + 2;
  ShellState::Item item{std::make_unique<BYTE[]>(size), std::string()};
  std::fill(item.bytes.get(), item.bytes.get() + size, BYTE{0});
  item.bytes[0] = static_cast<BYTE>(size - 2);
  std::memcpy(item.bytes.get() + 2, &folder, sizeof folder);
  item.folder = folder;
  *list = reinterpret_cast<LPITEMIDLIST>(item.bytes.get());
  shell.items[reinterpret_cast<uintptr_t>(*list)] = std::move(item);
  return 0;
}

void SimPlatform::SHFreeItemList(LPITEMIDLIST list) {
  if (Enter("SHFreeItemList", HexText(reinterpret_cast<uintptr_t>(list))))
    return;
  Shell(*this).items.erase(reinterpret_cast<uintptr_t>(list));
}

}  // namespace kv::sim

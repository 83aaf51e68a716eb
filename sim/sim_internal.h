// Helpers shared by the implementation files of the simulated machine.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "foundation/win32.h"
#include "sim/sim_platform.h"

namespace kv::sim {

// ASCII-only case folding: the registry and the FAT file system fold only
// A-Z/a-z in the code pages the machine simulates.
char UpperAscii(char c);
char LowerAscii(char c);
std::string UpperAscii(std::string text);
std::string LowerAscii(std::string text);

// Argument text for the operation record: "text" quoted, or NULL.
std::string ArgText(LPCSTR text);
// A number as 0x%X.
std::string HexText(uintptr_t value);

// The predefined root named "HKEY_LOCAL_MACHINE" (or "HKLM"), case
// insensitive. False for any other name.
bool ParseRoot(const std::string& name, HKEY* root);
// "HKEY_LOCAL_MACHINE" etc. for a predefined root, empty otherwise.
const char* RootName(HKEY root);
bool IsPredefinedRoot(HKEY key);

// The components of a registry path split on backslashes.
std::vector<std::string> SplitKeyPath(const std::string& path);

// Registry trees: marks a removed tree deleted; whether `node` lies in it;
// keeps a removed tree alive while a handle still reaches into it.
void MarkDeleted(RegNode* tree);
bool Contains(const RegNode* tree, const RegNode* node);
struct DeletedKeys : SimPlatform::Extension {
  std::vector<std::unique_ptr<RegNode>> trees;
};

}  // namespace kv::sim

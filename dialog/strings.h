// The installer script's 8-bit string operations.
//
// Pure functions: no platform call, no state. The texts are never null (the
// exports adapt a null argument). Text is in the system's 8-bit code page;
// bytes above 0x7F are compared as unsigned and are never case folded (the C
// runtime's lowering in the "C" locale folds A-Z only).
#pragma once

#include <cstddef>

namespace kv {

// Limits of StrFind: a needle is looked for only at the first
// kStrFindPositions start positions of the text, and a needle longer than
// kStrFindNeedleMax characters (the comparison window) is never found.
constexpr int kStrFindPositions = 245;
constexpr size_t kStrFindNeedleMax = 244;

// The export's contract: exports/dialog_exports.h (WinSub_StrCmp).
int CompareStrings(const char* a, const char* b);

// Reads the texts in place up to their terminators: no working copy is made,
// so no length can overflow one.
// The export's contract: exports/dialog_exports.h (StrFind).
int StrFind(const char* needle, const char* text);

// `dst` may be `src` or overlap it.
// The export's contract: exports/dialog_exports.h (StrTopDel).
char* StrTopDel(char* dst, const char* src, int count);

// The export's contract: exports/dialog_exports.h (DelSpace).
int DelSpace(char* text);

// The export's contract: exports/dialog_exports.h (TopStringNum).
int TopStringNum(const char* text);

}  // namespace kv

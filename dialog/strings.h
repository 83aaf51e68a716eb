// The installer script's 8-bit string operations.
//
// Pure functions: no platform call, no state. Text is in the system's 8-bit
// code page; bytes above 0x7F are compared as unsigned and are never case
// folded (the C runtime's lowering in the "C" locale folds A-Z only).
#pragma once

#include <cstddef>

namespace kv {

// Limits of StrFind: a needle is looked for only at the first
// kStrFindPositions start positions of the text, and a needle longer than
// kStrFindNeedleMax characters (the comparison window) is never found.
constexpr int kStrFindPositions = 245;
constexpr size_t kStrFindNeedleMax = 244;

// -1, 0 or 1: byte-wise comparison with bytes taken as unsigned, ending at
// the first difference or at the end of both texts.
int CompareStrings(const char* a, const char* b);

// 1 when `needle` occurs in `text` ignoring ASCII case and starting within
// the text's first 245 characters; an empty needle is always found; a needle
// over 244 characters never is. Texts of any length are read only up to
// their terminator (no working copy is made, so nothing can overflow).
int StrFind(const char* needle, const char* text);

// Copies `src` without its first `count` characters into `dst` (which may be
// `src` itself or overlap it) and returns `dst`. A count above the source's
// length leaves `dst` empty; a negative count copies the whole source.
char* StrTopDel(char* dst, const char* src, int count);

// Removes trailing and leading blanks (0x20 only; tabs stay) in place.
// 1 when text is left, 0 when the result is empty.
int DelSpace(char* text);

// 1 when the first character is an ASCII digit, else 0.
int TopStringNum(const char* text);

}  // namespace kv

// The reboot question at the end of a removal that left a deferred-deletion
// batch, and the restart itself.
#pragma once

#include <string>

#include "foundation/context.h"

namespace kv {

// Longest message file name ("UNINST_MSG_DAT") the reboot question reads
// and deletes; a longer one is refused whole.
constexpr size_t kMessageFileNameLimit = 48;

// The box's caption and text when no message file is named.
constexpr char kRebootCaption[] = "Confirm";
constexpr char kRebootText[] =
    "To complete uninstallation, restart of Windows is needed.\r\n"
    "Do you restart now?";
// Longest caption, and longest two text lines together, a message file may
// give (the caption is cut at a character boundary; longer lines give the
// built-in question).
constexpr size_t kRebootCaptionLimit = 51;
constexpr size_t kRebootLinesLimit = 252;

// Asks whether Windows may restart now (caption and text from the message
// file the uninstall setup files name, used once and deleted, or built in);
// on Yes restarts. Asks nothing when a named message file or the batch is
// missing.
void AskReboot(Context& ctx);

// Restarts Windows at once, with force; on the NT family the shutdown
// privilege is enabled in the process token first.
void RestartWindows(Context& ctx);

// `text` cut to at most `limit` bytes without splitting a double-byte
// character of the system code page.
std::string CutAtCharacter(Context& ctx, const std::string& text, size_t limit);

}  // namespace kv

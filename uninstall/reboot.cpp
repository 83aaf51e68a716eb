#include "uninstall/reboot.h"

#include <cstdlib>

#include "foundation/diagnostics.h"
#include "foundation/handles.h"
#include "foundation/oskind.h"
#include "uninstall/batch.h"
#include "uninstall/removal_guard.h"

namespace kv {

namespace {

// The message file's setting as the uninstall setup files give it, whole
// (a name past kMessageFileNameLimit is refused, never cut).
std::string MessageFileSetting(Context& ctx, const char* setupFile,
                               const char* deflt) {
  char value[MAX_PATH + 1] = {};
  ctx.os.GetPrivateProfileStringA("UninstName", "UNINST_MSG_DAT", deflt, value,
                                  sizeof value, setupFile);
  return value;
}

// A number names no message file: the next setup file is asked.
bool NamesNoFile(const std::string& value) {
  return std::strtol(value.c_str(), nullptr, 10) != 0;
}

std::string ReadMessage(Context& ctx, const std::string& file,
                        const char* key) {
  char value[260] = {};
  ctx.os.GetPrivateProfileStringA("String", key, "", value, sizeof value,
                                  file.c_str());
  return value;
}

}  // namespace

std::string CutAtCharacter(Context& ctx, const std::string& text,
                           size_t limit) {
  size_t end = 0;
  while (end < text.size()) {
    const bool lead = ctx.os.IsDBCSLeadByte(static_cast<BYTE>(text[end])) &&
                      end + 1 < text.size();
    const size_t next = end + (lead ? 2 : 1);
    if (next > limit) break;
    end = next;
  }
  return text.substr(0, end);
}

void AskReboot(Context& ctx) {
  std::string value = MessageFileSetting(ctx, "vt3eins.sii", "");
  if (NamesNoFile(value)) value = MessageFileSetting(ctx, "vt3dins.sii", "1");
  if (NamesNoFile(value)) value = MessageFileSetting(ctx, "vt3hins.sii", "1");

  std::string caption = kRebootCaption;
  std::string text = kRebootText;
  if (!NamesNoFile(value)) {
    // The file is deleted once read: a name that leaves the system
    // directory would delete another file.
    if (value.size() > kMessageFileNameLimit ||
        !IsPlainFileName(ctx.os, value)) {
      if (!value.empty())
        DebugTrace(ctx, "UNINST_MSG_DAT is not a file name: %s\n",
                   value.c_str());
      return;
    }
    const std::string system = SystemDirectory(ctx);
    if (system.empty()) return;
    const std::string file = system + "\\" + value;
    const std::string batch = BatchPath(ctx);
    if (!CanOpenForReading(ctx, file) || batch.empty() ||
        !CanOpenForReading(ctx, batch))
      return;
    const std::string line1 = ReadMessage(ctx, file, "STR_Reboot_1");
    const std::string line2 = ReadMessage(ctx, file, "STR_Reboot_2");
    const std::string title = ReadMessage(ctx, file, "STR_Reboot_TITLE");
    // Only the product's message file is used and deleted: one that holds
    // the question. The batch, or a file of Windows' that a setup file
    // names, holds none and stays; the built-in question is asked.
    if (EqualNoCase(ctx.os, value, kBatchFileName) ||
        (line1.empty() && line2.empty() && title.empty())) {
      DebugTrace(ctx, "UNINST_MSG_DAT is no message file, kept: %s\n",
                 value.c_str());
    } else {
      // A cut question could read as another one: the built-in one is
      // asked.
      if (line1.size() + line2.size() <= kRebootLinesLimit) {
        caption = CutAtCharacter(ctx, title, kRebootCaptionLimit);
        text = line1 + "\r\n" + line2 + "\n";
      } else {
        DebugTrace(ctx, "%s: reboot question too long\n", file.c_str());
      }
      if (!DeleteOwnedFile(ctx, system, value))
        DebugTraceLastError(ctx, "Message file Delete Fail ErrMsg[0x%x]\n");
    }
  }
  if (ctx.os.MessageBoxA(nullptr, text.c_str(), caption.c_str(), MB_YESNO) ==
      IDYES)
    RestartWindows(ctx);
}

void RestartWindows(Context& ctx) {
  switch (GetOSKind(ctx)) {
    case OsKind::NT4:
    case OsKind::Win2000:
    case OsKind::XP: {
      KernelHandle token(ctx.os);
      if (ctx.os.OpenProcessToken(ctx.os.GetCurrentProcess(),
                                  TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY,
                                  token.out())) {
        TOKEN_PRIVILEGES privileges = {};
        if (ctx.os.LookupPrivilegeValueA(nullptr, SE_SHUTDOWN_NAME,
                                         &privileges.Privileges[0].Luid)) {
          privileges.PrivilegeCount = 1;
          privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
          ctx.os.AdjustTokenPrivileges(token.get(), FALSE, &privileges, 0,
                                       nullptr, nullptr);
        }
      }
      ctx.os.ExitWindowsEx(EWX_REBOOT | EWX_FORCE, 0);
      break;
    }
    case OsKind::Win9x:
      ctx.os.ExitWindowsEx(EWX_REBOOT | EWX_FORCE, 0);
      break;
    case OsKind::Other:
      break;
  }
}

}  // namespace kv

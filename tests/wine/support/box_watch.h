// A watcher for the message boxes the library shows: on a thread of its own
// it waits (up to 10 s) for a box with the caption, reads it and presses a
// button (OK unless told otherwise), so that the call that showed the box
// returns with that answer.
#pragma once

#include <windows.h>

#include <string>

namespace kvwine {

// What the watcher saw of the box.
struct BoxSeen {
  std::string caption;
  std::string text;
  bool found = false;
  bool pressed = false;  // the button was posted to it
};

class BoxWatch {
 public:
  // Starts watching for a box captioned `caption` (kept, not copied) that
  // is to be answered with `button` (IDOK, IDYES, IDNO, ...).
  explicit BoxWatch(const char* caption, int button = IDOK);
  ~BoxWatch() { Wait(); }
  BoxWatch(const BoxWatch&) = delete;
  BoxWatch& operator=(const BoxWatch&) = delete;

  // Whether the watcher thread runs at all.
  bool started() const { return thread_ != nullptr; }
  // Waits for the watcher to finish (up to 15 s) and tells what it saw.
  const BoxSeen& Wait();
  // Ends the watch early: after a call that was to show no box has
  // returned, there is nothing left to wait for.
  void Stop() { InterlockedExchange(&stop_, 1); }

 private:
  static DWORD WINAPI Run(LPVOID param);

  const char* caption_;
  int button_;
  BoxSeen seen_;
  LONG volatile stop_ = 0;
  HANDLE thread_;
};

}  // namespace kvwine

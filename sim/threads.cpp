// Threads of the simulated machine: real threads run one at a time on the
// virtual clock (see SimPlatform's Threads section).
//
// Exactly one thread of the machine holds the turn. It gives the turn away
// only in SleepOnClock or a wait on a thread, or by ending; the scheduler
// then picks the waiting thread with the earliest wake time (ties: the one
// that began waiting first), moves the clock to that time and hands the
// turn over. All of the machine's state is therefore touched by one thread
// at a time, and every hand-over goes through the scheduler's mutex, which
// orders the threads' accesses.
#include "sim/threads.h"

#include <condition_variable>
#include <limits>
#include <mutex>
#include <thread>

#include "sim/sim_internal.h"

namespace kv::sim {
namespace {

// Unwinds a thread that is still waiting when the machine goes.
struct ThreadEnded {};

constexpr uint64_t kNever = std::numeric_limits<uint64_t>::max();
constexpr DWORD kStillActive = 259;
constexpr DWORD kErrorPossibleDeadlock = 1131;
// What one Sleep(0) of a spinning thread costs on the clock: small against
// a tick of 1 ms, large enough that a spinning thread does not flood the
// operation record.
constexpr uint64_t kSpinUs = 100;

struct SimThread {
  DWORD id = 0;
  uintptr_t handle = 0;
  bool handleOpen = false;
  LPTHREAD_START_ROUTINE start = nullptr;
  LPVOID parameter = nullptr;
  bool waiting = false;  // in a wait, ready to be picked once due
  uint64_t wakeUs = 0;
  uint64_t order = 0;                      // when it began waiting
  const SimThread* joining = nullptr;      // waits for this thread's end
  const struct SimEvent* event = nullptr;  // waits for this event
  bool ended = false;
  bool endRequested = false;
  DWORD lastError = 0;  // kept while another thread runs
  DWORD exitCode = kStillActive;
  std::thread thread;
};

// An event of CreateEventA. Kept until the machine goes, so that a thread
// still waiting on a closed event holds a valid record.
struct SimEvent {
  uintptr_t handle = 0;
  bool open = true;
  bool manualReset = false;
  bool signaled = false;
};

// The calling thread's record, for threads the machine started.
thread_local SimThread* tCurrent = nullptr;

struct Scheduler : SimPlatform::Extension {
  std::mutex mutex;
  std::condition_variable turn;
  SimThread first;  // every thread the machine did not start
  std::vector<std::unique_ptr<SimThread>> threads;
  std::vector<std::unique_ptr<SimEvent>> events;
  SimThread* running = &first;
  uint64_t nowUs = 0;
  uint64_t order = 0;
  DWORD nextId = 0x400;
  bool closing = false;
  // The machine's clock and last-error words, kept in step with the turn.
  DWORD* clockMs = nullptr;
  DWORD* lastError = nullptr;

  ~Scheduler() override { EndAll(); }

  SimThread* Self() { return tCurrent ? tCurrent : &first; }

  bool AnyAlive() const {
    for (const auto& t : threads)
      if (!t->ended) return true;
    return false;
  }

  // The clock as the machine shows it may have been set directly; the
  // scheduler follows it.
  void SyncClock() {
    if (static_cast<DWORD>(nowUs / 1000) != *clockMs)
      nowUs = static_cast<uint64_t>(*clockMs) * 1000;
  }

  // Picks the waiting thread due first and hands it the turn. Called with
  // the lock held by the thread giving the turn away.
  void HandOver() {
    SimThread* next = nullptr;
    auto consider = [&](SimThread* t) {
      if (!t->waiting) return;
      if (!next || t->wakeUs < next->wakeUs ||
          (t->wakeUs == next->wakeUs && t->order < next->order))
        next = t;
    };
    consider(&first);
    for (auto& t : threads) consider(t.get());
    // Someone always waits: the turn is given away only by a thread that
    // waits or ends, and the first thread never ends.
    if (!next) next = &first;
    if (next->wakeUs != kNever && next->wakeUs > nowUs) nowUs = next->wakeUs;
    *clockMs = static_cast<DWORD>(nowUs / 1000);
    next->waiting = false;
    next->joining = nullptr;
    next->event = nullptr;
    running = next;
    turn.notify_all();
  }

  // The running thread waits until `wakeUs` (or the end of `joining`) and
  // returns once it has the turn again.
  void Wait(std::unique_lock<std::mutex>& lock, SimThread* self,
            uint64_t wakeUs, const SimThread* joining) {
    self->lastError = *lastError;
    self->waiting = true;
    self->wakeUs = wakeUs;
    self->order = ++order;
    self->joining = joining;
    HandOver();
    turn.wait(lock, [&] { return running == self; });
    *lastError = self->lastError;
    if (self->endRequested) throw ThreadEnded{};
  }

  void Run(SimThread* self) {
    tCurrent = self;
    std::unique_lock<std::mutex> lock(mutex);
    turn.wait(lock, [&] { return running == self; });
    DWORD code = 0;
    if (!self->endRequested) {
      *lastError = 0;
      lock.unlock();
      try {
        code = self->start(self->parameter);
      } catch (const ThreadEnded&) {
        code = 0;
      }
      lock.lock();
    }
    self->ended = true;
    self->exitCode = code;
    // A thread waiting for this one is due now.
    for (auto& t : threads)
      if (t->waiting && t->joining == self) t->wakeUs = nowUs;
    if (first.waiting && first.joining == self) first.wakeUs = nowUs;
    if (closing) {
      running = &first;
      turn.notify_all();
    } else {
      HandOver();
    }
  }

  // Ends every thread still alive at its wait, then joins them all. Runs on
  // the first thread, which has the turn.
  void EndAll() {
    std::unique_lock<std::mutex> lock(mutex);
    closing = true;
    for (auto& t : threads) {
      if (t->ended) continue;
      t->endRequested = true;
      running = t.get();
      turn.notify_all();
      turn.wait(lock, [&] { return t->ended; });
    }
    lock.unlock();
    for (auto& t : threads)
      if (t->thread.joinable()) t->thread.join();
  }

  SimEvent* FindEvent(HANDLE handle) {
    const auto h = reinterpret_cast<uintptr_t>(handle);
    for (auto& e : events)
      if (e->open && e->handle == h) return e.get();
    return nullptr;
  }

  // Whether a thread other than `self` is alive to run.
  bool OtherAlive(const SimThread* self) const {
    if (self != &first) return true;
    return AnyAlive();
  }

  SimThread* FindHandle(HANDLE handle) {
    const auto h = reinterpret_cast<uintptr_t>(handle);
    for (auto& t : threads)
      if (t->handleOpen && t->handle == h) return t.get();
    return nullptr;
  }
};

Scheduler& SchedulerOf(SimPlatform& os) {
  return os.extension<Scheduler>("threads");
}

}  // namespace

void SimPlatform::SleepOnClock(DWORD milliseconds) {
  Scheduler& s = SchedulerOf(*this);
  s.clockMs = &clockMs_;
  s.lastError = &lastError_;
  std::unique_lock<std::mutex> lock(s.mutex);
  s.SyncClock();
  const uint64_t span = static_cast<uint64_t>(milliseconds) * 1000;
  if (!s.AnyAlive()) {
    // One thread: time passes at once.
    s.nowUs += span;
    clockMs_ = static_cast<DWORD>(s.nowUs / 1000);
    return;
  }
  SimThread* self = s.Self();
  uint64_t wake = s.nowUs + span;
  if (milliseconds == 0) {
    // Sleep(0) gives the turn to a thread due now; with none, the caller
    // spins, and spinning takes time.
    bool otherDue = s.first.waiting && s.first.wakeUs <= s.nowUs;
    for (auto& t : s.threads)
      otherDue = otherDue || (t->waiting && t->wakeUs <= s.nowUs);
    if (!otherDue) wake = s.nowUs + kSpinUs;
  }
  s.Wait(lock, self, wake, nullptr);
}

HANDLE SimPlatform::CreateThread(LPSECURITY_ATTRIBUTES, SIZE_T stack,
                                 LPTHREAD_START_ROUTINE start, LPVOID parameter,
                                 DWORD flags, LPDWORD threadId) {
  if (Enter("CreateThread", std::to_string(stack) + ", " + HexText(flags)))
    return nullptr;
  if (!start) {
    lastError_ = ERROR_INVALID_PARAMETER;
    return nullptr;
  }
  constexpr DWORD kCreateSuspended = 0x4;
  if (flags & kCreateSuspended) {
    // Not modelled: nothing in the library starts a thread suspended.
    lastError_ = ERROR_NOT_SUPPORTED;
    return nullptr;
  }
  Scheduler& s = SchedulerOf(*this);
  s.clockMs = &clockMs_;
  s.lastError = &lastError_;
  auto record = std::make_unique<SimThread>();
  SimThread* t = record.get();
  t->start = start;
  t->parameter = parameter;
  t->handle = NewHandle();
  t->handleOpen = true;
  {
    std::lock_guard<std::mutex> lock(s.mutex);
    s.SyncClock();
    t->id = (s.nextId += 4);
    // Ready at once; it runs when the creator next waits.
    t->waiting = true;
    t->wakeUs = s.nowUs;
    t->order = ++s.order;
    s.threads.push_back(std::move(record));
  }
  t->thread = std::thread([&s, t] { s.Run(t); });
  if (threadId) *threadId = t->id;
  RecordResult(HexText(t->handle));
  return reinterpret_cast<HANDLE>(t->handle);
}

namespace {

// The number of the machine's threads for which `counts` holds.
template <typename Predicate>
size_t CountThreads(SimPlatform& os, Predicate counts) {
  Scheduler& s = SchedulerOf(os);
  std::lock_guard<std::mutex> lock(s.mutex);
  size_t n = 0;
  for (const auto& t : s.threads) n += counts(*t) ? 1 : 0;
  return n;
}

}  // namespace

size_t SimPlatform::LiveThreads() {
  return CountThreads(*this, [](const auto& t) { return !t.ended; });
}

size_t SimPlatform::OpenThreadHandles() {
  return CountThreads(*this, [](const auto& t) { return t.handleOpen; });
}

size_t SimPlatform::OpenEventHandles() {
  Scheduler& s = SchedulerOf(*this);
  std::lock_guard<std::mutex> lock(s.mutex);
  size_t n = 0;
  for (const auto& e : s.events) n += e->open ? 1 : 0;
  return n;
}

HANDLE SimPlatform::CreateEventA(LPSECURITY_ATTRIBUTES, BOOL manualReset,
                                 BOOL initialState, LPCSTR name) {
  if (Enter("CreateEventA", std::to_string(manualReset) + ", " +
                                std::to_string(initialState) + ", " +
                                ArgText(name)))
    return nullptr;
  if (name) {
    // Not modelled: nothing in the library shares an event by name.
    lastError_ = ERROR_NOT_SUPPORTED;
    return nullptr;
  }
  Scheduler& s = SchedulerOf(*this);
  auto event = std::make_unique<SimEvent>();
  event->handle = NewHandle();
  event->manualReset = manualReset != FALSE;
  event->signaled = initialState != FALSE;
  const uintptr_t handle = event->handle;
  {
    std::lock_guard<std::mutex> lock(s.mutex);
    s.events.push_back(std::move(event));
  }
  lastError_ = ERROR_SUCCESS;
  RecordResult(HexText(handle));
  return reinterpret_cast<HANDLE>(handle);
}

BOOL SimPlatform::SetEvent(HANDLE event) {
  if (Enter("SetEvent", HexText(reinterpret_cast<uintptr_t>(event))))
    return FALSE;
  Scheduler& s = SchedulerOf(*this);
  std::lock_guard<std::mutex> lock(s.mutex);
  SimEvent* e = s.FindEvent(event);
  if (!e) {
    lastError_ = ERROR_INVALID_HANDLE;
    return FALSE;
  }
  e->signaled = true;
  // Its waiters are due now; they run when the caller next waits, as on a
  // single processor.
  s.SyncClock();
  auto wake = [&](SimThread* t) {
    if (t->waiting && t->event == e && t->wakeUs > s.nowUs) t->wakeUs = s.nowUs;
  };
  wake(&s.first);
  for (auto& t : s.threads) wake(t.get());
  return TRUE;
}

bool CloseThreadHandle(SimPlatform& os, HANDLE handle) {
  Scheduler& s = SchedulerOf(os);
  std::lock_guard<std::mutex> lock(s.mutex);
  if (SimEvent* e = s.FindEvent(handle)) {
    e->open = false;
    return true;
  }
  SimThread* t = s.FindHandle(handle);
  if (!t) return false;
  t->handleOpen = false;
  return true;
}

namespace {

// Takes the signal of `event` (an auto-reset event is reset by the waiter it
// releases); WAIT_TIMEOUT when it is not signalled.
DWORD TakeSignal(SimEvent* event) {
  if (!event->signaled) return WAIT_TIMEOUT;
  if (!event->manualReset) event->signaled = false;
  return WAIT_OBJECT_0;
}

// Waits on the virtual clock until `event` is signalled or `milliseconds`
// have passed. A wait with no other thread to signal the event lets its
// time pass at once, as Sleep does.
DWORD WaitForEvent(Scheduler& s, std::unique_lock<std::mutex>& lock,
                   SimEvent* event, DWORD milliseconds) {
  if (event->signaled || milliseconds == 0 || !s.clockMs)
    return TakeSignal(event);
  s.SyncClock();
  SimThread* self = s.Self();
  if (!s.OtherAlive(self)) {
    // Nobody can signal it: the wait times out, at once on the clock; an
    // endless one would hang the machine and is refused.
    if (milliseconds == INFINITE) {
      *s.lastError = kErrorPossibleDeadlock;
      return WAIT_FAILED;
    }
    s.nowUs += static_cast<uint64_t>(milliseconds) * 1000;
    *s.clockMs = static_cast<DWORD>(s.nowUs / 1000);
    return WAIT_TIMEOUT;
  }
  const uint64_t deadline =
      milliseconds == INFINITE
          ? kNever
          : s.nowUs + static_cast<uint64_t>(milliseconds) * 1000;
  for (;;) {
    self->event = event;
    s.Wait(lock, self, deadline, nullptr);
    if (event->signaled) return TakeSignal(event);
    if (s.nowUs >= deadline) return WAIT_TIMEOUT;
    if (!s.OtherAlive(self)) {
      *s.lastError = kErrorPossibleDeadlock;
      return WAIT_FAILED;
    }
  }
}

}  // namespace

bool WaitForThread(SimPlatform& os, HANDLE handle, DWORD milliseconds,
                   DWORD* result) {
  Scheduler& s = SchedulerOf(os);
  std::unique_lock<std::mutex> lock(s.mutex);
  if (SimEvent* event = s.FindEvent(handle)) {
    *result = WaitForEvent(s, lock, event, milliseconds);
    return true;
  }
  SimThread* target = s.FindHandle(handle);
  if (!target) return false;
  SimThread* self = s.Self();
  if (target == self) {
    // A thread waiting for its own end waits out the time-out.
    *result = WAIT_TIMEOUT;
    return true;
  }
  if (!target->ended && milliseconds != 0 && s.clockMs) {
    s.SyncClock();
    const uint64_t deadline =
        milliseconds == INFINITE
            ? kNever
            : s.nowUs + static_cast<uint64_t>(milliseconds) * 1000;
    s.Wait(lock, self, deadline, target);
  }
  *result = target->ended ? WAIT_OBJECT_0 : WAIT_TIMEOUT;
  return true;
}

}  // namespace kv::sim

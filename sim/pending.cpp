// Operations the simulated machine does not model yet. Each is recorded and
// can be made to fail like any other, then fails plainly: the last error is
// ERROR_CALL_NOT_IMPLEMENTED and the result is the call's failure value, so
// a test that reaches one sees at once what is missing. The file of the area
// that models an operation takes its definition out of this list.
#include "sim/sim_internal.h"
#include "sim/sim_platform.h"

namespace kv::sim {

#define KV_NOT_SIMULATED(name, failure)      \
  do {                                       \
    if (Enter(name)) return failure;         \
    lastError_ = ERROR_CALL_NOT_IMPLEMENTED; \
    return failure;                          \
  } while (0)

}  // namespace kv::sim

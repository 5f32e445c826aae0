#include "interface/api_lock.h"

namespace vtl {

std::recursive_mutex& ApiMutex() {
  // A static object rather than a heap block: taking the lock never
  // allocates, so it cannot fail and stays out of the allocation counts.
  static std::recursive_mutex mutex;
  return mutex;
}

}  // namespace vtl

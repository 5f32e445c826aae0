// The process-wide lock that serialises the exported entries. The parameter
// block, its LastResult and the labelling state are shared by every call, so
// each exported function holds this lock while it touches them. It is
// recursive because entries call each other (VantrelCent2 runs VantrelQuick,
// the segmenters release containers through DestroyVantrelResult1).
#ifndef VANTREL_INTERFACE_API_LOCK_H
#define VANTREL_INTERFACE_API_LOCK_H

#include <mutex>

namespace vtl {

std::recursive_mutex& ApiMutex();

// Holds the lock for the lifetime of the object.
class ApiLock {
 public:
  ApiLock() : guard_(ApiMutex()) {}
  ApiLock(const ApiLock&) = delete;
  ApiLock& operator=(const ApiLock&) = delete;

 private:
  std::lock_guard<std::recursive_mutex> guard_;
};

}  // namespace vtl

#endif

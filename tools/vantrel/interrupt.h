// SIGINT and SIGTERM during a batch. The first one asks the batch to stop:
// inputs under way are finished and committed, no new one starts. A second one
// removes the temporary files being written and ends the process at once.
#ifndef VANTREL_TOOLS_VANTREL_INTERRUPT_H
#define VANTREL_TOOLS_VANTREL_INTERRUPT_H

#include <string>

namespace vtool {

// Installs the handlers for its lifetime; the previous ones come back after.
class InterruptHandlers {
 public:
  InterruptHandlers();
  ~InterruptHandlers();
  InterruptHandlers(const InterruptHandlers&) = delete;
  InterruptHandlers& operator=(const InterruptHandlers&) = delete;
};

// The first signal received (SIGINT or SIGTERM), 0 while none came.
int PendingInterrupt();

// Temporary files the second signal removes. Register returns a slot (-1
// when all are taken: the file is then only removed by its writer).
int RegisterTemporary(const std::string& path);
void ForgetTemporary(int slot);

}  // namespace vtool

#endif  // VANTREL_TOOLS_VANTREL_INTERRUPT_H

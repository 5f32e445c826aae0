// The batch of `vantrel segment`: inputs spread over worker threads, results
// printed in input order, stopped early by --fail-fast or a signal.
#ifndef VANTREL_TOOLS_VANTREL_SEGMENT_RUN_H
#define VANTREL_TOOLS_VANTREL_SEGMENT_RUN_H

#include "segment_options.h"

namespace vtool {

// Runs the batch and returns the exit code: 0, 1 (some input failed), 2
// (output folder unusable), or 128 + the signal that stopped it.
int RunSegmentBatch(const SegmentOptions& options);

}  // namespace vtool

#endif  // VANTREL_TOOLS_VANTREL_SEGMENT_RUN_H

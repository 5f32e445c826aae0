// One ANSI/NIST-ITL transaction given to `vantrel segment`: each slap record
// segmented as an input of its own (outputs NAME_r<record>), and with
// --write-an2 the transaction written with the results.
#ifndef VANTREL_TOOLS_VANTREL_TRANSACTION_JOB_H
#define VANTREL_TOOLS_VANTREL_TRANSACTION_JOB_H

#include <string>

#include "batch.h"
#include "input_job.h"
#include "segment_options.h"

namespace vtool {

// True when the file begins like a transaction.
bool IsTransactionFile(const std::string& path);

// The outcomes of the slap records joined: ok when every one succeeded.
InputOutcome ProcessTransaction(const InputItem& item, const std::string& stem,
                                const SegmentOptions& options);

}  // namespace vtool

#endif  // VANTREL_TOOLS_VANTREL_TRANSACTION_JOB_H

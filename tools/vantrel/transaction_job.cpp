#include "transaction_job.h"

#include <fstream>

#include "transaction_input.h"

namespace vtool {
namespace {

void Join(InputOutcome part, InputOutcome* whole) {
  whole->ok = whole->ok && part.ok;
  if (whole->failureKind.empty()) whole->failureKind = part.failureKind;
  whole->fingers += part.fingers;
  if (!part.report.empty()) {
    whole->report += (whole->report.empty() ? "" : "\n") + part.report;
  }
  for (std::string& error : part.errors) whole->errors.push_back(std::move(error));
}

// A transaction that yields no image still gets its result file, saying why.
InputOutcome Unusable(const InputItem& item, const std::string& stem, const SegmentOptions& options,
                      vio::ReadStatus status) {
  DecodedInput input;
  input.status = std::move(status);
  Segmentation unused;
  return ProcessDecoded(item, stem, options, input, &unused);
}

}  // namespace

bool IsTransactionFile(const std::string& path) {
  char head[16] = {};
  std::ifstream in(path, std::ios::binary);
  in.read(head, sizeof head);
  return an2::LooksLikeTransaction(reinterpret_cast<const uint8_t*>(head),
                                   static_cast<size_t>(in.gcount()));
}

InputOutcome ProcessTransaction(const InputItem& item, const std::string& stem,
                                const SegmentOptions& options) {
  an2::Transaction transaction;
  const vio::ReadStatus read = an2::ReadTransaction(item.path, &transaction);
  if (!read.ok()) return Unusable(item, stem, options, read);
  const std::vector<TransactionSlap> slaps = FindSlaps(transaction);
  if (slaps.empty()) {
    return Unusable(item, stem, options,
                    {vio::ReadError::kUnsupported,
                     "the transaction holds no slap record (finger position 13, 14, 15 or 40 to "
                     "50) with a finger to seek"});
  }
  InputOutcome whole;
  whole.ok = true;
  for (const TransactionSlap& slap : slaps) {
    const size_t record = slap.description.index + 1;
    DecodedInput input;
    input.status = an2::DecodeImageRecord(transaction, slap.description, &input.image);
    input.hand = slap.handCode;
    input.fingers = static_cast<int32_t>(slap.positions.size());
    input.record = static_cast<int>(record);
    Segmentation segmentation;
    InputOutcome part =
        ProcessDecoded(item, stem + "_r" + std::to_string(record), options, input, &segmentation);
    if (part.ok && !options.writeAn2.empty()) {
      const std::string error =
          RecordSegmentation(&transaction, slap, input.image, segmentation, options.fingerRecords);
      if (!error.empty()) {
        part.ok = false;
        part.failureKind = "output not written (write_failed)";
        part.errors.push_back(item.path + ": record " + std::to_string(record) + ": " + error);
      }
    }
    Join(std::move(part), &whole);
  }
  if (whole.ok && !options.writeAn2.empty()) {
    const std::string error = an2::WriteTransaction(options.writeAn2, transaction);
    if (!error.empty()) {
      whole.ok = false;
      whole.failureKind = "output not written (write_failed)";
      whole.errors.push_back(item.path + ": " + options.writeAn2 + ": " + error);
    } else if (!options.quiet) {
      whole.report += "\n" + item.path + ": segments written -> " + options.writeAn2;
    }
  }
  return whole;
}

}  // namespace vtool

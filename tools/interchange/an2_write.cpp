// Serialising a transaction: each record's length and the Type-1 record list
// are recomputed, and a field whose value is already right keeps its bytes.
#include <cstdio>

#include "an2_transaction.h"

namespace an2 {
namespace {

size_t DecimalDigits(uint64_t value) {
  size_t digits = 1;
  while (value >= 10) {
    value /= 10;
    ++digits;
  }
  return digits;
}

// The record list 1.003 for the records as they are now.
std::string RecordList(const Transaction& transaction) {
  std::vector<std::vector<std::string>> list;
  list.push_back({"1", std::to_string(transaction.records.size() - 1)});
  for (size_t i = 1; i < transaction.records.size(); ++i) {
    const Record& record = transaction.records[i];
    char idc[16];
    std::snprintf(idc, sizeof idc, "%02d", RecordIdc(record) < 0 ? 0 : RecordIdc(record));
    list.push_back({std::to_string(record.type), idc});
  }
  return JoinSubfields(list);
}

// True when two record lists name the same numbers, however they are padded.
bool SameList(const std::string& a, const std::string& b) {
  const auto x = SplitSubfields(a), y = SplitSubfields(b);
  if (x.size() != y.size()) return false;
  for (size_t s = 0; s < x.size(); ++s) {
    if (x[s].size() != y[s].size()) return false;
    for (size_t i = 0; i < x[s].size(); ++i) {
      if (ParseCount(x[s][i]) < 0 || ParseCount(x[s][i]) != ParseCount(y[s][i])) return false;
    }
  }
  return true;
}

// The value of field x.001, the record's first: the record's whole length,
// its own digits included. The value present is kept when it is still right.
std::string LengthValue(const Record& record, const std::string& present) {
  size_t rest = 0;  // everything but the length value's digits
  for (size_t i = 0; i < record.fields.size(); ++i) {
    const Field& field = record.fields[i];
    rest += field.tag.size() + 1 + 1;  // tag, colon, separator
    if (i > 0) rest += field.value.size();
  }
  if (ParseCount(present) == static_cast<int64_t>(rest + present.size())) return present;
  size_t digits = 1;
  while (DecimalDigits(rest + digits) != digits) ++digits;
  return std::to_string(rest + digits);
}

bool AppendTagged(const Record& record, std::string* out, std::string* error) {
  const std::string where = "Type-" + std::to_string(record.type) + " record";
  if (record.fields.empty() || record.fields.front().number != kLengthField) {
    *error = where + " does not begin with its length field";
    return false;
  }
  for (const Field& field : record.fields) {
    if (field.number != kDataField && field.value.find_first_of(std::string{
                                          kGroupSeparator, kFileSeparator}) != std::string::npos) {
      *error = where + ": field " + field.tag + " holds a field separator";
      return false;
    }
  }
  const std::string length = LengthValue(record, record.fields.front().value);
  for (size_t i = 0; i < record.fields.size(); ++i) {
    const Field& field = record.fields[i];
    *out += field.tag;
    out->push_back(':');
    *out += i == 0 ? length : field.value;
    out->push_back(i + 1 == record.fields.size() ? kFileSeparator : kGroupSeparator);
  }
  return true;
}

bool AppendBinary(const Record& record, std::string* out, std::string* error) {
  const std::string where = "Type-" + std::to_string(record.type) + " record";
  if (record.header.size() != BinaryHeaderSize(record.type)) {
    *error = where + " has a header of " + std::to_string(record.header.size()) + " bytes, not " +
             std::to_string(BinaryHeaderSize(record.type));
    return false;
  }
  const uint64_t length = 4 + record.header.size() + record.data.size();
  if (length > 0xFFFFFFFFu) {
    *error = where + " is too long for its 4-byte length";
    return false;
  }
  for (int shift = 24; shift >= 0; shift -= 8) out->push_back(static_cast<char>(length >> shift));
  *out += record.header;
  *out += record.data;
  return true;
}

}  // namespace

bool SerializeTransaction(const Transaction& transaction, std::string* bytes, std::string* error) {
  bytes->clear();
  if (transaction.records.empty() || transaction.records.front().type != 1) {
    *error = "a transaction begins with a Type-1 record";
    return false;
  }
  Record first = transaction.records.front();
  const Field* list = FindField(first, kContentField);
  const std::string wanted = RecordList(transaction);
  if (list == nullptr || !SameList(list->value, wanted)) SetField(&first, kContentField, wanted);
  if (!AppendTagged(first, bytes, error)) return false;
  for (size_t i = 1; i < transaction.records.size(); ++i) {
    const Record& record = transaction.records[i];
    if (record.type == 1) {
      *error = "a transaction holds one Type-1 record";
      return false;
    }
    const bool ok = IsBinaryType(record.type) ? AppendBinary(record, bytes, error)
                                              : AppendTagged(record, bytes, error);
    if (!ok) {
      *error = "record " + std::to_string(i + 1) + ": " + *error;
      return false;
    }
  }
  return true;
}

}  // namespace an2

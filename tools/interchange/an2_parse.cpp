// Parsing of a transaction held in memory. Nothing is allocated from a size
// field before the bytes it claims are known to be present, so the memory
// used stays bounded by the input's size.
#include <string>

#include "an2_transaction.h"

namespace an2 {
namespace {

using vio::ReadError;
using vio::ReadStatus;

ReadStatus Corrupt(const std::string& message) {
  ReadStatus status;
  status.error = ReadError::kCorrupt;
  status.message = message;
  return status;
}

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

// "record 4 (Type-14)"
std::string Where(size_t index, int type) {
  return "record " + std::to_string(index + 1) + " (Type-" + std::to_string(type) + ")";
}

// Reads a field tag "T.N:" at bytes[*at], moving past the colon.
bool ReadTag(const char* bytes, size_t end, size_t* at, int* type, int* number, std::string* tag) {
  constexpr size_t kMaxTagDigits = 9;
  size_t p = *at;
  const size_t typeStart = p;
  while (p < end && IsDigit(bytes[p]) && p - typeStart < kMaxTagDigits) ++p;
  if (p == typeStart || p >= end || bytes[p] != '.') return false;
  const size_t dot = p++;
  const size_t numberStart = p;
  while (p < end && IsDigit(bytes[p]) && p - numberStart < kMaxTagDigits) ++p;
  if (p == numberStart || p >= end || bytes[p] != ':') return false;
  *type = static_cast<int>(ParseCount(std::string(bytes + typeStart, bytes + dot)));
  *number = static_cast<int>(ParseCount(std::string(bytes + numberStart, bytes + p)));
  tag->assign(bytes + typeStart, bytes + p);
  *at = p + 1;
  return true;
}

// The length a tagged record declares in its first field, x.001.
ReadStatus TaggedLength(const char* bytes, size_t available, size_t index, int type,
                        size_t* length) {
  constexpr size_t kMaxLengthDigits = 10;
  size_t p = 0;
  int tagType = 0, number = 0;
  std::string tag;
  if (!ReadTag(bytes, available, &p, &tagType, &number, &tag) || number != kLengthField) {
    return Corrupt(Where(index, type) + " does not begin with its length field " +
                   std::to_string(type) + ".001");
  }
  if (tagType != type) {
    return Corrupt(Where(index, type) + " begins with field " + tag + " of another record type");
  }
  const size_t start = p;
  while (p < available && IsDigit(bytes[p]) && p - start < kMaxLengthDigits) ++p;
  if (p == start || p >= available || (bytes[p] != kGroupSeparator && bytes[p] != kFileSeparator)) {
    return Corrupt(Where(index, type) + ": length field " + tag + " is not a number");
  }
  const uint64_t value = std::stoull(std::string(bytes + start, bytes + p));
  if (value <= p) {
    return Corrupt(Where(index, type) + ": length " + std::to_string(value) +
                   " is shorter than its own length field");
  }
  if (value > available) {
    return Corrupt(Where(index, type) + " claims " + std::to_string(value) + " bytes but only " +
                   std::to_string(available) + " remain (truncated?)");
  }
  *length = static_cast<size_t>(value);
  return ReadStatus{};
}

// Splits a tagged record of known length into its fields. The data field
// x.999 runs to the end of the record; every other field ends at the next
// group or file separator.
ReadStatus ParseTagged(const char* bytes, size_t length, size_t index, int type, Record* record) {
  if (bytes[length - 1] != kFileSeparator) {
    return Corrupt(Where(index, type) + " does not end with a file separator at byte " +
                   std::to_string(length));
  }
  record->type = type;
  size_t p = 0;
  while (true) {
    Field field;
    int tagType = 0;
    if (!ReadTag(bytes, length, &p, &tagType, &field.number, &field.tag)) {
      return Corrupt(Where(index, type) + ": malformed field tag at byte " + std::to_string(p + 1));
    }
    if (tagType != type) {
      return Corrupt(Where(index, type) + " holds field " + field.tag + " of another record type");
    }
    size_t end = p;
    if (field.number == kDataField) {
      end = length - 1;
    } else {
      while (bytes[end] != kGroupSeparator && bytes[end] != kFileSeparator) ++end;
    }
    field.value.assign(bytes + p, bytes + end);
    record->fields.push_back(std::move(field));
    if (bytes[end] == kFileSeparator) {
      if (end != length - 1) {
        return Corrupt(Where(index, type) + " ends at byte " + std::to_string(end + 1) +
                       " before its length " + std::to_string(length));
      }
      break;
    }
    p = end + 1;
  }
  if (type != 1 && (record->fields.size() < 2 || record->fields[1].number != kIdcField)) {
    return Corrupt(Where(index, type) + " lacks its IDC field " + std::to_string(type) + ".002");
  }
  return ReadStatus{};
}

ReadStatus ParseBinary(const char* bytes, size_t available, size_t index, int type, Record* record,
                       size_t* length) {
  constexpr size_t kLengthBytes = 4;
  const size_t header = BinaryHeaderSize(type);
  if (available < kLengthBytes + header) {
    return Corrupt(Where(index, type) + " is cut short: " + std::to_string(available) +
                   " bytes left for a header of " + std::to_string(kLengthBytes + header));
  }
  uint64_t value = 0;
  for (size_t i = 0; i < kLengthBytes; ++i) value = value << 8 | static_cast<uint8_t>(bytes[i]);
  if (value < kLengthBytes + header) {
    return Corrupt(Where(index, type) + ": length " + std::to_string(value) +
                   " is shorter than its header");
  }
  if (value > available) {
    return Corrupt(Where(index, type) + " claims " + std::to_string(value) + " bytes but only " +
                   std::to_string(available) + " remain (truncated?)");
  }
  record->type = type;
  record->header.assign(bytes + kLengthBytes, header);
  record->data.assign(bytes + kLengthBytes + header, bytes + value);
  *length = static_cast<size_t>(value);
  return ReadStatus{};
}

struct Listed {
  int type;
  int idc;
};

// The records that field 1.003 lists after the Type-1 record.
ReadStatus ListedRecords(const Record& first, std::vector<Listed>* listed) {
  const Field* content = FindField(first, kContentField);
  if (content == nullptr) return Corrupt("the Type-1 record lacks its record list, field 1.003");
  const auto subfields = SplitSubfields(content->value);
  const auto& head = subfields.front();
  if (head.size() != 2 || ParseCount(head[0]) != 1 ||
      ParseCount(head[1]) != static_cast<int64_t>(subfields.size() - 1)) {
    return Corrupt("field 1.003 does not begin with 1 and the count of the " +
                   std::to_string(subfields.size() - 1) + " records it lists");
  }
  constexpr int64_t kMaxType = 99;
  for (size_t i = 1; i < subfields.size(); ++i) {
    const auto& item = subfields[i];
    const int64_t type = item.size() == 2 ? ParseCount(item[0]) : -1;
    const int64_t idc = item.size() == 2 ? ParseCount(item[1]) : -1;
    if (type < 2 || type > kMaxType || idc < 0) {
      return Corrupt("field 1.003, entry " + std::to_string(i + 1) + ": not a record type and IDC");
    }
    listed->push_back({static_cast<int>(type), static_cast<int>(idc)});
  }
  return ReadStatus{};
}

ReadStatus ParseAll(const char* bytes, size_t size, Transaction* transaction) {
  if (!LooksLikeTransaction(reinterpret_cast<const uint8_t*>(bytes), size)) {
    return Corrupt("not an ANSI/NIST-ITL transaction: it does not begin with field 1.001");
  }
  size_t length = 0;
  ReadStatus status = TaggedLength(bytes, size, 0, 1, &length);
  if (!status.ok()) return status;
  transaction->records.emplace_back();
  status = ParseTagged(bytes, length, 0, 1, &transaction->records.back());
  if (!status.ok()) return status;
  std::vector<Listed> listed;
  status = ListedRecords(transaction->records.front(), &listed);
  if (!status.ok()) return status;

  size_t offset = length;
  for (size_t i = 0; i < listed.size(); ++i) {
    const size_t index = i + 1;
    const int type = listed[i].type;
    if (offset == size) {
      return Corrupt("the transaction ends before " + Where(index, type) +
                     ", which field 1.003 lists");
    }
    Record record;
    if (IsBinaryType(type)) {
      status = ParseBinary(bytes + offset, size - offset, index, type, &record, &length);
    } else {
      status = TaggedLength(bytes + offset, size - offset, index, type, &length);
      if (status.ok()) status = ParseTagged(bytes + offset, length, index, type, &record);
    }
    if (!status.ok()) return status;
    // Checked so that the list written back is the list read.
    if (RecordIdc(record) != listed[i].idc) {
      return Corrupt(Where(index, type) + " has IDC " + std::to_string(RecordIdc(record)) +
                     " where field 1.003 lists " + std::to_string(listed[i].idc));
    }
    transaction->records.push_back(std::move(record));
    offset += length;
  }
  if (offset != size) {
    return Corrupt(std::to_string(size - offset) +
                   " bytes follow the last record that field 1.003 lists");
  }
  return ReadStatus{};
}

}  // namespace

bool LooksLikeTransaction(const uint8_t* data, size_t size) {
  const char* bytes = reinterpret_cast<const char*>(data);
  size_t p = 0;
  int type = 0, number = 0;
  std::string tag;
  return size > 0 && ReadTag(bytes, size, &p, &type, &number, &tag) && type == 1 &&
         number == kLengthField;
}

ReadStatus ParseTransaction(const uint8_t* data, size_t size, Transaction* transaction) {
  *transaction = Transaction{};
  const ReadStatus status = ParseAll(reinterpret_cast<const char*>(data), size, transaction);
  if (!status.ok()) *transaction = Transaction{};
  return status;
}

}  // namespace an2

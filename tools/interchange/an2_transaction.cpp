// Field access of tagged records and the fixed sizes of binary ones.
#include "an2_transaction.h"

#include <algorithm>
#include <cstdio>

namespace an2 {
namespace {

// Fields run in number order, the length first, the IDC second and the data
// field last.
int FieldOrder(int number) {
  if (number == kLengthField) return -2;
  if (number == kIdcField) return -1;
  return number;
}

}  // namespace

bool IsBinaryType(int type) {
  return type >= 3 && type <= 8;
}

size_t BinaryHeaderSize(int type) {
  switch (type) {
    case 3:
    case 4:
    case 5:
    case 6: return 14;  // IDC, IMP, FGP[6], ISR, HLL[2], VLL[2], compression
    case 7: return 1;   // IDC; the rest is user-defined
    case 8: return 8;   // IDC, SIG, SRT, ISR, HLL[2], VLL[2]
    default: return 0;
  }
}

const Field* FindField(const Record& record, int number) {
  for (const Field& field : record.fields) {
    if (field.number == number) return &field;
  }
  return nullptr;
}

void SetField(Record* record, int number, const std::string& value) {
  for (Field& field : record->fields) {
    if (field.number == number) {
      field.value = value;
      return;
    }
  }
  char tag[32];
  std::snprintf(tag, sizeof tag, "%d.%03d", record->type, number);
  auto at = std::find_if(record->fields.begin(), record->fields.end(), [number](const Field& f) {
    return FieldOrder(f.number) > FieldOrder(number);
  });
  record->fields.insert(at, Field{tag, number, value});
}

void RemoveField(Record* record, int number) {
  auto& fields = record->fields;
  fields.erase(std::remove_if(fields.begin(), fields.end(),
                              [number](const Field& f) { return f.number == number; }),
               fields.end());
}

std::vector<std::vector<std::string>> SplitSubfields(const std::string& value) {
  std::vector<std::vector<std::string>> subfields(1, std::vector<std::string>(1));
  for (char c : value) {
    if (c == kRecordSeparator) {
      subfields.emplace_back(1);
    } else if (c == kUnitSeparator) {
      subfields.back().emplace_back();
    } else {
      subfields.back().back().push_back(c);
    }
  }
  return subfields;
}

std::string JoinSubfields(const std::vector<std::vector<std::string>>& subfields) {
  std::string value;
  for (size_t s = 0; s < subfields.size(); ++s) {
    if (s > 0) value.push_back(kRecordSeparator);
    for (size_t i = 0; i < subfields[s].size(); ++i) {
      if (i > 0) value.push_back(kUnitSeparator);
      value += subfields[s][i];
    }
  }
  return value;
}

int64_t ParseCount(const std::string& text) {
  constexpr size_t kMaxDigits = 9;
  if (text.empty() || text.size() > kMaxDigits) return -1;
  int64_t value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return -1;
    value = value * 10 + (c - '0');
  }
  return value;
}

int RecordIdc(const Record& record) {
  if (IsBinaryType(record.type)) {
    return record.header.empty() ? -1 : static_cast<uint8_t>(record.header[0]);
  }
  const Field* idc = FindField(record, kIdcField);
  return idc ? static_cast<int>(ParseCount(idc->value)) : -1;
}

}  // namespace an2

// ANSI/NIST-ITL transactions in the traditional encoding: a Type-1 record
// whose field 1.003 (CNT) lists the records that follow, tagged records made
// of "T.NNN:value" fields, and the binary Type-3 to Type-8 records of fixed
// layout.
//
// Parsing keeps every byte: a transaction read and written back unchanged is
// identical to its input. Changed records get their length field and the
// Type-1 record list recomputed on writing.
#ifndef VANTREL_TOOLS_INTERCHANGE_AN2_TRANSACTION_H
#define VANTREL_TOOLS_INTERCHANGE_AN2_TRANSACTION_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "image_io.h"

namespace an2 {

// Separators of the traditional encoding.
constexpr char kFileSeparator = 0x1C;    // ends a record
constexpr char kGroupSeparator = 0x1D;   // between fields
constexpr char kRecordSeparator = 0x1E;  // between subfields
constexpr char kUnitSeparator = 0x1F;    // between items

// Field numbers shared by every tagged record.
constexpr int kLengthField = 1;   // x.001 LEN
constexpr int kIdcField = 2;      // x.002 IDC
constexpr int kDataField = 999;   // x.999 DATA, binary up to the end of the record
constexpr int kContentField = 3;  // 1.003 CNT

// Transactions above this size are refused before they are loaded.
constexpr int64_t kMaxTransactionBytes = int64_t{1} << 30;

struct Field {
  std::string tag;    // as written before the colon, e.g. "14.013" or "1.03"
  int number = 0;     // the field number after the dot
  std::string value;  // the bytes between the colon and the separator
};

struct Record {
  int type = 0;
  // Tagged records (all but Type-3 to Type-8).
  std::vector<Field> fields;
  // Binary records: the fixed header after the 4-byte length, then the data.
  std::string header;
  std::string data;
};

struct Transaction {
  std::vector<Record> records;  // records[0] is the Type-1 record
};

// Type-3 to Type-8 have a fixed binary layout; every other type is tagged.
bool IsBinaryType(int type);

// Bytes of the fixed header after the length of a binary record type (IDC
// and what follows it up to the data).
size_t BinaryHeaderSize(int type);

// The first field with this number, or nullptr.
const Field* FindField(const Record& record, int number);

// Sets a field's value, adding the field in field-number order (before
// x.999) with the tag "T.NNN" when the record lacks it.
void SetField(Record* record, int number, const std::string& value);

void RemoveField(Record* record, int number);

// The value split into subfields (RS) and items (US).
std::vector<std::vector<std::string>> SplitSubfields(const std::string& value);
std::string JoinSubfields(const std::vector<std::vector<std::string>>& subfields);

// A whole non-negative decimal number of at most 9 digits; -1 otherwise.
int64_t ParseCount(const std::string& text);

// The image designation character: field x.002 of a tagged record, the first
// header byte of a binary one; -1 when absent or unreadable.
int RecordIdc(const Record& record);

// Parses a transaction held in memory. Every length, count and offset is
// checked against the bytes present before it is used; a failure says what
// and where (ReadError::kCorrupt) and leaves *transaction empty.
vio::ReadStatus ParseTransaction(const uint8_t* data, size_t size, Transaction* transaction);

// Reads and parses a file.
vio::ReadStatus ReadTransaction(const std::string& path, Transaction* transaction);

// The transaction in the traditional encoding. Lengths (x.001 and the binary
// length) and the Type-1 record list (1.003) are recomputed; where the
// recomputed value equals the one present, the field is left as written.
// Returns false with *error set when a record cannot be encoded.
bool SerializeTransaction(const Transaction& transaction, std::string* bytes, std::string* error);

// Serialises and writes to a temporary file beside path, renamed into place
// once whole. Returns an empty string on success, otherwise the reason.
std::string WriteTransaction(const std::string& path, const Transaction& transaction);

// True when the bytes begin like a transaction (field 1.001 or 1.01).
bool LooksLikeTransaction(const uint8_t* data, size_t size);

}  // namespace an2

#endif  // VANTREL_TOOLS_INTERCHANGE_AN2_TRANSACTION_H

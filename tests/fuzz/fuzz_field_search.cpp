// Fuzz target: the search for the checksum field in a head block, and zeroing and writing
// its digits in memory, against the model. Input: the head (cut or padded to 252 bytes),
// then optionally eight digit characters to write.
#include <algorithm>
#include <cstdint>
#include <string>

#include "checksum_field.h"
#include "fuzz_model.h"

namespace {

using korvale::HeadBlock;
using korvale::model::expect;
using korvale::model::Field;

// A routine's outcome on a head: the code, and the head afterwards.
void expectWritten(const HeadBlock& before, const HeadBlock& after, int32_t code,
                   const Field& field, std::string_view digits) {
  const int32_t wanted = field.kind == Field::kFound          ? korvale::kOk
                         : field.kind == Field::kNoIdentifier ? korvale::kNoIdentifier
                                                              : korvale::kFieldUnwritable;
  expect(code == wanted, "error code of a write in the head");
  for (std::size_t i = 0; i < before.size(); ++i) {
    const bool digit = code == korvale::kOk && field.isDigit(i);
    expect(after[i] == (digit ? static_cast<uint8_t>(digits[i - field.digits()]) : before[i]),
           "bytes of the head after a write");
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  HeadBlock head;
  head.fill(' ');
  std::copy_n(data, std::min(size, head.size()), head.begin());
  const std::string_view bytes(reinterpret_cast<const char*>(head.data()), head.size());
  const std::string digits = size >= head.size() + 8
                                 ? std::string(reinterpret_cast<const char*>(data) + head.size(), 8)
                                 : std::string("1234ABCD");

  const Field field = korvale::model::findField(bytes);
  const korvale::FieldSearch found = korvale::findCRC32Field(head);
  switch (field.kind) {
    case Field::kFound:
      expect(found.outcome == korvale::FieldSearch::kFound && found.quote == field.quote,
             "found field");
      break;
    case Field::kNoIdentifier:
      expect(found.outcome == korvale::FieldSearch::kNoIdentifier, "missing identifier");
      break;
    case Field::kMalformed:
      expect(found.outcome == korvale::FieldSearch::kMalformed, "malformed field");
      break;
  }

  HeadBlock zeroed = head;
  expectWritten(head, zeroed, korvale::zeroCRC32inHead(zeroed), field, "00000000");
  HeadBlock written = head;
  expectWritten(head, written, korvale::writeCRC32inHead(written, "0x" + digits), field, digits);
  return 0;
}

// Fuzz target for filters: the input is a filter text, parsed against two small files and
// evaluated over a few fixed records of them; the same bytes are also read back through a text
// and a number picture. Every input must either parse or be refused with a located message;
// evaluating twice must agree. A breach traps, so the fuzzer (and the corpus replay in the
// normal test suite) reports it.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "common/field_value.h"
#include "common/record_layout.h"
#include "platform/data_file.h"
#include "platform/decimal_text.h"
#include "platform/filter_expression.h"
#include "platform/filter_parser.h"
#include "platform/memory_keyed_file.h"
#include "platform/picture.h"

namespace morlan {
namespace {

RecordLayout InpLayout() {
  RecordLayout layout;
  layout.AddField("INP:NAME", FieldType::kText, 12);
  layout.AddField("INP:REGION", FieldType::kText, 8);
  layout.AddField("INP:AMOUNT", FieldType::kLong);
  layout.AddField("INP:PRICE", FieldType::kReal);
  layout.AddField("INP:FLAG", FieldType::kByte);
  layout.AddField("INP:CODE", FieldType::kShort);
  return layout;
}

RecordLayout OutLayout() {
  RecordLayout layout;
  layout.AddField("OUT:NAME", FieldType::kText, 10);  // a bare NAME is ambiguous
  layout.AddField("OUT:TOTAL", FieldType::kReal);
  layout.AddField("OUT:NOTE", FieldType::kText, 255);
  return layout;
}

struct Row {
  const char* name;
  const char* region;
  double amount;
  double price;
  double flag;
  double code;
  const char* out_name;
  double total;
  const char* note;
};

constexpr Row kRows[] = {
    {"o'brien", "North", 10, 1.5, 1, -3, "x", 0, "STRING(20)"},
    {"", "", 0, 0, 0, 0, "", 0, ""},
    {"12.50", "South ", -2147483647, 1e300, 255, 32767, "12.5", -0.0, "  lead and trail  "},
    {"ZZZZZZZZZZZZ", "\xff\x01", 7, 2.675, 0, -32768, "nan", 1e-300, "Name STRING(20) ! c"},
};

void Trap() { __builtin_trap(); }

void CheckPictures(std::string_view text) {
  static const Picture kPictures[] = {
      [] {
        Picture p;
        Picture::Parse("@N09.2", &p);
        return p;
      }(),
      [] {
        Picture p;
        Picture::Parse("@S5", &p);
        return p;
      }(),
  };
  for (const Picture& picture : kPictures) {
    char shown[Picture::kMaxWidth];
    if (picture.Format(text, shown) != picture.width()) Trap();
    double number = 0;
    if (picture.ReadBack(text, &number) && picture.Format(number, shown) != picture.width()) {
      Trap();
    }
    std::string back;
    // What a number picture reads back must stand in a filter as a number.
    if (picture.ReadBackText(text, &back) && !picture.is_text() && !back.empty() &&
        !ReadDecimal(back, &number)) {
      Trap();
    }
  }
  Picture parsed;
  std::string why;
  if (!Picture::Parse(text, &parsed, &why) && why.rfind("unsupported picture '", 0) != 0) Trap();
}

}  // namespace
}  // namespace morlan

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace morlan;
  static MemoryKeyedFile inp("INP", InpLayout());
  static MemoryKeyedFile out("OUT", OutLayout());
  static DataFile* const files[] = {&inp, &out};

  const std::string_view text(reinterpret_cast<const char*>(data), size);
  CheckPictures(text);

  FilterExpression expression;
  std::string error;
  if (!FilterParser::Parse(text, files, &expression, &error)) {
    if (error.rfind("Filter: ", 0) != 0 || error.find(" at column ") == std::string::npos) {
      Trap();
    }
    return 0;
  }
  for (const Row& row : kRows) {
    inp.field(0).Set(FieldValue::Text(row.name));
    inp.field(1).Set(FieldValue::Text(row.region));
    inp.field(2).Set(FieldValue::Number(row.amount));
    inp.field(3).Set(FieldValue::Number(row.price));
    inp.field(4).Set(FieldValue::Number(row.flag));
    inp.field(5).Set(FieldValue::Number(row.code));
    out.field(0).Set(FieldValue::Text(row.out_name));
    out.field(1).Set(FieldValue::Number(row.total));
    out.field(2).Set(FieldValue::Text(row.note));
    const bool first = expression.Matches();
    if (expression.Matches() != first) Trap();
  }
  return 0;
}

#include "bench/dictionary_generator.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iterator>

namespace morlan {

namespace {

const char* const kFileNames[] = {"Customer", "Orders",    "Invoice", "Product",  "Employee",
                                  "Supplier", "Warehouse", "Payment", "Shipment", "AuditLog"};
const char* const kPrefixes[] = {"CUS", "ORD", "INV", "PRD", "EMP",
                                 "SUP", "WHS", "PAY", "SHP", "AUD"};
const char* const kFieldNames[] = {
    "Name",      "Address",  "City",     "ZipCode",  "Phone",   "Amount",      "Total",
    "Count",     "Flags",    "Created",  "Changed",  "Notes",   "Description", "Quantity",
    "UnitPrice", "Discount", "Status",   "Country",  "Email",   "Reference",   "Balance",
    "LastOrder", "Category", "Priority", "Sequence", "Contact", "TaxRate",     "Weight"};
const char* const kDrivers[] = {"TEXTLINE", "MEMORY", "KEYED", "ASCII"};
const char* const kFileAttributes[] = {",CREATE",  ",BINDABLE", ",THREAD",
                                       ",RECLAIM", ",OEM",      ",ENCRYPT"};
const char* const kKeyAttributes[] = {",DUP", ",NOCASE", ",OPT", ",PRIMARY"};
const char* const kWords[] = {"the",      "customer", "number", "of",    "items",  "kept",
                              "for",      "reports",  "see",    "also",  "legacy", "import",
                              "computed", "on",       "save",   "zero",  "when",   "unknown",
                              "ISO",      "code",     "in",     "cents", "Größe",  "ünd"};

void AppendNumber(std::string& line, std::uint32_t n) {
  char digits[16];
  const int size = std::snprintf(digits, sizeof digits, "%u", n);
  line.append(digits, static_cast<std::size_t>(size));
}

}  // namespace

DictionaryGenerator::DictionaryGenerator(std::uint64_t seed) : state_(seed) {}

// splitmix64: tiny, fast and identical everywhere, unlike the standard distributions.
std::uint64_t DictionaryGenerator::Random() {
  std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ULL);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
  return z ^ (z >> 31);
}

std::uint32_t DictionaryGenerator::Below(std::uint32_t n) {
  return static_cast<std::uint32_t>((Random() >> 32) % n);
}

void DictionaryGenerator::Gap(std::string& line) {
  if (Chance(15)) {
    line += '\t';
    return;
  }
  line.append(1 + Below(12), ' ');
}

void DictionaryGenerator::Comment(std::string& line, bool indented) {
  if (indented) line.append(2 + Below(20), ' ');
  line += Chance(30) ? "!---- " : "! ";
  const std::uint32_t words = 2 + Below(12);
  for (std::uint32_t i = 0; i < words; ++i) {
    if (i > 0) line += ' ';
    line += Pick(kWords);
  }
}

void DictionaryGenerator::FileHeader(std::string& line) {
  const std::uint32_t which = Below(static_cast<std::uint32_t>(std::size(kFileNames)));
  prefix_ = kPrefixes[which];
  line += kFileNames[which];
  Gap(line);
  line += "FILE,DRIVER('";
  line += Pick(kDrivers);
  line += "'),PRE(";
  line += prefix_;
  line += ')';
  AppendSome(line, kFileAttributes, 25);
}

void DictionaryGenerator::Key(std::string& line) {
  line += prefix_;
  line += ':';
  line += Pick(kFieldNames);
  line += "Key";
  Gap(line);
  line += "KEY(";
  const std::uint32_t components = 1 + Below(3);
  for (std::uint32_t i = 0; i < components; ++i) {
    if (i > 0) line += ',';
    if (Chance(20)) line += '-';
    line += prefix_;
    line += ':';
    line += Pick(kFieldNames);
  }
  line += ')';
  AppendSome(line, kKeyAttributes, 35);
}

void DictionaryGenerator::Field(std::string& line) {
  // GROUP ... END pairs nest inside records now and then.
  if (group_depth_ > 0 && Chance(12)) {
    --group_depth_;
    line.append(2 + Below(10), ' ');
    line += Chance(50) ? "END" : ".";
    return;
  }
  if (group_depth_ < 2 && Chance(5)) {
    ++group_depth_;
    line += prefix_;
    line += ':';
    line += Pick(kFieldNames);
    line += "Group";
    Gap(line);
    line += "GROUP";
    if (Chance(30)) line += ",PRE(GRP)";
    return;
  }

  line += prefix_;
  line += ':';
  line += Pick(kFieldNames);
  if (Chance(25)) AppendNumber(line, Below(100));
  Gap(line);
  switch (Below(16)) {
    case 0:
    case 1:
    case 2:
      line += "STRING(";
      AppendNumber(line, 1 + Below(255));
      line += ')';
      break;
    case 3:
      line += "CSTRING(";
      AppendNumber(line, 2 + Below(254));
      line += ')';
      break;
    case 4:
      line += "PSTRING(";
      AppendNumber(line, 2 + Below(254));
      line += ')';
      break;
    case 5:
    case 6:
      line += "DECIMAL(";
      AppendNumber(line, 1 + Below(31));
      line += ',';
      AppendNumber(line, Below(8));
      line += ')';
      break;
    case 7:
      line += "LONG";
      break;
    case 8:
      line += "ULONG";
      break;
    case 9:
      line += "BYTE";
      break;
    case 10:
      line += "SHORT";
      break;
    case 11:
      line += "USHORT";
      break;
    case 12:
      line += "DATE";
      break;
    case 13:
      line += "TIME";
      break;
    case 14:
      line += Chance(50) ? "REAL" : "SREAL";
      break;
    default:
      line += Chance(50) ? "MEMO(" : "BLOB(";
      AppendNumber(line, 100 + Below(60000));
      line += ')';
      break;
  }
  if (Chance(10)) {
    line += ",DIM(";
    AppendNumber(line, 2 + Below(30));
    line += ')';
  }
  if (Chance(8)) {
    line += ",OVER(";
    line += prefix_;
    line += ':';
    line += Pick(kFieldNames);
    line += ')';
  }
  if (Chance(6)) {
    line += ",NAME('";
    line += Pick(kFieldNames);
    line += "')";
  }
}

void DictionaryGenerator::Finish(std::string& line) {
  if (!line.empty() && line[0] != '!' && Chance(12)) {
    line.append(1 + Below(6), ' ');
    Comment(line, false);
  }
  // A few very long lines, to reach the width of the record.
  if (Chance(1)) {
    const bool comment = Chance(50);
    line += comment ? "  ! " : ",DESCRIPTION('";
    const std::size_t target = 150 + Below(kMaxLine - 150 + 1);
    while (line.size() < target) {
      line += Pick(kWords);
      line += comment ? ' ' : '_';
    }
    if (!comment) line += "')";
  }
  if (Chance(10)) {
    for (char& c : line) {
      if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
  }
  if (line.size() > kMaxLine) line.resize(kMaxLine);
  while (!line.empty() && line.back() == ' ') line.pop_back();
}

void DictionaryGenerator::NextLine(std::string& line) {
  line.clear();
  // Stand-alone comments and blank lines fall between any two declarations.
  if (Chance(6)) {
    Comment(line, Chance(40));
    return Finish(line);
  }
  if (Chance(3)) return;

  switch (part_) {
    case Part::kFileHeader:
      FileHeader(line);
      part_ = Part::kKeys;
      remaining_ = static_cast<int>(Below(4));
      break;
    case Part::kKeys:
      if (remaining_-- > 0) {
        Key(line);
        break;
      }
      part_ = Part::kRecordHeader;
      [[fallthrough]];
    case Part::kRecordHeader:
      line += "Record";
      Gap(line);
      line += "RECORD,PRE()";
      part_ = Part::kFields;
      remaining_ = static_cast<int>(5 + Below(40));
      group_depth_ = 0;
      break;
    case Part::kFields:
      if (remaining_-- > 0) {
        Field(line);
        break;
      }
      part_ = Part::kRecordEnd;
      [[fallthrough]];
    case Part::kRecordEnd:
      line.append(2 + Below(6), ' ');
      line += "END";
      // Close what is still open before the record's own END.
      if (group_depth_ > 0) {
        --group_depth_;
        break;
      }
      part_ = Part::kFileEnd;
      break;
    case Part::kFileEnd:
      line += Chance(50) ? "  END" : "  .";
      part_ = Part::kGap;
      break;
    case Part::kGap:
      part_ = Part::kFileHeader;
      return;  // a blank line between files
  }
  Finish(line);
}

bool DictionaryGenerator::WriteFile(const std::string& path, std::int64_t bytes,
                                    std::uint64_t seed) {
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) {
    std::fprintf(stderr, "cannot create %s: %s\n", path.c_str(), std::strerror(errno));
    return false;
  }
  DictionaryGenerator generator(seed);
  std::string line;
  std::string chunk;
  constexpr std::size_t kChunk = 1 << 20;
  chunk.reserve(kChunk + kMaxLine + 1);
  std::int64_t written = 0;
  bool ok = true;
  while (ok && written < bytes) {
    chunk.clear();
    while (chunk.size() < kChunk && written + static_cast<std::int64_t>(chunk.size()) < bytes) {
      generator.NextLine(line);
      chunk += line;
      chunk += '\n';
    }
    ok = std::fwrite(chunk.data(), 1, chunk.size(), file) == chunk.size();
    written += static_cast<std::int64_t>(chunk.size());
  }
  if (std::fclose(file) != 0) ok = false;
  if (!ok) std::fprintf(stderr, "cannot write %s: %s\n", path.c_str(), std::strerror(errno));
  return ok;
}

}  // namespace morlan

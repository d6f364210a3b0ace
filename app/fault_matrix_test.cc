// The fix run under file faults: every operation a run makes on the two dictionary files fails,
// once or from then on, while the real fix procedure runs headless on a thread of its own. Each
// case checks what the person is shown, whether the program halts, how the run ends, that the
// input is never changed and that the output holds whole lines of the correct output and
// nothing else.
//
// With MORLAN_FAULT_TABLE set to a file name, a run of the whole suite in one process writes
// the observed behaviour there as a markdown table (operation | file | mode | message |
// outcome).
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <ostream>
#include <string>
#include <vector>

#include "app/dictionary.h"
#include "app/fix_procedure.h"
#include "app/frame_procedure.h"
#include "common/codes.h"
#include "gtest/gtest.h"
#include "platform/fault_injecting_file.h"
#include "platform/runtime.h"
#include "testing/bounded_wait.h"
#include "testing/dictionary_fixture.h"
#include "testing/reference_rewrite.h"

namespace morlan {
namespace {

using testing::DictionaryFixture;

enum class Target : std::uint8_t { kInput, kOutput };
enum class Ending : std::uint8_t { kCompleted, kCancelled };

// The lines of the sample let through before a fault on a per-line operation fires: the fault
// lands in the middle of the run, in the middle of a batch.
constexpr int kLinesBeforeFault = 100;
// Every line of the output.
constexpr int kAll = -1;

struct FaultCase {
  FileOperation op;
  const char* op_name;
  Target target;
  FaultDuration duration;
  // Calls of the operation let through before the fault.
  int passing = 0;
  // The run starts without "VRSQ1.qdl" (the only way a run creates INP).
  bool input_missing = false;

  // What the run must do.
  std::vector<std::string> captions;  // message boxes, in order
  bool halts = false;
  Ending ending = Ending::kCompleted;
  int lines = kAll;     // lines in VRSQ2.qdl; kAll: the whole correct output
  bool reached = true;  // the run makes the operation on that file at all
};

std::string Name(const FaultCase& c) {
  return std::string(c.op_name) + (c.target == Target::kInput ? "_INP" : "_OUT") +
         (c.duration == FaultDuration::kOnce ? "_Once" : "_FromNow");
}

// Names the case in gtest's output instead of dumping its bytes.
void PrintTo(const FaultCase& c, std::ostream* os) { *os << Name(c); }

std::string Joined(const std::vector<std::string>& captions) {
  if (captions.empty()) return "none";
  std::string joined;
  for (const std::string& c : captions) joined += (joined.empty() ? "\"" : ", \"") + c + "\"";
  return joined;
}

// Every case, by operation, file and mode.
std::vector<FaultCase> Cases() {
  constexpr FaultDuration kOnce = FaultDuration::kOnce;
  constexpr FaultDuration kFromNow = FaultDuration::kPersistent;
  std::vector<FaultCase> cases;
  const auto both_modes = [&](FaultCase c) {
    c.duration = kOnce;
    cases.push_back(c);
    c.duration = kFromNow;
    cases.push_back(c);
  };
  using Op = FileOperation;
  const Target inp = Target::kInput;
  const Target out = Target::kOutput;
  // clang-format off
  // Open and create failures halt the program.
  both_modes({Op::kOpen, "open", inp, kOnce, 0, false,
              {"File Access Error"}, true, Ending::kCancelled, 0});
  both_modes({Op::kOpen, "open", out, kOnce, 0, false,
              {"File Access Error"}, true, Ending::kCancelled, 0});
  both_modes({Op::kCreate, "create", inp, kOnce, 0, true,
              {"File Creation Error"}, true, Ending::kCancelled, 0});
  both_modes({Op::kCreate, "create", out, kOnce, 0, false,
              {"File Creation Error"}, true, Ending::kCancelled, 0});
  // The run never removes, writes to or sizes up the input, and never reads the output.
  both_modes({Op::kRemove, "remove", inp, kOnce, 0, false,
              {}, false, Ending::kCompleted, kAll, false});
  // Appending to an old output would be reported as complete: the run refuses to start.
  both_modes({Op::kRemove, "remove", out, kOnce, 0, false,
              {"File Removal Error"}, false, Ending::kCancelled, 0});
  both_modes({Op::kNext, "next", inp, kOnce, kLinesBeforeFault, false,
              {"Record Retrieval Error"}, false, Ending::kCancelled, kLinesBeforeFault});
  both_modes({Op::kNext, "next", out, kOnce, 0, false,
              {}, false, Ending::kCompleted, kAll, false});
  both_modes({Op::kAdd, "add", inp, kOnce, 0, false,
              {}, false, Ending::kCompleted, kAll, false});
  // The driver's write failures stick: one message, then the run stops with the lines before.
  both_modes({Op::kAdd, "add", out, kOnce, kLinesBeforeFault, false,
              {"Record Insert Error"}, false, Ending::kCancelled, kLinesBeforeFault});
  // Shown for the input too, although a file that was only read loses nothing when its close
  // fails.
  both_modes({Op::kClose, "close", inp, kOnce, 0, false,
              {"Record Insert Error"}, false, Ending::kCompleted, kAll});
  // The output's driver buffers lines: a failed close may have lost the last ones.
  both_modes({Op::kClose, "close", out, kOnce, 0, false,
              {"Record Insert Error"}, false, Ending::kCompleted, kAll});
  // Only the percentage depends on these; the quick-scan option's reply is not examined.
  both_modes({Op::kSize, "size", inp, kOnce, 0, false,
              {}, false, Ending::kCompleted, kAll});
  both_modes({Op::kSize, "size", out, kOnce, 0, false,
              {}, false, Ending::kCompleted, kAll, false});
  both_modes({Op::kRecordCount, "record count", inp, kOnce, 0, false,
              {}, false, Ending::kCompleted, kAll});
  both_modes({Op::kRecordCount, "record count", out, kOnce, 0, false,
              {}, false, Ending::kCompleted, kAll, false});
  both_modes({Op::kSend, "send", inp, kOnce, 0, false,
              {}, false, Ending::kCompleted, kAll});
  both_modes({Op::kSend, "send", out, kOnce, 0, false,
              {}, false, Ending::kCompleted, kAll, false});
  // clang-format on
  return cases;
}

// The observed rows, in the order the cases ran.
std::vector<std::string>& TableRows() {
  static std::vector<std::string> rows;
  return rows;
}

class FaultMatrixTest : public DictionaryFixture, public ::testing::WithParamInterface<FaultCase> {
 public:
  static void TearDownTestSuite() {
    const char* path = std::getenv("MORLAN_FAULT_TABLE");
    if (path == nullptr || TableRows().empty()) return;
    std::ofstream table(path, std::ios::binary | std::ios::trunc);
    table << "| operation | file | mode | message | outcome |\n|---|---|---|---|---|\n";
    for (const std::string& row : TableRows()) table << row << "\n";
  }
};

TEST_P(FaultMatrixTest, ShowsItsMessageAndKeepsBothFilesSound) {
  const FaultCase& c = GetParam();
  const std::string input = SampleInput();
  const std::string reference = testing::ReferenceRewrite(input);
  ASSERT_EQ(reference, SampleOutput()) << "the reference rule and the sample disagree";
  const std::vector<std::string> reference_lines = SplitLines(reference);
  if (!c.input_missing) dir_.Write(kInputFileName, input);

  // The fixture's wrappers: the dictionary objects still use them when TearDown kills them.
  FaultInjectingFile& inp = FaultyInput();
  FaultInjectingFile& out = FaultyOutput();
  FaultInjectingFile& faulty = c.target == Target::kInput ? inp : out;
  faulty.FailAfter(c.op, c.passing, InjectedFault::Driver("5", "Input/output error"), c.duration);
  SetUpGlobals(&inp, &out);

  std::atomic<std::uint8_t> response{0};
  ASSERT_TRUE(Runtime::StartThread([&response] { response = FixQdl(); }, kFixStackBytes));
  if (!testing::WaitUntil([] { return Runtime::RunningThreads() == 0; },
                          std::chrono::seconds(20))) {
    testing::GiveUp("the fix run under " + Name(c) + " did not end: it hangs");
  }

  const std::vector<std::string> captions = Captions();
  const bool halted = !presenter_.halts().empty();
  const bool output_exists = OutputExists();
  const std::string output = output_exists ? Output() : "";
  const std::vector<std::string> output_lines = SplitLines(output);
  const Ending ending = response == ResponseCompleted ? Ending::kCompleted : Ending::kCancelled;

  std::string outcome = ending == Ending::kCompleted ? "completed" : "cancelled";
  if (halted) outcome += ", halted";
  outcome += output_exists ? ", " + std::to_string(output_lines.size()) + "/" +
                                 std::to_string(reference_lines.size()) + " lines"
                           : ", no VRSQ2.qdl";
  if (faulty.failures(c.op) == 0) outcome += " (not called)";
  TableRows().push_back("| " + std::string(c.op_name) + " | " +
                        (c.target == Target::kInput ? "INP" : "OUT") + " | " +
                        (c.duration == FaultDuration::kOnce ? "once" : "from then on") + " | " +
                        Joined(captions) + " | " + outcome + " |");

  EXPECT_EQ(captions, c.captions);
  EXPECT_EQ(halted, c.halts);
  EXPECT_EQ(ending, c.ending) << "response " << int{response.load()};
  EXPECT_EQ(faulty.failures(c.op) > 0, c.reached) << "fault fired " << faulty.failures(c.op);

  // However the counts failed, the progress never passes 100%.
  for (const WindowSnapshot& shown : Shown(testing::kProgressId)) {
    EXPECT_LE(Value(shown, kProgressThermometer), 100);
    const std::string text = Text(shown, kProgressPercentText);
    EXPECT_LE(std::atoi(text.c_str()), 100) << text;
  }

  // The input is only ever read: byte for byte as it was (still absent when it was missing and
  // could not be created).
  if (!c.input_missing) {
    EXPECT_EQ(dir_.Read(kInputFileName), input);
  } else if (std::filesystem::exists(dir_.File(kInputFileName))) {
    EXPECT_EQ(dir_.Read(kInputFileName), "");
  }

  // The output: whole lines, each the correct one, and as many as the case says.
  EXPECT_EQ(output, reference.substr(0, output.size())) << "not a prefix of the correct output";
  EXPECT_TRUE(output.empty() || output.back() == '\n') << "ends inside a line";
  const std::size_t expected_lines =
      c.lines == kAll ? reference_lines.size() : static_cast<std::size_t>(c.lines);
  EXPECT_EQ(output_lines.size(), expected_lines);
}

INSTANTIATE_TEST_SUITE_P(EveryOperation, FaultMatrixTest, ::testing::ValuesIn(Cases()),
                         [](const ::testing::TestParamInfo<FaultCase>& info) {
                           std::string name = Name(info.param);
                           for (char& ch : name) {
                             if (ch == ' ') ch = '_';
                           }
                           return name;
                         });

}  // namespace
}  // namespace morlan

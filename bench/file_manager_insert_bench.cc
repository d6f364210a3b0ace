// Inserts the lines of a generated dictionary into a text-line file twice: through the driver
// directly (TextLineFile::Add) and through the framework (FileManager::Insert on a file without
// keys, opened through its FileRelations as the fix procedure opens its output), and prints both
// times. Usage: file_manager_insert_bench [directory [megabytes]]
//
// Both runs read the input line by line through a TextLineFile, as the fix procedure does, so
// the difference between them is the cost of the manager's per-record path (use bookkeeping,
// validation hooks, error-state checks). The files go into `directory` (default: the current
// one) and are removed at the end. Each way runs five times, alternating, after one read that
// brings the input into the page cache; the best time of each counts. Both outputs must give
// back the input byte for byte. The last line printed is "ratio: X", the manager's time over
// the driver's.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>

#include "bench/bench_harness.h"
#include "common/levels.h"
#include "data/file_manager.h"
#include "data/file_relations.h"
#include "errors/error_manager.h"
#include "platform/data_file.h"
#include "platform/headless_presenter.h"
#include "platform/runtime.h"
#include "platform/text_line_file.h"

namespace morlan {
namespace {

// Lines inserted with FileManager::Insert; the manager creates the missing output when its
// relation manager opens it. Returns the number of lines, or -1 on failure.
std::int64_t ManagerInsert(ErrorManager& errors, const std::string& from, const std::string& to) {
  TextLineFile in(from, BenchHarness::LineLayout());
  TextLineFile out(to, BenchHarness::LineLayout());
  FileManager manager;
  manager.Init(&out, &errors);
  FileRelations relations;
  relations.Init(&manager, true);
  if (relations.Open(false) != FatalityNone) {
    std::fprintf(stderr, "open %s failed\n", to.c_str());
    return -1;
  }
  in.Open(kShareDenyNone | kAccessRead);
  if (BenchHarness::Failed("open", from)) return -1;

  const std::int64_t lines = BenchHarness::CopyLines(in, out.record(), [&] {
    if (manager.Insert() == FatalityNone) return true;
    BenchHarness::Failed("insert", to);
    return false;
  });
  if (lines < 0) return -1;
  in.Close();
  relations.Close(false);
  if (BenchHarness::Failed("close", to)) return -1;
  relations.Kill();
  manager.Kill();
  return lines;
}

int Run(const std::filesystem::path& directory, std::int64_t bytes) {
  // Messages would wait for an answer; a benchmark wants them recorded and its run ended.
  HeadlessPresenter presenter;
  Runtime::InstallPresenter(&presenter);
  ErrorManager errors;
  errors.InitStandard();
  errors.EnterProcedure("bench");

  const auto manager_insert = [&](const std::string& from, const std::string& to) {
    const std::int64_t lines = ManagerInsert(errors, from, to);
    if (presenter.message_boxes().empty()) return lines;
    for (const MessageBoxRequest& box : presenter.message_boxes()) {
      std::fprintf(stderr, "%s: %s\n", box.caption.c_str(), box.text.c_str());
    }
    return std::int64_t{-1};
  };
  BenchHarness::Result result;
  const bool ok =
      BenchHarness::Compare(directory, bytes, "insert", {"driver", BenchHarness::TextLineCopy},
                            {"manager", manager_insert}, result);
  errors.LeaveProcedure();
  errors.Kill();
  Runtime::Reset();
  if (!ok) return 1;

  BenchHarness::Print(result, "driver insert", "manager insert", true,
                      result.second_seconds / result.first_seconds);
  return 0;
}

}  // namespace
}  // namespace morlan

int main(int argc, char** argv) { return morlan::BenchHarness::Main(argc, argv, morlan::Run); }

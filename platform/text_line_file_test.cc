#include "platform/text_line_file.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <fstream>
#include <future>
#include <memory>
#include <span>
#include <string>
#include <thread>
#include <vector>

#include "gtest/gtest.h"
#include "platform/file_callback_interface.h"
#include "platform/headless_presenter.h"
#include "platform/runtime.h"
#include "platform/runtime_error_state.h"
#include "testing/records.h"
#include "testing/temp_dir.h"
#include "testing/unwritable_file.h"

namespace morlan {
namespace {

constexpr std::uint8_t kReadDenyNone = kAccessRead | kShareDenyNone;
constexpr std::uint8_t kReadWriteDenyNone = kAccessReadWrite | kShareDenyNone;

using testing::LineLayout;
using testing::RecordText;

// Reads the whole file; each entry is the record text or "<code>" for a failed read.
std::vector<std::string> ReadAll(TextLineFile& file) {
  std::vector<std::string> out;
  for (;;) {
    file.Next();
    const StatusCode code = RuntimeErrorState::code();
    if (code == StatusNoRecord) return out;
    out.push_back(code == StatusOk ? RecordText(file) : "<" + std::to_string(code) + ">");
  }
}

class TextLineFileTest : public ::testing::Test {
 protected:
  std::unique_ptr<TextLineFile> OpenWith(std::string_view content, std::uint32_t width = 255) {
    auto file = std::make_unique<TextLineFile>(dir_.Write("in.qdl", content), LineLayout(width));
    file->Open(kReadDenyNone);
    EXPECT_EQ(RuntimeErrorState::code(), StatusOk);
    return file;
  }

  testing::TempDir dir_;
};

TEST_F(TextLineFileTest, LineEndings) {
  auto file = OpenWith("unix\nwindows\r\nlone\rcr\n\nlast");
  EXPECT_EQ(ReadAll(*file), (std::vector<std::string>{"unix", "windows", "lone\rcr", "", "last"}));
  // The field is blank padded after the line.
  EXPECT_EQ(std::string_view(file->record(), 6), "last  ");
}

TEST_F(TextLineFileTest, EmptyFileAndTrailingTerminator) {
  EXPECT_TRUE(ReadAll(*OpenWith("")).empty());
  EXPECT_EQ(ReadAll(*OpenWith("a\n")), std::vector<std::string>{"a"});
  EXPECT_EQ(ReadAll(*OpenWith("\n")), std::vector<std::string>{""});
  // A file cut after the CR of a CRLF: the CR is still part of the terminator.
  auto cut = OpenWith("a\r\nb\r");
  EXPECT_EQ(ReadAll(*cut), (std::vector<std::string>{"a", "b"}));
  EXPECT_EQ(cut->bytes_read(), 0);  // the failed read at the end
  cut->Reget(nullptr, "3");
  EXPECT_EQ(RecordText(*cut), "b");
  EXPECT_EQ(cut->bytes_read(), 2);
}

TEST_F(TextLineFileTest, OverLongLineFailsWithItsNumberAndLaterLinesStillRead) {
  auto file =
      OpenWith("short\n" + std::string(11, 'x') + "\nafter\n" + std::string(10, 'y') + "\r\n", 10);
  file->Next();
  ASSERT_EQ(RuntimeErrorState::code(), StatusOk);
  file->Next();
  EXPECT_EQ(RuntimeErrorState::code(), StatusDriverError);
  EXPECT_EQ(RuntimeErrorState::driver_text(), "Line 2 is longer than 10 characters");
  // The record still holds the previous line: nothing was cut into it.
  EXPECT_EQ(RecordText(*file), "short");
  file->Next();
  EXPECT_EQ(RecordText(*file), "after");
  // Exactly the record's width, with its CR as part of the terminator, fits.
  file->Next();
  EXPECT_EQ(RuntimeErrorState::code(), StatusOk);
  EXPECT_EQ(RecordText(*file), std::string(10, 'y'));
}

TEST_F(TextLineFileTest, OverLongLineAfterRegetIsNamedCorrectly) {
  auto file = OpenWith("one\ntwo\n" + std::string(11, 'x') + "\n", 10);
  file->Next();
  file->Next();
  const std::string second = file->Position(nullptr);
  // Re-read from the middle, the line's number is not known: its byte offset names it.
  file->Reget(nullptr, second);
  file->Next();
  EXPECT_EQ(RuntimeErrorState::driver_text(), "The line at byte 8 is longer than 10 characters");
  // From the start of the file the numbers are known again.
  file->Reget(nullptr, "0");
  file->Next();
  file->Next();
  EXPECT_EQ(RuntimeErrorState::driver_text(), "Line 3 is longer than 10 characters");
}

TEST_F(TextLineFileTest, LinesAcrossBufferBoundariesReadWhole) {
  // Lines of awkward lengths put terminators, CRs and line starts on every side of the
  // read buffer's edges; one line is longer than the buffer itself.
  std::string content;
  std::vector<std::string> expected;
  for (int i = 0; content.size() < 3 * TextLineFile::kBufferSize; ++i) {
    std::string line(static_cast<std::size_t>(i * 37 % 251), static_cast<char>('a' + i % 26));
    content += line + (i % 3 == 0 ? "\r\n" : "\n");
    expected.push_back(line);
    if (i == 1000) {
      content += std::string(TextLineFile::kBufferSize + 5, 'L') + "\n";
      expected.push_back("<90>");
    }
  }
  auto file = OpenWith(content);
  std::int64_t total = 0;
  std::vector<std::string> got;
  for (;;) {
    file->Next();
    if (RuntimeErrorState::code() == StatusNoRecord) break;
    total += file->bytes_read();
    got.push_back(RuntimeErrorState::code() == StatusOk
                      ? RecordText(*file)
                      : "<" + std::to_string(RuntimeErrorState::code()) + ">");
  }
  EXPECT_EQ(got, expected);
  // Byte counts, the failed read's included, add up to the file's size.
  EXPECT_EQ(total, static_cast<std::int64_t>(content.size()));
  EXPECT_EQ(file->Size(), total);
  EXPECT_EQ(file->RecordCount(), 0);
}

TEST_F(TextLineFileTest, ByteCountsIncludeTerminators) {
  auto file = OpenWith("ab\r\ncd\nlast");
  std::vector<std::int64_t> counts;
  for (file->Next(); RuntimeErrorState::code() == StatusOk; file->Next()) {
    counts.push_back(file->bytes_read());
  }
  EXPECT_EQ(counts, (std::vector<std::int64_t>{4, 3, 4}));
}

TEST_F(TextLineFileTest, AddTrimsBlanksAndReadsBack) {
  const std::string name = dir_.File("out.qdl");
  TextLineFile out(name, LineLayout(20));
  out.Create();
  ASSERT_EQ(RuntimeErrorState::code(), StatusOk);
  out.Open(kReadWriteDenyNone);
  for (std::string_view line : {"first  ", "", "  indented", "\ttab"}) {
    AssignText({out.record(), out.record_size()}, line);
    out.Add();
    ASSERT_EQ(RuntimeErrorState::code(), StatusOk);
  }
  // Reads of the same object see what it appended.
  EXPECT_EQ(ReadAll(out), (std::vector<std::string>{"first", "", "  indented", "\ttab"}));
  out.Close();
  ASSERT_EQ(RuntimeErrorState::code(), StatusOk);
  EXPECT_EQ(dir_.Read("out.qdl"), "first\n\n  indented\n\ttab\n");
}

TEST_F(TextLineFileTest, BufferedLinesCountAndReadAfterARegetOfAnEarlierLine) {
  // The last line has no LF yet: the Add ends it first.
  const std::string name = dir_.Write("grow.qdl", "one");
  TextLineFile out(name, LineLayout(20));
  out.Open(kReadWriteDenyNone);
  out.Next();
  const std::string first = out.Position(nullptr);
  AssignText({out.record(), out.record_size()}, "two");
  out.Add();
  // Still in the buffer, yet part of the file as its user sees it.
  EXPECT_EQ(dir_.Read("grow.qdl"), "one");
  EXPECT_EQ(out.Size(), 8);
  // A position taken before the Add reads its line as it is now, ended, and reading goes on
  // into the added one.
  out.Reget(nullptr, first);
  EXPECT_EQ(RecordText(out), "one");
  EXPECT_EQ(out.bytes_read(), 4);
  out.Next();
  EXPECT_EQ(RuntimeErrorState::code(), StatusOk);
  EXPECT_EQ(RecordText(out), "two");
  out.Close();
  EXPECT_EQ(dir_.Read("grow.qdl"), "one\ntwo\n");
}

TEST_F(TextLineFileTest, CreateAndRemoveRefuseAFileThatIsOpen) {
  const std::string name = dir_.Write("held.qdl", "kept\n");
  const std::string alias = dir_.File("alias.qdl");
  ASSERT_EQ(::link(name.c_str(), alias.c_str()), 0);
  TextLineFile reader(name, LineLayout(10));
  reader.Open(kReadDenyNone);
  TextLineFile writer(alias, LineLayout(10));
  writer.Open(kReadWriteDenyNone);
  AssignText({writer.record(), writer.record_size()}, "added");
  writer.Add();
  // Another object, by either name: neither truncating nor unlinking happens under them.
  for (const std::string& other_name : {name, alias}) {
    TextLineFile other(other_name, LineLayout(10));
    other.Create();
    EXPECT_EQ(RuntimeErrorState::code(), StatusAccessDenied) << other_name;
    other.Remove();
    EXPECT_EQ(RuntimeErrorState::code(), StatusAccessDenied) << other_name;
  }
  writer.Close();
  EXPECT_EQ(ReadAll(reader), (std::vector<std::string>{"kept", "added"}));
  reader.Close();
  // Once nobody holds it, both work again.
  TextLineFile other(alias, LineLayout(10));
  other.Remove();
  EXPECT_EQ(RuntimeErrorState::code(), StatusOk);
  other.Create();
  EXPECT_EQ(RuntimeErrorState::code(), StatusOk);
  EXPECT_EQ(dir_.Read("held.qdl"), "kept\nadded\n");
}

TEST_F(TextLineFileTest, AddRefusesARecordThatWouldNotReadBackAsItself) {
  TextLineFile out(dir_.File("out.qdl"), LineLayout(20));
  out.Create();
  out.Open(kReadWriteDenyNone);
  // A line break splits the record in two; a CR at the end (the blanks after it clipped) would
  // be read as the terminator's.
  for (std::string_view refused : {"two\nlines", "ends in\r", "\r"}) {
    AssignText({out.record(), out.record_size()}, refused);
    out.Add();
    EXPECT_EQ(RuntimeErrorState::code(), StatusDriverError) << refused;
  }
  // A CR inside the line reads back as itself.
  AssignText({out.record(), out.record_size()}, "in\rside");
  out.Add();
  EXPECT_EQ(RuntimeErrorState::code(), StatusOk);
  out.Close();
  EXPECT_EQ(RuntimeErrorState::code(), StatusOk);
  EXPECT_EQ(dir_.Read("out.qdl"), "in\rside\n");
}

TEST_F(TextLineFileTest, AddAfterAnUnterminatedLastLineStartsANewLine) {
  // Write-only opens look at the last byte too.
  for (const std::uint8_t mode :
       {kReadWriteDenyNone, std::uint8_t{kAccessWrite | kShareDenyNone}}) {
    dir_.Write("open-end.qdl", "one\r");
    TextLineFile out(dir_.File("open-end.qdl"), LineLayout(20));
    out.Open(mode);
    AssignText({out.record(), out.record_size()}, "two");
    out.Add();
    out.Close();
    EXPECT_EQ(dir_.Read("open-end.qdl"), "one\r\ntwo\n") << int{mode};
  }
}

TEST_F(TextLineFileTest, OpenCodes) {
  TextLineFile missing(dir_.File("missing.qdl"), LineLayout(10));
  EXPECT_FALSE(missing.Exists());
  missing.Open(kReadDenyNone);
  EXPECT_EQ(RuntimeErrorState::code(), StatusNotFound);
  EXPECT_FALSE(missing.IsOpen());
  missing.Remove();
  EXPECT_EQ(RuntimeErrorState::code(), StatusNotFound);

  auto file = OpenWith("x\n");
  file->Open(kReadDenyNone);
  EXPECT_EQ(RuntimeErrorState::code(), StatusAlreadyOpen);
  EXPECT_TRUE(file->IsOpen());
  file->Close();
  file->Close();
  EXPECT_EQ(RuntimeErrorState::code(), StatusNotOpen);
}

TEST_F(TextLineFileTest, DenyAllSharingRefusesOtherOpens) {
  const std::string name = dir_.Write("shared.qdl", "x\n");
  TextLineFile first(name, LineLayout(10));
  TextLineFile second(name, LineLayout(10));
  first.Open(kAccessReadWrite | kShareDenyAll);
  ASSERT_EQ(RuntimeErrorState::code(), StatusOk);
  second.Open(kReadDenyNone);
  EXPECT_EQ(RuntimeErrorState::code(), StatusAccessDenied);
  first.Close();
  second.Open(kReadDenyNone);
  EXPECT_EQ(RuntimeErrorState::code(), StatusOk);
}

TEST_F(TextLineFileTest, AccessBitsAreHonoured) {
  const std::string name = dir_.Write("modes.qdl", "line\n");
  TextLineFile reader(name, LineLayout(10));
  reader.Open(kReadDenyNone);
  reader.Add();
  EXPECT_EQ(RuntimeErrorState::code(), StatusAccessDenied);
  reader.Close();

  TextLineFile writer(name, LineLayout(10));
  writer.Open(kAccessWrite | kShareDenyNone);
  writer.Next();
  EXPECT_EQ(RuntimeErrorState::code(), StatusAccessDenied);
  AssignText({writer.record(), writer.record_size()}, "more");
  writer.Add();
  writer.Close();
  EXPECT_EQ(dir_.Read("modes.qdl"), "line\nmore\n");
}

TEST_F(TextLineFileTest, WriteAccessDeniedButReadable) {
  const std::string name = dir_.Write("locked.qdl", "line\n");
  const testing::UnwritableFile unwritable(name);
  if (!unwritable.made()) GTEST_SKIP() << "cannot make a file unwritable here";
  TextLineFile file(name, LineLayout(10));
  file.Open(kReadWriteDenyNone);
  const StatusCode write_open = RuntimeErrorState::code();
  file.Open(kReadDenyNone);
  const StatusCode read_open = RuntimeErrorState::code();
  file.Close();
  EXPECT_EQ(write_open, StatusAccessDenied);
  EXPECT_EQ(read_open, StatusOk);
}

TEST_F(TextLineFileTest, WriteFailureIsNeverSilent) {
  // One line fits the buffer, so the failure surfaces when Close flushes it.
  TextLineFile full("/dev/full", LineLayout(10));
  full.Open(kAccessWrite | kShareDenyNone);
  ASSERT_EQ(RuntimeErrorState::code(), StatusOk);
  AssignText({full.record(), full.record_size()}, "lost");
  full.Add();
  EXPECT_EQ(RuntimeErrorState::code(), StatusOk);
  full.Close();
  EXPECT_EQ(RuntimeErrorState::code(), StatusDriverError);
  EXPECT_EQ(RuntimeErrorState::driver_code(), std::to_string(ENOSPC));
  EXPECT_FALSE(full.IsOpen());

  // Enough lines to fill the buffer: from the Add that meets the flush on, every Add fails, and
  // so does the Close, all with the system's code.
  full.Open(kAccessWrite | kShareDenyNone);
  std::size_t first_failure = 0;
  std::size_t succeeded_after = 0;
  for (std::size_t i = 1; i <= TextLineFile::kBufferSize / 5 + 10; ++i) {
    full.Add();
    if (RuntimeErrorState::code() == StatusOk) {
      if (first_failure != 0) ++succeeded_after;
      continue;
    }
    EXPECT_EQ(RuntimeErrorState::driver_code(), std::to_string(ENOSPC));
    if (first_failure == 0) first_failure = i;
  }
  EXPECT_NE(first_failure, 0u);
  EXPECT_EQ(succeeded_after, 0u);
  full.Close();
  EXPECT_EQ(RuntimeErrorState::code(), StatusDriverError);
  EXPECT_EQ(RuntimeErrorState::driver_code(), std::to_string(ENOSPC));
  // The failure belonged to that open; a new one starts clean.
  full.Open(kAccessWrite | kShareDenyNone);
  full.Add();
  EXPECT_EQ(RuntimeErrorState::code(), StatusOk);
  full.Close();
}

// What a child process saw while adding lines to a file under a size limit.
struct LimitedRun {
  int first_failure = -1;   // index of the first Add that failed
  int succeeded_after = 0;  // Adds reported as done after it
  int failure_code = 0;
  int close_code = 0;
  char close_driver_code[16] = {};
};

// Adds `lines` to the empty file `name` (record `width` wide) in a child process whose files may
// not grow beyond `limit` bytes, with SIGXFSZ ignored so writes come back short. Waits at most
// ten seconds for it.
LimitedRun AddUnderSizeLimit(const std::string& name, std::uint32_t width,
                             const std::vector<std::string>& lines, rlim_t limit) {
  LimitedRun run;
  int pipe_fds[2];
  if (::pipe(pipe_fds) != 0) {
    ADD_FAILURE() << "pipe failed";
    return run;
  }
  const pid_t child = ::fork();
  if (child == 0) {
    ::close(pipe_fds[0]);
    const rlimit bound{limit, limit};
    ::signal(SIGXFSZ, SIG_IGN);
    if (::setrlimit(RLIMIT_FSIZE, &bound) != 0) ::_exit(2);
    TextLineFile out(name, LineLayout(width));
    out.Open(kReadWriteDenyNone);
    if (RuntimeErrorState::code() != StatusOk) ::_exit(3);
    for (std::size_t i = 0; i < lines.size(); ++i) {
      AssignText({out.record(), out.record_size()}, lines[i]);
      out.Add();
      const StatusCode code = RuntimeErrorState::code();
      if (code == StatusOk && run.first_failure >= 0) ++run.succeeded_after;
      if (code != StatusOk && run.first_failure < 0) {
        run.first_failure = static_cast<int>(i);
        run.failure_code = code;
      }
    }
    out.Close();
    run.close_code = RuntimeErrorState::code();
    const std::string_view driver_code = RuntimeErrorState::driver_code();
    driver_code.copy(run.close_driver_code, sizeof run.close_driver_code - 1);
    const bool sent = ::write(pipe_fds[1], &run, sizeof run) == sizeof run;
    ::_exit(sent ? 0 : 4);
  }
  ::close(pipe_fds[1]);
  if (child < 0) {
    ::close(pipe_fds[0]);
    ADD_FAILURE() << "fork failed";
    return run;
  }
  int status = 0;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (::waitpid(child, &status, WNOHANG) == 0) {
    if (std::chrono::steady_clock::now() > deadline) {
      ::kill(child, SIGKILL);
      ::waitpid(child, &status, 0);
      ::close(pipe_fds[0]);
      ADD_FAILURE() << "the child adding lines did not finish within ten seconds";
      return run;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  const bool received = ::read(pipe_fds[0], &run, sizeof run) == sizeof run;
  ::close(pipe_fds[0]);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0 && received)
      << "child status " << status;
  return run;
}

// Checks that `content` is the first lines of `lines`, each whole, and returns how many.
std::size_t ExpectWholeLinePrefix(std::string_view content, const std::vector<std::string>& lines) {
  std::size_t count = 0;
  while (!content.empty()) {
    const std::size_t lf = content.find('\n');
    if (lf == std::string_view::npos) {
      ADD_FAILURE() << "torn last line of " << content.size() << " bytes after " << count;
      return count;
    }
    if (count >= lines.size() || content.substr(0, lf) != lines[count]) {
      ADD_FAILURE() << "line " << count << " is not the line added";
      return count;
    }
    content.remove_prefix(lf + 1);
    ++count;
  }
  return count;
}

TEST_F(TextLineFileTest, ShortWriteLeavesWholeLinesAndEveryLaterAddFails) {
  // Lines of many lengths; the limit falls inside a line of the second buffer written.
  std::vector<std::string> lines;
  std::size_t total = 0;
  const rlim_t limit = TextLineFile::kBufferSize + 40000;
  std::size_t lines_within_limit = 0;
  for (int i = 0; total < 3 * TextLineFile::kBufferSize; ++i) {
    std::string line = "line " + std::to_string(i) + ":";
    line.append(static_cast<std::size_t>(i * 53 % 200), static_cast<char>('a' + i % 26));
    total += line.size() + 1;
    if (total <= limit) ++lines_within_limit;
    lines.push_back(std::move(line));
  }
  const std::string name = dir_.Write("limited.qdl", "");
  const LimitedRun run = AddUnderSizeLimit(name, 255, lines, limit);
  EXPECT_GE(run.first_failure, 0);
  EXPECT_EQ(run.failure_code, StatusDriverError);
  EXPECT_EQ(run.succeeded_after, 0);
  EXPECT_EQ(run.close_code, StatusDriverError);
  EXPECT_STREQ(run.close_driver_code, std::to_string(EFBIG).c_str());
  const std::string content = dir_.Read("limited.qdl");
  // Everything up to the last whole line that fitted, nothing torn after it.
  EXPECT_EQ(ExpectWholeLinePrefix(content, lines), lines_within_limit);

  // A line longer than the buffer is written straight through; cut short, it goes entirely.
  const std::uint32_t wide = TextLineFile::kBufferSize + 100;
  const std::vector<std::string> with_long = {"first", "second", std::string(wide - 10, 'L'),
                                              "after"};
  const std::string long_name = dir_.Write("limited-long.qdl", "");
  const LimitedRun long_run = AddUnderSizeLimit(long_name, wide, with_long, 100000);
  EXPECT_EQ(long_run.first_failure, 2);
  EXPECT_EQ(long_run.succeeded_after, 0);
  EXPECT_EQ(long_run.close_code, StatusDriverError);
  const std::string long_content = dir_.Read("limited-long.qdl");
  EXPECT_EQ(ExpectWholeLinePrefix(long_content, with_long), 2u);
}

TEST_F(TextLineFileTest, HaltWritesOutTheBufferedLinesOfEveryThread) {
  HeadlessPresenter presenter;
  Runtime::InstallPresenter(&presenter);
  std::promise<void> added;
  std::promise<void> release;
  // A file that another thread keeps open, its line still in the buffer, while the halt runs.
  std::thread other([&] {
    TextLineFile file(dir_.File("other.qdl"), LineLayout(20));
    file.Create();
    file.Open(kReadWriteDenyNone);
    AssignText({file.record(), file.record_size()}, "from the other");
    file.Add();
    added.set_value();
    release.get_future().wait_for(std::chrono::seconds(10));
  });
  const bool other_added =
      added.get_future().wait_for(std::chrono::seconds(5)) == std::future_status::ready;
  TextLineFile here(dir_.File("here.qdl"), LineLayout(20));
  here.Create();
  here.Open(kReadWriteDenyNone);
  AssignText({here.record(), here.record_size()}, "from here");
  here.Add();

  Runtime::Halt(3, "File Access Error");
  EXPECT_EQ(dir_.Read("here.qdl"), "from here\n");
  EXPECT_EQ(dir_.Read("other.qdl"), "from the other\n");
  EXPECT_TRUE(other_added);
  release.set_value();
  other.join();
  Runtime::Reset();
  // Written once only: closing adds nothing more.
  here.Close();
  EXPECT_EQ(RuntimeErrorState::code(), StatusOk);
  EXPECT_EQ(dir_.Read("here.qdl"), "from here\n");
  EXPECT_EQ(dir_.Read("other.qdl"), "from the other\n");
}

TEST_F(TextLineFileTest, FlushingAllOpenFilesWhileAnotherThreadAdds) {
  std::vector<std::string> lines;
  std::string expected;
  for (int i = 0; i < 60000; ++i) {
    lines.push_back("line " + std::to_string(i));
    expected += lines.back() + "\n";
  }
  std::atomic<bool> done{false};
  StatusCode close_code = StatusOk;
  std::thread writer([&] {
    TextLineFile file(dir_.File("busy.qdl"), LineLayout(20));
    file.Create();
    file.Open(kAccessWrite | kShareDenyNone);
    for (const std::string& line : lines) {
      AssignText({file.record(), file.record_size()}, line);
      file.Add();
    }
    file.Close();
    close_code = RuntimeErrorState::code();
    done = true;
  });
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (!done && std::chrono::steady_clock::now() < deadline) TextLineFile::FlushAllOpen();
  EXPECT_TRUE(done) << "the writer did not finish within twenty seconds";
  writer.join();
  EXPECT_EQ(close_code, StatusOk);
  // Every line once, in order, however the flushes fell.
  EXPECT_EQ(dir_.Read("busy.qdl"), expected);
}

// Flushes every open file when `file` reports its close, as a halt raised from there would.
class FlushAllOnClose final : public FileCallbackInterface {
 public:
  bool DriverNotify(std::uint32_t operation, std::span<const std::uint32_t>) override {
    if (operation == kNotifyClose) TextLineFile::FlushAllOpen();
    return true;
  }
  bool DriverNotifyDone() override { return true; }
};

TEST_F(TextLineFileTest, FlushingAllFromInsideAFileOperationDoesNotDeadlock) {
  // Runs on a thread of its own that owns everything it uses, so a deadlock fails the test
  // instead of hanging it.
  auto finished = std::make_shared<std::promise<std::string>>();
  std::future<std::string> result = finished->get_future();
  std::thread([finished, first = dir_.File("first.qdl"), second = dir_.File("second.qdl")] {
    TextLineFile a(first, LineLayout(20));
    TextLineFile b(second, LineLayout(20));
    FlushAllOnClose sink;
    a.SetNotificationSink(&sink);
    for (TextLineFile* file : {&a, &b}) {
      file->Create();
      file->Open(kReadWriteDenyNone);
      AssignText({file->record(), file->record_size()}, "buffered");
      file->Add();
    }
    a.Close();
    std::ifstream in(second, std::ios::binary);
    finished->set_value(std::string(std::istreambuf_iterator<char>(in), {}));
  }).detach();
  ASSERT_EQ(result.wait_for(std::chrono::seconds(5)), std::future_status::ready)
      << "flushing all open files from a close notification deadlocked";
  EXPECT_EQ(result.get(), "buffered\n");
}

TEST_F(TextLineFileTest, PositionsRereadLinesAndContinueAfterThem) {
  auto file = OpenWith("one\ntwo\r\nthree\n");
  EXPECT_TRUE(file->Position(nullptr).empty());
  file->Next();
  file->Next();
  const std::string second = file->Position(nullptr);
  EXPECT_EQ(second, "4");
  file->Next();
  file->Reget(nullptr, second);
  ASSERT_EQ(RuntimeErrorState::code(), StatusOk);
  EXPECT_EQ(RecordText(*file), "two");
  file->Next();
  EXPECT_EQ(RecordText(*file), "three");
  file->Reget(nullptr, "9999");
  EXPECT_EQ(RuntimeErrorState::code(), StatusRecordNotFound);
  file->SetStart();
  file->Next();
  EXPECT_EQ(RecordText(*file), "one");
}

TEST_F(TextLineFileTest, OffsetsBeyondFourGibibytes) {
  const std::string name = dir_.File("big.qdl");
  const std::int64_t far = (std::int64_t{5} << 30);
  const int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  ASSERT_GE(fd, 0);
  const bool written = ::pwrite(fd, "far away\n", 9, far) == 9;
  ::close(fd);
  if (!written) GTEST_SKIP() << "no sparse files here";
  TextLineFile file(name, LineLayout(20));
  file.Open(kReadDenyNone);
  EXPECT_EQ(file.Size(), far + 9);
  file.Reget(nullptr, std::to_string(far));
  ASSERT_EQ(RuntimeErrorState::code(), StatusOk);
  EXPECT_EQ(RecordText(file), "far away");
  EXPECT_EQ(file.Position(nullptr), std::to_string(far));
}

TEST_F(TextLineFileTest, OptionsAreAcceptedAndKeyedOperationsAreNot) {
  auto file = OpenWith("x\n");
  file->Send("Recover=10");
  EXPECT_EQ(RuntimeErrorState::code(), StatusOk);
  file->Send("QUICKSCAN=on");
  EXPECT_EQ(RuntimeErrorState::code(), StatusOk);
  file->Previous();
  EXPECT_EQ(RuntimeErrorState::code(), StatusNotSupported);
  EXPECT_EQ(file->AddKey(FileKey{}), nullptr);
  EXPECT_EQ(RuntimeErrorState::code(), StatusNotSupported);
}

}  // namespace
}  // namespace morlan

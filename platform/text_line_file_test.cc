#include "platform/text_line_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "gtest/gtest.h"
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
  // A CR at the very end without an LF is part of the line, not a terminator.
  EXPECT_EQ(ReadAll(*OpenWith("a\r")), std::vector<std::string>{"a\r"});
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

TEST_F(TextLineFileTest, AddRefusesARecordHoldingALineBreak) {
  TextLineFile out(dir_.File("out.qdl"), LineLayout(20));
  out.Create();
  out.Open(kReadWriteDenyNone);
  AssignText({out.record(), out.record_size()}, "two\nlines");
  out.Add();
  EXPECT_EQ(RuntimeErrorState::code(), StatusDriverError);
  out.Close();
  EXPECT_EQ(dir_.Read("out.qdl"), "");
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

  // Enough lines to fill the buffer: the Add that meets the flush fails.
  full.Open(kAccessWrite | kShareDenyNone);
  int failed_adds = 0;
  for (std::size_t i = 0; i < TextLineFile::kBufferSize / 5 + 1; ++i) {
    full.Add();
    if (RuntimeErrorState::code() != StatusOk) ++failed_adds;
  }
  EXPECT_EQ(failed_adds, 1);
  full.Close();
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

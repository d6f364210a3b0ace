#include "platform/fault_injecting_file.h"

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "gmock/gmock.h"
#include "gtest/gtest.h"
#include "platform/runtime_error_state.h"
#include "platform/text_line_file.h"
#include "testing/temp_dir.h"

namespace morlan {
namespace {

using ::testing::ElementsAre;

constexpr std::uint8_t kReadWrite = kAccessReadWrite | kShareDenyNone;

RecordLayout LineLayout() {
  RecordLayout layout;
  layout.AddField("F1", FieldType::kText, 20);
  return layout;
}

std::string Record(DataFile& file) {
  return std::string(ClipText({file.record(), file.record_size()}));
}

class RecordingSink final : public FileCallbackInterface {
 public:
  bool DriverNotify(std::uint32_t operation, std::span<const std::uint32_t>) override {
    operations.push_back(operation);
    return true;
  }
  bool DriverNotifyDone() override {
    ++done;
    return true;
  }

  std::vector<std::uint32_t> operations;
  int done = 0;
};

class FaultInjectingFileTest : public ::testing::Test {
 protected:
  FaultInjectingFileTest()
      : inner_(dir_.Write("lines.txt", "one\ntwo\nthree\n"), LineLayout()), file_(inner_) {}

  void OpenOrDie() {
    file_.Open(kReadWrite);
    ASSERT_EQ(RuntimeErrorState::code(), StatusOk);
  }

  testing::TempDir dir_;
  TextLineFile inner_;
  FaultInjectingFile file_;
};

TEST_F(FaultInjectingFileTest, ForwardsToTheInnerFileAndSharesItsRecord) {
  EXPECT_EQ(file_.name(), inner_.name());
  EXPECT_EQ(file_.driver_name(), "TEXTLINE");
  EXPECT_NE(file_.identity(), inner_.identity());
  EXPECT_TRUE(file_.Exists());

  OpenOrDie();
  EXPECT_TRUE(inner_.IsOpen());
  file_.Next();
  EXPECT_EQ(RuntimeErrorState::code(), StatusOk);
  EXPECT_EQ(Record(inner_), "one");
  EXPECT_EQ(file_.record(), inner_.record());
  EXPECT_EQ(file_.bytes_read(), 4);
  EXPECT_EQ(file_.Position(nullptr), "0");

  AssignText({file_.record(), file_.record_size()}, "four");
  file_.Add();
  EXPECT_EQ(RuntimeErrorState::code(), StatusOk);
  // What the inner file does not offer is refused as it refuses it.
  file_.Previous();
  EXPECT_EQ(RuntimeErrorState::code(), StatusNotSupported);

  file_.Close();
  EXPECT_EQ(RuntimeErrorState::code(), StatusOk);
  EXPECT_FALSE(inner_.IsOpen());
  EXPECT_EQ(dir_.Read("lines.txt"), "one\ntwo\nthree\nfour\n");
}

TEST_F(FaultInjectingFileTest, OnceFailsTheNextCallWithoutReachingTheInnerFile) {
  file_.FailOnce(FileOperation::kOpen, StatusAccessDenied);
  EXPECT_TRUE(file_.armed(FileOperation::kOpen));
  file_.Open(kReadWrite);
  EXPECT_EQ(RuntimeErrorState::code(), StatusAccessDenied);
  EXPECT_EQ(RuntimeErrorState::text(), RuntimeErrorState::StandardText(StatusAccessDenied));
  EXPECT_FALSE(inner_.IsOpen());
  EXPECT_FALSE(file_.armed(FileOperation::kOpen));

  // The retry passes: a caller that retries an open sees it called twice.
  OpenOrDie();
  EXPECT_EQ(file_.calls(FileOperation::kOpen), 2);
  EXPECT_EQ(file_.failures(FileOperation::kOpen), 1);
  EXPECT_EQ(file_.calls(FileOperation::kNext), 0);
}

TEST_F(FaultInjectingFileTest, AfterPassesNCallsThenFailsOnceWithTheDriverText) {
  OpenOrDie();
  file_.FailAfter(FileOperation::kNext, 2, InjectedFault::Driver("E17", "Sector not found"));
  file_.Next();
  file_.Next();
  EXPECT_EQ(RuntimeErrorState::code(), StatusOk);
  EXPECT_EQ(Record(file_), "two");

  file_.Next();
  EXPECT_EQ(RuntimeErrorState::code(), StatusDriverError);
  EXPECT_EQ(RuntimeErrorState::driver_code(), "E17");
  EXPECT_EQ(RuntimeErrorState::driver_text(), "Sector not found");
  // The failed read consumed nothing and left the record as it was.
  EXPECT_EQ(Record(file_), "two");

  file_.Next();
  EXPECT_EQ(RuntimeErrorState::code(), StatusOk);
  EXPECT_EQ(Record(file_), "three");
  EXPECT_EQ(file_.calls(FileOperation::kNext), 4);
  EXPECT_EQ(file_.failures(FileOperation::kNext), 1);
}

TEST_F(FaultInjectingFileTest, PersistentFaultsFailEveryCallUntilCleared) {
  OpenOrDie();
  file_.FailAfter(FileOperation::kNext, 1, StatusRecordHeld, FaultDuration::kPersistent);
  file_.Next();
  EXPECT_EQ(RuntimeErrorState::code(), StatusOk);
  for (int i = 0; i < 3; ++i) {
    file_.Next();
    EXPECT_EQ(RuntimeErrorState::code(), StatusRecordHeld);
  }
  EXPECT_TRUE(file_.armed(FileOperation::kNext));
  file_.ClearFault(FileOperation::kNext);
  file_.Next();
  EXPECT_EQ(RuntimeErrorState::code(), StatusOk);
  EXPECT_EQ(Record(file_), "two");

  // From now on: every Add fails and nothing reaches the file.
  file_.FailFromNow(FileOperation::kAdd, StatusDriverError);
  AssignText({file_.record(), file_.record_size()}, "lost");
  file_.Add();
  EXPECT_EQ(RuntimeErrorState::code(), StatusDriverError);
  EXPECT_EQ(RuntimeErrorState::driver_text(), "Injected fault");
  file_.Add();
  EXPECT_EQ(RuntimeErrorState::code(), StatusDriverError);
  file_.ClearFaults();
  EXPECT_FALSE(file_.armed(FileOperation::kAdd));
  file_.Close();
  EXPECT_EQ(dir_.Read("lines.txt"), "one\ntwo\nthree\n");
  EXPECT_EQ(file_.failures(FileOperation::kAdd), 2);
}

TEST_F(FaultInjectingFileTest, ArmingReplacesAndStatusZeroClears) {
  file_.FailFromNow(FileOperation::kSize, StatusAccessDenied);
  file_.FailOnce(FileOperation::kSize, StatusNotFound);
  EXPECT_EQ(file_.Size(), 0);
  EXPECT_EQ(RuntimeErrorState::code(), StatusNotFound);
  EXPECT_EQ(file_.Size(), 14);
  EXPECT_EQ(RuntimeErrorState::code(), StatusOk);

  // A fault with status 0 would report success for a call that did nothing.
  file_.FailFromNow(FileOperation::kExists, StatusAccessDenied);
  file_.FailOnce(FileOperation::kExists, StatusOk);
  EXPECT_FALSE(file_.armed(FileOperation::kExists));
  EXPECT_TRUE(file_.Exists());
}

TEST_F(FaultInjectingFileTest, FailedCloseStillClosesTheInnerFile) {
  OpenOrDie();
  file_.FailOnce(FileOperation::kClose, InjectedFault::Driver("28", "No space left on device"));
  file_.Close();
  EXPECT_EQ(RuntimeErrorState::code(), StatusDriverError);
  EXPECT_EQ(RuntimeErrorState::driver_code(), "28");
  EXPECT_EQ(RuntimeErrorState::driver_text(), "No space left on device");
  EXPECT_FALSE(file_.IsOpen());
  // Reopening works: nothing was left open behind the caller's back.
  OpenOrDie();
}

TEST_F(FaultInjectingFileTest, RecordsSentOptionsInOrderAlsoWhenSendFails) {
  OpenOrDie();
  file_.Send("QUICKSCAN=on");
  file_.FailOnce(FileOperation::kSend, StatusNotSupported);
  file_.Send("Recover=10");
  EXPECT_EQ(RuntimeErrorState::code(), StatusNotSupported);
  EXPECT_THAT(file_.sent_options(), ElementsAre("QUICKSCAN=on", "Recover=10"));
  EXPECT_EQ(file_.calls(FileOperation::kSend), 2);

  file_.ResetCounts();
  EXPECT_TRUE(file_.sent_options().empty());
  EXPECT_EQ(file_.calls(FileOperation::kSend), 0);
  EXPECT_EQ(file_.calls(FileOperation::kOpen), 0);
}

TEST_F(FaultInjectingFileTest, RelaysTheInnerFilesNotificationsToItsOwnSink) {
  RecordingSink sink;
  file_.SetNotificationSink(&sink);
  OpenOrDie();
  file_.Close();
  EXPECT_THAT(sink.operations, ElementsAre(kNotifyClose));
  EXPECT_EQ(sink.done, 1);

  // Without a sink of its own the wrapper swallows them.
  file_.SetNotificationSink(nullptr);
  OpenOrDie();
  file_.Close();
  EXPECT_EQ(sink.operations.size(), 1u);
}

TEST(FaultInjectingFileLifetimeTest, PutsBackTheInnerFilesSinkWhenItGoesAway) {
  testing::TempDir dir;
  TextLineFile inner(dir.Write("lines.txt", "x\n"), LineLayout());
  RecordingSink previous;
  inner.SetNotificationSink(&previous);
  {
    FaultInjectingFile file(inner);
    EXPECT_NE(inner.notification_sink(), &previous);
  }
  EXPECT_EQ(inner.notification_sink(), &previous);
  inner.Open(kReadWrite);
  inner.Close();
  EXPECT_THAT(previous.operations, ElementsAre(kNotifyClose));
}

}  // namespace
}  // namespace morlan

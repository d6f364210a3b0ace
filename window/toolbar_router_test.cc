#include "window/toolbar_router.h"

#include <atomic>
#include <string>
#include <vector>

#include "gtest/gtest.h"

namespace morlan {
namespace {

// A target that writes what it was asked into a shared log, as "<name>:<operation>".
class RecordingTarget final : public ToolbarTarget {
 public:
  RecordingTarget(std::string name, std::vector<std::string>* log, bool wants = false)
      : name_(std::move(name)), log_(log), wants_(wants) {}

  void ShowButtons() override { log_->push_back(name_ + ":show"); }
  void BecomeTarget() override { log_->push_back(name_ + ":become"); }
  bool WantsToBeTarget() override {
    log_->push_back(name_ + ":wants?");
    return wants_;
  }
  void TakeRequest(std::atomic<std::int32_t>* request) override {
    log_->push_back(name_ + ":take " + std::to_string(request->load()));
    request->store(0);
  }

 private:
  std::string name_;
  std::vector<std::string>* log_;
  bool wants_;
};

class ToolbarRouterTest : public ::testing::Test {
 protected:
  void SetUp() override { router_.Init(); }

  std::vector<std::string> log_;
  RecordingTarget browse_{"browse", &log_};
  RecordingTarget form_{"form", &log_};
  ToolbarRouter router_;
  std::atomic<std::int32_t> request_{7};
};

TEST_F(ToolbarRouterTest, WithoutTargetsNothingIsCalledAndTheRequestStays) {
  router_.TakeToolbarEvent(&request_);
  router_.SelectTarget(0);
  router_.SelectTarget(5);
  EXPECT_EQ(router_.current(), nullptr);
  EXPECT_EQ(request_.load(), 7);
  // Before Init and after Kill there is no list at all.
  ToolbarRouter never_initialised;
  never_initialised.TakeToolbarEvent(&request_);
  never_initialised.SelectTarget(0);
  never_initialised.AddTarget(1, &browse_);
  router_.Kill();
  router_.AddTarget(1, &browse_);
  router_.TakeToolbarEvent(&request_);
  EXPECT_TRUE(log_.empty());
}

TEST_F(ToolbarRouterTest, AnUnknownIdLeavesNoTargetAndAToolbarPressReachesNone) {
  router_.AddTarget(1, &browse_);
  router_.AddTarget(2, &form_);
  router_.SelectTarget(99);
  router_.TakeToolbarEvent(&request_);
  router_.DisplayButtons();
  EXPECT_EQ(router_.current(), nullptr);
  EXPECT_TRUE(log_.empty());
  EXPECT_EQ(request_.load(), 7);
}

TEST_F(ToolbarRouterTest, ASelectedTargetIsToldAndTakesThePressesUntilAnotherIsSelected) {
  router_.AddTarget(1, &browse_);
  router_.AddTarget(2, &form_);
  router_.SelectTarget(2);
  router_.TakeToolbarEvent(&request_);
  router_.DisplayButtons();
  // An unknown id keeps the target there was.
  router_.SelectTarget(99);
  router_.SelectTarget(1);
  router_.TakeToolbarEvent(&request_);
  EXPECT_EQ(log_, (std::vector<std::string>{"form:become", "form:take 7", "form:show",
                                            "form:become", "browse:become", "browse:take 0"}));
}

TEST_F(ToolbarRouterTest, SelectingByAskingMakesTheLastWillingTargetCurrent) {
  RecordingTarget list{"list", &log_, true};
  RecordingTarget grid{"grid", &log_, true};
  router_.AddTarget(1, &browse_);
  router_.AddTarget(2, &list);
  router_.AddTarget(3, &grid);
  router_.AddTarget(4, &form_);
  router_.SelectTarget(0);
  EXPECT_EQ(router_.current(), &grid);
  EXPECT_EQ(log_, (std::vector<std::string>{"browse:wants?", "list:wants?", "grid:wants?",
                                            "form:wants?"}));
  // Nobody willing: the current target stays.
  ToolbarRouter unwilling;
  unwilling.Init();
  unwilling.AddTarget(1, &browse_);
  unwilling.AddTarget(2, &form_);
  unwilling.SelectTarget(2);
  unwilling.SelectTarget(0);
  EXPECT_EQ(unwilling.current(), &form_);
}

}  // namespace
}  // namespace morlan

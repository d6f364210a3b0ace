// A test fixture for code that reports through the error manager: each test gets a headless
// presenter (or a test's own kind of one) installed as the runtime's, an error manager with the
// standard messages, and a clean error state. Afterwards the file usage tracker is emptied, the
// error manager killed and the runtime put back, so that no test sees another's files or boxes.
//
// Threading: set-up and teardown run on the test's thread; what the presenter records may be
// read from any thread.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "data/file_usage_tracker.h"
#include "errors/error_manager.h"
#include "platform/headless_presenter.h"
#include "platform/message_box_request.h"
#include "platform/runtime.h"
#include "platform/runtime_error_state.h"

namespace morlan::testing {

template <typename PresenterType = HeadlessPresenter>
class DataFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    Runtime::InstallPresenter(&presenter_);
    RuntimeErrorState::SetOk();
    errors_.InitStandard();
  }

  // A fixture that owns files or managers drops them first, then calls this.
  void TearDown() override {
    FileUsageTracker::Instance().Clear();
    errors_.Kill();
    Runtime::Reset();
  }

  // The captions of the message boxes shown so far, in order.
  std::vector<std::string> Captions() const {
    std::vector<std::string> captions;
    for (const MessageBoxRequest& box : presenter_.message_boxes()) captions.push_back(box.caption);
    return captions;
  }

  PresenterType presenter_;
  ErrorManager errors_;
};

}  // namespace morlan::testing

#pragma once

#include "monitor/PollControl.h"

namespace tarsyn::test {

/// The poll cycle as a feature sees it: the gate's state is set by hand, and every stop and resume of
/// `tmr1` is counted, so a test shows polling resumes on every way out of an exchange.
class FakePollControl : public monitor::PollControl {
public:
    bool RotationMode() const override { return rotation; }
    bool linked() const override { return isLinked; }
    void stopPolling() override {
        ++stops;
        running = false;
    }
    void resumePolling() override {
        ++resumes;
        pollState = 1;
        running = true;
    }
    void setPollState(int state) override { pollState = state; }

    bool rotation = false;
    bool isLinked = true;
    bool running = true;  ///< `tmr1`
    int pollState = 3;
    int stops = 0;
    int resumes = 0;
};

}  // namespace tarsyn::test

// Progress reporters of the video pre-passes: a worker writes its percent
// through a pointer to an integer that the video engine owns and polls.
#pragma once

#include <atomic>

class OrvProgressStatus {
 public:
  virtual ~OrvProgressStatus() = default;
  virtual int GetProgress() = 0;
  virtual void ResetProgress() = 0;
  virtual void SetProgress(int percent) = 0;
};

class OrvVideoEngineProgressStatus : public OrvProgressStatus {
 public:
  ~OrvVideoEngineProgressStatus() override {
    if (mProgressTarget) mProgressTarget->store(0, std::memory_order_relaxed);
  }
  int GetProgress() override {
    return mProgressTarget ? mProgressTarget->load(std::memory_order_relaxed) : 0;
  }
  void ResetProgress() override {
    if (mProgressTarget) mProgressTarget->store(0, std::memory_order_relaxed);
  }
  // Stored as given: no clamping.
  void SetProgress(int percent) override {
    if (mProgressTarget) mProgressTarget->store(percent, std::memory_order_relaxed);
  }

  // Assigned directly by the owner; not owned.
  std::atomic<int>* mProgressTarget = nullptr;
};

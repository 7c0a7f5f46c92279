// Cooperative cancellation: one flag per side, shared by every object of it.
#pragma once

#include <atomic>

extern std::atomic<bool> g_isFXCancel;
extern std::atomic<bool> g_isVideoEngineCancel;

class OrvCancelTask {
 public:
  virtual ~OrvCancelTask() = default;
  virtual bool IsCanceled() = 0;
  virtual void SetCancel(bool cancel) = 0;
  virtual void ResetCancel() { SetCancel(false); }
};

// Rendering side.
class OrvFXCancelTask : public OrvCancelTask {
 public:
  bool IsCanceled() override { return g_isFXCancel.load(std::memory_order_relaxed); }
  void SetCancel(bool cancel) override { g_isFXCancel.store(cancel, std::memory_order_relaxed); }
};

// Video pre-passes.
class OrvVideoEngineCancelTask : public OrvCancelTask {
 public:
  bool IsCanceled() override { return g_isVideoEngineCancel.load(std::memory_order_relaxed); }
  void SetCancel(bool cancel) override { g_isVideoEngineCancel.store(cancel, std::memory_order_relaxed); }
};

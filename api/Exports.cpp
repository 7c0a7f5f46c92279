// The twelve exported functions.
#include <stdlib.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <exception>
#include <mutex>
#include <stdexcept>
#include <string>

#include "api/CreateReelkaInterface.h"
#include "api/ExitGuard.h"
#include "api/Log.h"
#include "api/PathUtils.h"
#include "platform/Platform.h"
#include "reelka/reelka.h"
#include "scriptmaker/OrvCancelTask.h"

namespace {
// The interface object's lifetime. Every export but ReleaseReelka holds a use
// of it while it runs; no lock is held across a call, so cancelling and
// polling never wait on each other. Release waits for the uses to end and is
// refused while a pass runs.
std::mutex gLifeMutex;
std::condition_variable gUsesChanged;
int gUses = 0;
bool gLeaving = false;  // exit() has begun: no further call starts
constexpr auto kReleaseWait = std::chrono::seconds(2);

class InterfaceUse {
 public:
  InterfaceUse() {
    std::lock_guard<std::mutex> lock(gLifeMutex);
    if (gLeaving) throw std::runtime_error("the process is leaving");
    if (!gCreateReelkaInterface) gCreateReelkaInterface = new CreateReelkaInterface();
    mInterface = gCreateReelkaInterface;
    ++gUses;
  }
  ~InterfaceUse() {
    std::lock_guard<std::mutex> lock(gLifeMutex);
    --gUses;
    gUsesChanged.notify_all();
  }
  InterfaceUse(const InterfaceUse&) = delete;
  InterfaceUse& operator=(const InterfaceUse&) = delete;
  CreateReelkaInterface* operator->() const { return mInterface; }

 private:
  CreateReelkaInterface* mInterface = nullptr;
};

std::string Narrow(const char16_t* wide) { return wide ? WideToMultiByte(wide) : std::string("(null)"); }

// Runs body; an exception never reaches the host.
template <typename T, typename F>
T Guard(const char* name, T failure, F body) {
  try {
    return body();
  } catch (const std::exception& e) {
    ORV_LOG("Exports", "%s failed: %s", name, e.what());
    DebugPrint("%s failed: %s", name, e.what());
  } catch (...) {
    ORV_LOG("Exports", "%s failed: unknown exception", name);
    DebugPrint("%s failed: unknown exception", name);
  }
  return failure;
}

const char16_t kEmpty[1] = {0};

// The exit handler (api/ExitGuard.h); from then on no call starts.
constexpr auto kExitWait = std::chrono::seconds(3);

void LeaveDuringPass(int status, void*) {
  std::unique_lock<std::mutex> lock(gLifeMutex);
  gLeaving = true;
  if (gUses == 0) return;
  if (gCreateReelkaInterface && gCreateReelkaInterface->IsPassRunning()) {
    OrvFXCancelTask().SetCancel(true);
    OrvVideoEngineCancelTask().SetCancel(true);
  }
  if (gUsesChanged.wait_for(lock, kExitWait, [] { return gUses == 0; })) return;
  std::fflush(nullptr);
  _exit(status);
}
}  // namespace

void GuardExitDuringPass(bool drawing) {
  // Registered first too, for a host that leaves while the libraries are
  // used for the first time.
  on_exit(LeaveDuringPass, nullptr);
  if (UseLibrariesOnce(drawing)) on_exit(LeaveDuringPass, nullptr);
}

extern "C" {

REELKA_API ThemeLimit GetThemeLimitInfo(int themeIndex) {
  DebugPrint("Enter GetThemeLimitInfo");
  // The host's first call: OpenCV is used here once, and the exit handler
  // goes after its handlers, so that no pass begins with them unregistered.
  if (UseLibrariesOnce(false)) on_exit(LeaveDuringPass, nullptr);
  ThemeLimit limit = Guard("GetThemeLimitInfo", ThemeLimit{0, 0, 0, 0},
                           [&] { return InterfaceUse()->GetThemeLimitInfo(themeIndex); });
  DebugPrint("    Limit, minImage : %d, maxImage : %d, minVideoSec : %d, maxVideoSec : %d", limit.minImage,
             limit.maxImage, limit.minVideoSec, limit.maxVideoSec);
  DebugPrint("Leave GetThemeLimitInfo");
  return limit;
}

REELKA_API int GetEstimatedTimeSec(int nNumOfTheme, int nNumOfImage, int nLengthOfVideoSec) {
  DebugPrint("Enter GetEstimatedTimeSec, nNumOfTheme : %d, nNumOfImage : %d, nLengthOfVideoSec : %d", nNumOfTheme,
             nNumOfImage, nLengthOfVideoSec);
  int seconds = Guard("GetEstimatedTimeSec", -1, [&] {
    return InterfaceUse()->GetEstimatedTimeSec(nNumOfTheme, nNumOfImage, nLengthOfVideoSec);
  });
  DebugPrint("Enter GetEstimatedTimeSec, estimatedTimeSec : %d", seconds);
  return seconds;
}

REELKA_API void KV_StartReelka(const UserInputContext* input) {
  DebugPrint("Enter KV_StartReelka");
  GuardExitDuringPass(false);
  Guard("KV_StartReelka", 0, [&] {
    InterfaceUse()->StartReelka(input);
    return 0;
  });
  DebugPrint("Leave KV_StartReelka");
}

REELKA_API int GetProgressValue(void) {
  int percent = Guard("GetProgressValue", 0, [&] {
    return InterfaceUse()->GetProgressValue();
  });
  DebugPrint("Called, GetProgressValue(), return %d", percent);
  return percent;
}

REELKA_API ThemeSlotSequence* GetThemeContext(void) {
  DebugPrint("Enter&Leave GetThemeContext");
  return Guard("GetThemeContext", static_cast<ThemeSlotSequence*>(nullptr),
               [&] { return InterfaceUse()->GetThemeContext(); });
}

REELKA_API int KV_UpdateSlot(int slotIndex, const reelka_char16* imagePath) {
  DebugPrint("Called, KV_UpdateSlot() Index : %d, ImagePath %s", slotIndex, Narrow(imagePath).c_str());
  return Guard("KV_UpdateSlot", -1, [&] { return InterfaceUse()->UpdateSlot(slotIndex, imagePath); });
}

REELKA_API ReplacedSlotInfo* GetReplacedSlot(void) {
  DebugPrint("Called, GetReplacedSlot");
  return Guard("GetReplacedSlot", static_cast<ReplacedSlotInfo*>(nullptr),
               [&] { return InterfaceUse()->GetReplacedSlot(); });
}

REELKA_API void KV_CreateReelka(const ThemeSlotSequence* sequence) {
  DebugPrint("Called, KV_CreateReelka");
  GuardExitDuringPass(true);
  Guard("KV_CreateReelka", 0, [&] {
    InterfaceUse()->CreateReelka(sequence);
    return 0;
  });
}

REELKA_API void CancelEncoding(void) {
  DebugPrint("Called, CancelEncoding()");
  Guard("CancelEncoding", 0, [&] {
    InterfaceUse()->CancelEncoding();
    return 0;
  });
}

REELKA_API const reelka_char16* GetFirstSlotImage(void) {
  DebugPrint("Called, GetFirstSlotImage");
  const char16_t* path = Guard("GetFirstSlotImage", static_cast<const char16_t*>(kEmpty),
                               [&] { return InterfaceUse()->GetFirstSlotImage(); });
  return path ? path : kEmpty;
}

REELKA_API bool SaveReelka(const reelka_char16* destPath) {
  DebugPrint("Called, SaveReelka() : return : %s", Narrow(destPath).c_str());
  int why = 0;
  const bool saved = Guard("SaveReelka", false, [&] { return InterfaceUse()->SaveReelka(destPath, &why); });
  // Set last: the log may change errno.
  if (!saved) errno = why;
  return saved;
}

REELKA_API void ReleaseReelka(void) {
  DebugPrint("Called, ReleaseReelka");
  Guard("ReleaseReelka", 0, [&] {
    std::unique_lock<std::mutex> lock(gLifeMutex);
    if (!gCreateReelkaInterface) return 0;
    if (gCreateReelkaInterface->IsPassRunning()) {
      ORV_LOG("ReleaseReelka", "A pass is still running, release refused");
      DebugPrint("ReleaseReelka refused: a pass is still running");
      return 0;
    }
    // Calls of other threads end first; a pass begun meanwhile keeps the object.
    if (!gUsesChanged.wait_for(lock, kReleaseWait, [] { return gUses == 0; })) {
      ORV_LOG("ReleaseReelka", "Another call is still running, release refused");
      DebugPrint("ReleaseReelka refused: another call is still running");
      return 0;
    }
    delete gCreateReelkaInterface;
    gCreateReelkaInterface = nullptr;
    return 0;
  });
}

}  // extern "C"

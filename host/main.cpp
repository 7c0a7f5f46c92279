// reelka: command-line host of the Reelka clip library. Drives the twelve
// exports in the host's order, renders the theme's text layers and saves
// the clip.

#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <exception>
#include <new>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#define GLFW_INCLUDE_NONE
#include <GLFW/glfw3.h>
#include <opencv2/core/utils/logger.hpp>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/videoio.hpp>

#include "HostArgs.h"
#include "HostText.h"
#include "TextLayers.h"
#include "TextRender.h"
#include "platform/Platform.h"
#include "reelka/reelka.h"
#include "videoengine/VideoReadCore.h"

extern "C" {
#include <libavutil/log.h>
}

#ifndef REELKA_DEFAULT_RESOURCE_DIR
#define REELKA_DEFAULT_RESOURCE_DIR "."
#endif
#ifndef REELKA_SHARE_SUBDIR
#define REELKA_SHARE_SUBDIR "share/reelka"
#endif

namespace fs = std::filesystem;
using namespace reelka_host;

namespace {

const char* const kMatePhotos = "/usr/share/backgrounds/mate/nature";
const char* const kResourceFolder = "ReelkaResource";
// Room left in a 300-unit field for the names the library and the host
// append to the working folder.
const size_t kMaxWorkDirUnits = 260;
const size_t kMaxPathUnits = REELKA_PATH_LEN - 1;
// The clip takes the size of the smallest video; the encoder takes no side
// of a single pixel.
const int kMinClipSide = 2;

enum ExitCode { kOk = 0, kNoClip = 1, kBadInput = 2, kCancelled = 130 };

std::atomic<bool> gInterrupted{false};
// Until the library is first called there is nothing to cancel: a signal
// ends the program at once.
std::atomic<bool> gLibraryInUse{false};
// The clip's temporary sibling while it is saved: removed on any way out.
char gPartialOutput[4096];
// A cancel the library has not finished within this time ends the program.
const unsigned kCancelSeconds = 5;

void WriteStderr(const char* text) { (void)!::write(STDERR_FILENO, text, std::strlen(text)); }

// Leaves at once from a signal handler or a dying thread: no partial output
// stays behind.
[[noreturn]] void LeaveNow(const char* why, int code) {
  if (gPartialOutput[0]) ::unlink(gPartialOutput);
  WriteStderr(why);
  ::_exit(code);
}

// The first Ctrl-C or SIGTERM asks for a cancel; the program ends when the
// library has stopped, or after kCancelSeconds, or at a second one.
void OnInterrupt(int signal) {
  if (signal == SIGALRM)
    LeaveNow("\nreelka: the library did not stop in time; cancelled, no clip was written\n", kCancelled);
  if (gInterrupted.exchange(true) || !gLibraryInUse.load()) LeaveNow("\nreelka: cancelled; no clip was written\n", kCancelled);
  ::alarm(kCancelSeconds);
}

// A run short of memory may end in an abort deep inside a library that
// cannot report it otherwise (a thread that cannot be created).
void OnAbort(int) { LeaveNow("\nreelka: stopped: out of memory or an internal error\n", kNoClip); }

void OnTerminate() { LeaveNow("reelka: stopped: out of memory or an internal error\n", kNoClip); }

void InstallSignalHandlers() {
  struct sigaction action;
  std::memset(&action, 0, sizeof(action));
  action.sa_handler = OnInterrupt;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
  sigaction(SIGALRM, &action, nullptr);
  // GLib ends with a breakpoint where it cannot start a thread.
  action.sa_handler = OnAbort;
  sigaction(SIGABRT, &action, nullptr);
  sigaction(SIGTRAP, &action, nullptr);
  // Past a file-size limit a write fails (EFBIG) and the pass with it.
  action.sa_handler = SIG_IGN;
  sigaction(SIGXFSZ, &action, nullptr);
  std::set_terminate(OnTerminate);
}

int Fail(const std::string& message) {
  std::fprintf(stderr, "reelka: %s\n", message.c_str());
  return kBadInput;
}

void Warn(const std::string& message) { std::fprintf(stderr, "reelka: warning: %s\n", message.c_str()); }

const char* SlotTypeName(int type) {
  switch (type) {
    case 0: return "picture";
    case 1: return "picture with separator and text";
    case 2: return "paper";
    case 3: return "video background";
    case 4: return "video with separator and text";
  }
  return "unknown";
}

std::string Quote(const std::string& s) { return "\"" + s + "\""; }

bool IsReadableFile(const std::string& path, std::string& why) {
  std::error_code ec;
  fs::file_status st = fs::status(path, ec);
  if (ec || !fs::exists(st)) {
    why = "does not exist";
    return false;
  }
  if (!fs::is_regular_file(st)) {
    why = "is not a file";
    return false;
  }
  int fd = ::open(path.c_str(), O_RDONLY);
  if (fd < 0) {
    why = std::string("cannot be read: ") + std::strerror(errno);
    return false;
  }
  ::close(fd);
  return true;
}

// Absolute, normalised form of a user path; the library is run from
// another folder.
std::string Absolute(const std::string& path) {
  std::error_code ec;
  fs::path p = fs::absolute(fs::path(path), ec);
  if (ec) return path;
  std::string s = p.lexically_normal().string();
  while (s.size() > 1 && s.back() == '/') s.pop_back();
  return s;
}

bool ToWide(const std::string& path, std::u16string& wide, size_t maxUnits, const std::string& what,
            std::string& error) {
  if (!Utf8ToUtf16(path, wide)) {
    error = what + " " + Quote(path) + " is not valid UTF-8";
    return false;
  }
  if (wide.size() > maxUnits) {
    error = what + " " + Quote(path) + " is too long for the library (" +
            std::to_string(wide.size()) + " characters, at most " + std::to_string(maxUnits) + ")";
    return false;
  }
  return true;
}

// True when the display the library draws its hidden window on opens.
bool DisplayOpens() {
  if (!std::getenv("DISPLAY") && !std::getenv("WAYLAND_DISPLAY")) return false;
  glfwSetErrorCallback(nullptr);
  if (glfwInit() != GLFW_TRUE) return false;
  glfwTerminate();
  return true;
}

bool HasResources(const fs::path& dir) {
  std::error_code ec;
  return fs::is_directory(dir / kResourceFolder, ec);
}

// Where an installed program keeps the art: <prefix>/share/reelka beside
// <prefix>/bin. Empty when the program's own path cannot be read.
fs::path InstalledResourceDir() {
  std::error_code ec;
  fs::path self = fs::read_symlink("/proc/self/exe", ec);
  if (ec || self.empty()) return fs::path();
  return (self.parent_path() / ".." / REELKA_SHARE_SUBDIR).lexically_normal();
}

// Seconds of a video that really decode, at the rate the library's reading
// core presents it; the decoder's complaints about a truncated file are
// kept quiet.
double DecodableSeconds(const std::string& path) {
  VideoReadCore core;
  if (!core.open(path)) return 0.0;
  // Set after the open, which sets the decoder's own level.
  const int level = av_log_get_level();
  av_log_set_level(AV_LOG_QUIET);
  const double frames = static_cast<double>(core.decodableFrameCount());
  const double fps = core.rate();
  const double seconds = fps > 0.0 ? frames / fps : 0.0;
  av_log_set_level(level);
  return seconds;
}

// A run reserves far more address space than it uses: a thread stack and a
// malloc arena for each of the threads OpenCV, the OpenGL driver and the
// encoder start, about one per processor each. Under a lower limit (ulimit
// -v) threads fail to start deep inside those libraries. A 1080p run took
// at most 2566 MB on two processors and 3892 MB on eight. Empty when the
// limit leaves room.
std::string AddressSpaceProblem() {
  rlimit limit{};
  if (::getrlimit(RLIMIT_AS, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY) return std::string();
  const int processors = platform::UsableProcessors();
  const rlim_t needMb = 2150 + 220 * static_cast<rlim_t>(processors);
  const rlim_t haveMb = limit.rlim_cur >> 20;
  if (haveMb >= needMb) return std::string();
  return "the address-space limit (ulimit -v) is " + std::to_string(haveMb) + " MB; a run on " +
         std::to_string(processors) + " processor" + (processors == 1 ? "" : "s") + " needs about " +
         std::to_string(needMb) + " MB: raise the limit";
}

std::string FormatSeconds(double s) {
  char buf[32];
  std::snprintf(buf, sizeof(buf), "%.1f s", s);
  return buf;
}

class Host {
 public:
  explicit Host(const HostOptions& options) : mOptions(options) {}
  int Run();

 private:
  int CheckInputs();
  int CheckVideos();
  int CheckPictures();
  int ReadTexts();
  int PrepareWorkDir();
  int CheckDestination();
  int ChooseResources();
  int CheckMaterial();
  void PrintMaterial();
  std::unique_ptr<UserInputContext> MakeInput() const;
  void PrepareLogFolder() const;
  int RunStartPass();
  int PrepareTextLayers(std::unique_ptr<ThemeSlotSequence>& sequence);
  int RunCreatePass(const ThemeSlotSequence& sequence);
  bool RunPass(const char* label, void (*pass)(const void*), const void* arg);
  void ListSlots(const ThemeSlotSequence& seq);
  int ApplyReplacements();
  int RenderTextLayers(ThemeSlotSequence& seq);
  int SaveClip(const std::u16string& firstSlotImage);
  int Finish(int code);
  bool Interrupted() const { return gInterrupted.load(); }
  bool IsInput(const std::string& path) const;

  HostOptions mOptions;
  bool mLibraryUsed = false;
  int mVideoSeconds = 0;
  double mVideoSecondsExact = 0.0;
  std::string mWorkDir;  // absolute, without the trailing '/'
  std::string mTempDir;  // mWorkDir + "/"
  std::string mOutput;
  std::string mResources;
  std::set<std::string> mInputs;  // canonical paths of everything the user gave
  std::vector<TextAssignment> mTexts;  // from --texts files, then --text
  ThemeLimit mLimit{};
  CutShortVideo mCutShort;  // the first video that decodes to less than its header says
};

int Host::Finish(int code) {
  if (mLibraryUsed) {
    ReleaseReelka();
    mLibraryUsed = false;
  }
  if (code == kCancelled) std::fprintf(stderr, "reelka: cancelled; no clip was written\n");
  return code;
}

int Host::ChooseResources() {
  std::error_code ec;
  if (!mOptions.resources.empty()) {
    mResources = Absolute(mOptions.resources);
    if (!fs::is_directory(mResources, ec)) {
      Fail("resource folder " + Quote(mResources) + " does not exist");
      return kBadInput;
    }
    if (!HasResources(mResources)) {
      Fail("resource folder " + Quote(mResources) + " holds no " + kResourceFolder + " folder");
      return kBadInput;
    }
    return kOk;
  }
  fs::path current = fs::current_path(ec);
  const fs::path installed = InstalledResourceDir();
  if (!ec && HasResources(current)) {
    mResources = current.string();
  } else if (!installed.empty() && HasResources(installed)) {
    mResources = installed.string();
  } else if (HasResources(REELKA_DEFAULT_RESOURCE_DIR)) {
    mResources = Absolute(REELKA_DEFAULT_RESOURCE_DIR);
  } else {
    Fail(std::string("no ") + kResourceFolder + " folder in the current folder or in " +
         REELKA_DEFAULT_RESOURCE_DIR + ": the themes' art is missing (see --resources)");
    return kBadInput;
  }
  return kOk;
}

int Host::CheckInputs() {
  int code = CheckVideos();
  if (code == kOk) code = CheckPictures();
  if (code == kOk) code = ReadTexts();
  if (code == kOk) code = PrepareWorkDir();
  if (code == kOk) code = CheckDestination();
  return code;
}

// The videos open and tell their length; the library's choice of the clip
// size, the smallest of them, is one the encoder takes.
int Host::CheckVideos() {
  std::string why;
  int clipWidth = 0, clipHeight = 0;
  std::string smallest;
  for (auto& video : mOptions.videos) {
    video = Absolute(video);
    if (!IsReadableFile(video, why)) return Fail("video " + Quote(video) + " " + why);
    // A file that is no video makes OpenCV's back ends log at length.
    auto level = cv::utils::logging::setLogLevel(cv::utils::logging::LOG_LEVEL_SILENT);
    cv::VideoCapture capture(video);
    cv::utils::logging::setLogLevel(level);
    if (!capture.isOpened()) return Fail("video " + Quote(video) + " cannot be opened as a video");
    double frames = capture.get(cv::CAP_PROP_FRAME_COUNT);
    double fps = capture.get(cv::CAP_PROP_FPS);
    if (!(frames > 0) || !(fps > 0) || !std::isfinite(frames / fps))
      return Fail("cannot tell the length of video " + Quote(video));
    // The length that counts is the one that decodes.
    const double real = DecodableSeconds(video);
    mVideoSecondsExact += real;
    if (mCutShort.path.empty() && real < (frames - 0.5) / fps) mCutShort = {video, frames / fps, real};
    const int width = static_cast<int>(capture.get(cv::CAP_PROP_FRAME_WIDTH));
    const int height = static_cast<int>(capture.get(cv::CAP_PROP_FRAME_HEIGHT));
    if (smallest.empty() || width < clipWidth || height < clipHeight) {
      clipWidth = width;
      clipHeight = height;
      smallest = video;
    }
  }
  if (!smallest.empty() && (clipWidth < kMinClipSide || clipHeight < kMinClipSide))
    return Fail("video " + Quote(smallest) + " is " + std::to_string(clipWidth) + " x " + std::to_string(clipHeight) +
                ": the clip takes the size of the smallest video, and this output size is too small (at least " +
                std::to_string(kMinClipSide) + " x " + std::to_string(kMinClipSide) + ")");
  mVideoSeconds = static_cast<int>(std::min(std::floor(mVideoSecondsExact), 1e9));
  return kOk;
}

// Photos and replacement pictures are readable picture files whose paths
// fit the library's fields, as do the videos'.
int Host::CheckPictures() {
  std::string why;
  auto checkPicture = [&](std::string& path, const char* what) {
    path = Absolute(path);
    if (!IsReadableFile(path, why)) return Fail(std::string(what) + " " + Quote(path) + " " + why);
    if (!cv::haveImageReader(path))
      return Fail(std::string(what) + " " + Quote(path) + " is not a picture file that can be read");
    return static_cast<int>(kOk);
  };
  for (auto& photo : mOptions.photos)
    if (checkPicture(photo, "photo") != kOk) return kBadInput;
  for (auto& r : mOptions.replacements)
    if (checkPicture(r.path, "replacement picture") != kOk) return kBadInput;

  std::u16string wide;
  std::string error;
  for (const auto& p : mOptions.photos)
    if (!ToWide(p, wide, kMaxPathUnits, "photo", error)) return Fail(error);
  for (const auto& p : mOptions.videos)
    if (!ToWide(p, wide, kMaxPathUnits, "video", error)) return Fail(error);
  for (const auto& r : mOptions.replacements)
    if (!ToWide(r.path, wide, kMaxPathUnits, "replacement picture", error)) return Fail(error);
  return kOk;
}

// The --texts files, then --text, which wins.
int Host::ReadTexts() {
  std::string error;
  for (const auto& file : mOptions.textFiles)
    if (!ReadTextsFile(file, mTexts, error)) return Fail(error);
  mTexts.insert(mTexts.end(), mOptions.texts.begin(), mOptions.texts.end());
  return kOk;
}

int Host::PrepareWorkDir() {
  std::error_code ec;
  std::u16string wide;
  std::string error;
  mWorkDir = Absolute(mOptions.workDir);
  if (!ToWide(mWorkDir + "/", wide, kMaxWorkDirUnits, "working folder", error)) return Fail(error);
  if (fs::exists(mWorkDir, ec) && !fs::is_directory(mWorkDir, ec))
    return Fail("working folder " + Quote(mWorkDir) + " is not a folder");
  if (!fs::exists(mWorkDir, ec)) {
    fs::create_directories(mWorkDir, ec);
    if (ec) return Fail("cannot create working folder " + Quote(mWorkDir) + ": " + ec.message());
  }
  if (::access(mWorkDir.c_str(), W_OK | X_OK) != 0) return Fail("working folder " + Quote(mWorkDir) + " is not writable");
  mTempDir = mWorkDir == "/" ? mWorkDir : mWorkDir + "/";
  return kOk;
}

int Host::CheckDestination() {
  std::error_code ec;
  std::u16string wide;
  std::string error;
  mOutput = Absolute(mOptions.output);
  fs::path parent = fs::path(mOutput).parent_path();
  if (!fs::is_directory(parent, ec))
    return Fail("the destination's folder " + Quote(parent.string()) + " does not exist");
  if (fs::is_directory(mOutput, ec)) return Fail("destination " + Quote(mOutput) + " is a folder; give a file name");
  if (::access(parent.c_str(), W_OK | X_OK) != 0)
    return Fail("the destination's folder " + Quote(parent.string()) + " is not writable");
  // Room for the temporary sibling the clip is first saved to.
  if (!ToWide(mOutput, wide, kMaxPathUnits - 10, "destination", error)) return Fail(error);
  return kOk;
}

void RecordInput(std::set<std::string>& inputs, const std::string& path) {
  std::error_code ec;
  fs::path canonical = fs::weakly_canonical(path, ec);
  inputs.insert(ec ? path : canonical.string());
}

// True when path names one of the user's files, through links too.
bool Host::IsInput(const std::string& path) const {
  std::error_code ec;
  fs::path canonical = fs::weakly_canonical(path, ec);
  if (!ec && mInputs.count(canonical.string())) return true;
  if (!fs::exists(path, ec)) return false;
  for (const auto& input : mInputs) {
    if (fs::equivalent(path, input, ec)) return true;
  }
  return false;
}

bool Host::RunPass(const char* label, void (*pass)(const void*), const void* arg) {
  // A value left over from the previous pass is read here, not shown.
  GetProgressValue();
  std::atomic<bool> done{false};
  std::thread worker([&] {
    // The exports throw nothing; what does is a run out of memory.
    try {
      pass(arg);
    } catch (...) {
      OnTerminate();
    }
    done.store(true);
  });
  const bool tty = ::isatty(STDERR_FILENO) == 1;
  const auto start = std::chrono::steady_clock::now();
  auto lastLine = start;
  int shown = -1;
  int lastQuarter = -1;
  bool cancelRequested = false;
  while (!done.load()) {
    if (Interrupted() && !cancelRequested) {
      cancelRequested = true;
      std::fprintf(stderr, "%sreelka: cancelling, waiting for the library to stop...\n", tty ? "\n" : "");
      CancelEncoding();
    }
    // The library reports 0 again after it has once reported 100.
    int value = GetProgressValue();
    int display = std::max(shown, std::min(std::max(value, 0), 100));
    auto now = std::chrono::steady_clock::now();
    if (tty) {
      if (display != shown) std::fprintf(stderr, "\r%s", ProgressBar(label, display, 30).c_str());
    } else if (display / 25 != lastQuarter || now - lastLine > std::chrono::seconds(15)) {
      std::fprintf(stderr, "reelka: %s %d%%\n", label, display);
      lastQuarter = display / 25;
      lastLine = now;
    }
    shown = display;
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  worker.join();
  double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  bool cancelled = cancelRequested || Interrupted();
  if (tty && !cancelled && shown != 100) std::fprintf(stderr, "\r%s", ProgressBar(label, 100, 30).c_str());
  if (tty) std::fprintf(stderr, "\n");
  std::fprintf(stderr, "reelka: %s %s after %s\n", label, cancelled ? "stopped" : "done",
               FormatSeconds(seconds).c_str());
  return !cancelled;
}

void StartPass(const void* input) { KV_StartReelka(static_cast<const UserInputContext*>(input)); }

void CreatePass(const void* sequence) { KV_CreateReelka(static_cast<const ThemeSlotSequence*>(sequence)); }

int SlotCount(const ThemeSlotSequence& seq) { return std::min(std::max(seq.slotCount, 0), REELKA_MAX_SLOTS); }

int LayerCount(const SlotContext& slot) { return std::min(std::max(slot.layerCount, 0), REELKA_MAX_LAYERS); }

void Host::ListSlots(const ThemeSlotSequence& seq) {
  int count = SlotCount(seq);
  std::printf("theme context: %d slots\n", count);
  for (int s = 0; s < count; ++s) {
    const SlotContext& slot = seq.slots[s];
    int layers = LayerCount(slot);
    int texts = 0;
    for (int l = 0; l < layers; ++l) texts += slot.layers[l].layerType == 3 ? 1 : 0;
    std::string ground = layers > 0 ? Utf16ToUtf8(slot.layers[0].layerSource, REELKA_PATH_LEN) : "";
    std::printf("  slot %2d  %-31s", s, SlotTypeName(slot.slotType));
    if (texts > 0) std::printf("  %d text layer%s", texts, texts == 1 ? "" : "s");
    if (!ground.empty()) std::printf("  %s", ground.c_str());
    std::printf("\n");
    for (int t = 0; t < texts; ++t) {
      const LayerContext& layer = slot.layers[TextLayerIndex(slot, t)];
      TextLayerStyle style = StyleOf(layer);
      std::string rect = std::to_string(layer.x) + "," + std::to_string(layer.y) + " " + std::to_string(layer.width) +
                         "x" + std::to_string(layer.height);
      std::string id = std::to_string(s) + ":" + std::to_string(t);
      std::printf("           text %-5s  %-18s %3d px  %s%s\n", id.c_str(), rect.c_str(), layer.size,
                  style.font.c_str(), style.text.empty() ? "" : ("  " + Quote(style.text)).c_str());
    }
  }
}

int Host::ApplyReplacements() {
  for (const auto& r : mOptions.replacements) {
    if (Interrupted()) return kCancelled;
    const ThemeSlotSequence* seq = GetThemeContext();
    int count = seq ? SlotCount(*seq) : 0;
    if (r.slot >= count) {
      Fail("--replace " + std::to_string(r.slot) + ": the theme context has " + std::to_string(count) +
           " slots" + (count > 0 ? " (0 to " + std::to_string(count - 1) + ")" : std::string()));
      return kBadInput;
    }
    int type = seq->slots[r.slot].slotType;
    std::u16string wide;
    Utf8ToUtf16(r.path, wide);
    KV_UpdateSlot(r.slot, wide.c_str());
    const ReplacedSlotInfo* info = GetReplacedSlot();
    std::string head = "slot " + std::to_string(r.slot) + " (" + SlotTypeName(type) + "): ";
    if (!info || info->percent < 0) {
      std::printf("%snot replaced, the library has no theme\n", head.c_str());
    } else if (info->percent != 100) {
      std::printf("%snothing replaced%s\n", head.c_str(),
                  type == 3 || type == 4 ? "; a video slot keeps its video" : "");
    } else {
      std::string ws = Utf16ToUtf8(info->workSpaceImagePath, REELKA_PATH_LEN);
      if (type == 2)
        std::printf("%scolours now taken from %s; workspace image %s\n", head.c_str(), r.path.c_str(), ws.c_str());
      else
        std::printf("%spicture replaced by %s; workspace image %s\n", head.c_str(), r.path.c_str(), ws.c_str());
    }
  }
  return kOk;
}

// A text layer of the host's copy of the theme context and the picture it
// is rendered into.
struct TextJob {
  LayerContext* layer;
  std::string id;    // "SLOT:LAYER"
  std::string path;  // in the working folder
};

std::vector<TextJob> TextJobs(ThemeSlotSequence& seq, const std::string& tempDir) {
  std::vector<TextJob> jobs;
  for (int s = 0; s < SlotCount(seq); ++s) {
    SlotContext& slot = seq.slots[s];
    // Counted before any is marked rendered.
    for (int t = 0; t < TextLayerCount(slot); ++t) {
      char name[64];
      std::snprintf(name, sizeof(name), "reelka_text_%02d_%02d.png", s, t);
      jobs.push_back(TextJob{&slot.layers[TextLayerIndex(slot, t)], std::to_string(s) + ":" + std::to_string(t),
                             tempDir + name});
    }
  }
  return jobs;
}

std::string CodePoints(const std::set<uint32_t>& characters) {
  std::string list;
  for (uint32_t c : characters) {
    char code[16];
    std::snprintf(code, sizeof(code), "U+%04X", static_cast<unsigned>(c));
    std::u16string wide = c > 0xFFFF ? std::u16string{static_cast<char16_t>(0xD7C0 + (c >> 10)),
                                                      static_cast<char16_t>(0xDC00 | (c & 0x3FF))}
                                     : std::u16string(1, static_cast<char16_t>(c));
    list += (list.empty() ? "" : ", ") + std::string(code) + " " + Quote(Utf16ToUtf8(wide));
  }
  return list;
}

// Every text must fit its layer at a size that can be read: checked for all
// before any is rendered.
int CheckTextsFit(const std::vector<TextJob>& jobs) {
  for (const auto& job : jobs) {
    TextRenderResult measured = MeasureTextLayer(StyleOf(*job.layer));
    if (measured.doesNotFit) return Fail("text layer " + job.id + ": " + measured.error);
  }
  return kOk;
}

// What rendering the text layers had to change, said once.
struct TextNotes {
  std::set<std::string> warnings;
  std::map<std::string, std::string> substitutes;  // theme font -> face drawn with
  std::vector<std::string> shrunk;

  void Add(const TextJob& job, const TextLayerStyle& style, const TextRenderResult& result) {
    if (!result.warning.empty()) warnings.insert(result.warning);
    if (!result.missing.empty())
      warnings.insert("layer " + job.id + ": no installed font draws " + CodePoints(result.missing));
    if (result.substituted && !result.face.name.empty())
      substitutes[style.font.empty() ? "(none)" : style.font] = result.face.name;
    if (result.ok && result.size < style.size) shrunk.push_back(job.id + " to " + std::to_string(result.size) + " px");
  }
  void Print() const {
    for (const auto& w : warnings) Warn("text: " + w);
    if (!substitutes.empty()) {
      std::printf("fonts not installed, drawn with similar ones:\n");
      for (const auto& f : substitutes) std::printf("  %-27s %s\n", f.first.c_str(), f.second.c_str());
    }
    if (!shrunk.empty()) {
      std::string list;
      for (const auto& line : shrunk) list += (list.empty() ? "" : ", ") + line;
      std::printf("text shrunk to fit its layer: %s\n", list.c_str());
    }
  }
};

int Host::RenderTextLayers(ThemeSlotSequence& seq) {
  const std::vector<TextJob> jobs = TextJobs(seq, mTempDir);
  if (CheckTextsFit(jobs) != kOk) return kBadInput;
  int rendered = 0;
  int failed = 0;
  TextNotes notes;
  for (const auto& job : jobs) {
    if (IsInput(job.path)) {
      Warn("text layer " + job.id + " not rendered: " + Quote(job.path) + " is one of the inputs");
      ++failed;
      continue;
    }
    TextLayerStyle style = StyleOf(*job.layer);
    TextRenderResult result = RenderTextLayer(style, job.path);
    notes.Add(job, style, result);
    if (!result.ok || !MarkRendered(*job.layer, job.path)) {
      Warn("text layer " + job.id + " not rendered: " + (result.error.empty() ? "path too long" : result.error));
      ++failed;
      continue;
    }
    ++rendered;
  }
  notes.Print();
  std::printf("text layers: %d rendered into %s%s\n", rendered, mWorkDir.c_str(),
              failed ? (", " + std::to_string(failed) + " left out").c_str() : "");
  return kOk;
}

int Host::SaveClip(const std::u16string& firstSlotImage) {
  // The first-slot still is named only once a frame of this run is drawn.
  std::error_code ec;
  std::string still = Utf16ToUtf8(firstSlotImage);
  bool drewFrames = !still.empty() && fs::is_regular_file(still, ec);

  // The clip is saved next to the destination first and renamed once it is
  // complete, so a failure leaves an existing destination untouched.
  fs::path dest(mOutput);
  std::string pattern = (dest.parent_path() / ("." + dest.filename().string() + ".XXXXXX")).string();
  std::vector<char> buffer(pattern.begin(), pattern.end());
  buffer.push_back('\0');
  int fd = ::mkstemp(buffer.data());
  if (fd < 0) {
    Fail("cannot create a file in " + Quote(dest.parent_path().string()) + ": " + std::strerror(errno));
    return kNoClip;
  }
  ::close(fd);
  std::string temp(buffer.data());
  std::snprintf(gPartialOutput, sizeof(gPartialOutput), "%s", temp.c_str());
  struct ForgetPartial {
    ~ForgetPartial() { gPartialOutput[0] = '\0'; }
  } forget;
  std::u16string wideTemp;
  Utf8ToUtf16(temp, wideTemp);
  bool saved = SaveReelka(wideTemp.c_str());
  const int why = saved ? 0 : errno;
  uintmax_t size = fs::file_size(temp, ec);
  if (ec) size = 0;
  if (Interrupted()) {
    fs::remove(temp, ec);
    return kCancelled;
  }
  if (!saved || size == 0 || !drewFrames) {
    fs::remove(temp, ec);
    if (why == ENOMEM) {
      WriteStderr("reelka: stopped: out of memory\n");
      return kNoClip;
    }
    std::string reason = why != 0    ? std::string("the clip could not be written: ") + std::strerror(why)
                         : !saved    ? "the library did not complete the clip; --log writes its reasons"
                         : size == 0 ? "the library's output is empty"
                                     : "the library drew no frame in this run";
    Fail("no clip was produced (" + reason + ")");
    return kNoClip;
  }
  mode_t mask = ::umask(0);
  ::umask(mask);
  ::chmod(temp.c_str(), 0666 & ~mask);
  if (::rename(temp.c_str(), mOutput.c_str()) != 0) {
    Fail("cannot move the clip to " + Quote(mOutput) + ": " + std::strerror(errno));
    fs::remove(temp, ec);
    return kNoClip;
  }
  std::string details;
  cv::VideoCapture capture(mOutput);
  if (capture.isOpened()) {
    char buf[128];
    std::snprintf(buf, sizeof(buf), ", %d x %d, %.0f frames at %.2f fps",
                  static_cast<int>(capture.get(cv::CAP_PROP_FRAME_WIDTH)),
                  static_cast<int>(capture.get(cv::CAP_PROP_FRAME_HEIGHT)), capture.get(cv::CAP_PROP_FRAME_COUNT),
                  capture.get(cv::CAP_PROP_FPS));
    details = buf;
  }
  std::printf("clip written: %s (%ju bytes%s)\n", mOutput.c_str(), size, details.c_str());
  return kOk;
}

// The theme's limits, the default photos and the material checked against
// the limits; the destination is none of the inputs.
int Host::CheckMaterial() {
  const std::string themeName = ThemeName(mOptions.theme);
  mLimit = GetThemeLimitInfo(mOptions.theme);
  std::printf("theme %s: %d to %d photos, %d to %d seconds of video\n", themeName.c_str(), mLimit.minImage,
              mLimit.maxImage, mLimit.minVideoSec, mLimit.maxVideoSec);
  if (mOptions.photos.empty() && mLimit.maxImage > 0) {
    mOptions.photos = FindPhotos(kMatePhotos, static_cast<size_t>(std::min(mLimit.maxImage, REELKA_MAX_IMAGES)));
    if (mOptions.photos.empty())
      return Fail(std::string("no photos given, and none found under ") + kMatePhotos + " (package mate-backgrounds)");
    std::printf("photos: %zu from %s\n", mOptions.photos.size(), kMatePhotos);
  }
  std::string limitError =
      CheckLimits(mLimit, themeName, static_cast<int>(mOptions.photos.size()), static_cast<int>(mOptions.videos.size()),
                  mVideoSeconds, mCutShort.path.empty() ? nullptr : &mCutShort);
  if (!limitError.empty()) {
    Fail(limitError);
    return mLimit.maxImage <= 0 ? kNoClip : kBadInput;
  }
  for (const auto& p : mOptions.photos) RecordInput(mInputs, p);
  for (const auto& p : mOptions.videos) RecordInput(mInputs, p);
  for (const auto& r : mOptions.replacements) RecordInput(mInputs, r.path);
  if (IsInput(mOutput)) return Fail("destination " + Quote(mOutput) + " is one of the inputs");
  PrintMaterial();
  return kOk;
}

void Host::PrintMaterial() {
  int estimate = GetEstimatedTimeSec(mOptions.theme, static_cast<int>(mOptions.photos.size()), mVideoSeconds);
  if (mOptions.videos.empty())
    std::printf("material: %zu photos, no video\n", mOptions.photos.size());
  else
    std::printf("material: %zu photos, %zu video%s of %s\n", mOptions.photos.size(), mOptions.videos.size(),
                mOptions.videos.size() == 1 ? "" : "s", FormatSeconds(mVideoSecondsExact).c_str());
  if (estimate > 0)
    std::printf("estimated clip length: %d s\n", estimate);
  else
    Warn("the library gives no clip length for this material (" + std::to_string(estimate) + ")");
}

std::unique_ptr<UserInputContext> Host::MakeInput() const {
  auto input = std::make_unique<UserInputContext>();
  std::memset(input.get(), 0, sizeof(UserInputContext));
  input->NumOfImage = static_cast<int32_t>(mOptions.photos.size());
  input->NumOfVideo = static_cast<int32_t>(mOptions.videos.size());
  std::u16string wide;
  for (size_t i = 0; i < mOptions.photos.size(); ++i) {
    Utf8ToUtf16(mOptions.photos[i], wide);
    StoreField(input->ImagePath[i], REELKA_PATH_LEN, wide);
  }
  for (size_t i = 0; i < mOptions.videos.size(); ++i) {
    Utf8ToUtf16(mOptions.videos[i], wide);
    StoreField(input->VideoPath[i], REELKA_PATH_LEN, wide);
  }
  input->tubWidth = 192;
  input->tubHeight = 108;
  input->wsWidth = 960;
  input->wsHeight = 540;
  Utf8ToUtf16(mTempDir, wide);
  StoreField(input->tempDirPath, REELKA_PATH_LEN, wide);
  return input;
}

void Host::PrepareLogFolder() const {
  if (!mOptions.log) return;
  fs::path logs = fs::path(mTempDir) / ".." / "Logs";
  std::error_code ec;
  fs::create_directories(logs, ec);
  if (ec && !fs::is_directory(logs, ec))
    Warn("cannot create log folder " + Quote(logs.lexically_normal().string()) + "; no log is written");
  else
    std::printf("log folder: %s\n", logs.lexically_normal().c_str());
}

// The start pass, run from the resource folder, and the slots it filled.
int Host::RunStartPass() {
  auto input = MakeInput();
  PrepareLogFolder();
  std::error_code cdError;
  fs::current_path(mResources, cdError);
  if (cdError) return Fail("cannot change to resource folder " + Quote(mResources) + ": " + cdError.message());
  std::printf("working folder: %s\nresources: %s\n", mWorkDir.c_str(), mResources.c_str());
  std::fflush(stdout);

  if (Interrupted()) return kCancelled;
  if (!RunPass("preparing", StartPass, input.get())) return kCancelled;

  const ThemeSlotSequence* context = GetThemeContext();
  if (context) ListSlots(*context);
  else Warn("the library hands out no theme context");
  if (context && SlotCount(*context) == 0) Warn("the theme context has no slots");
  return kOk;
}

// The host's own copy of the theme context, which the create pass reads,
// with the user's words rendered into its text layers.
int Host::PrepareTextLayers(std::unique_ptr<ThemeSlotSequence>& sequence) {
  sequence = std::make_unique<ThemeSlotSequence>();
  std::memset(sequence.get(), 0, sizeof(ThemeSlotSequence));
  const ThemeSlotSequence* context = GetThemeContext();
  if (context) std::memcpy(sequence.get(), context, sizeof(ThemeSlotSequence));
  sequence->slotCount = SlotCount(*sequence);
  for (int s = 0; s < sequence->slotCount; ++s) sequence->slots[s].layerCount = LayerCount(sequence->slots[s]);

  std::string textError;
  if (!ApplyTexts(*sequence, mTexts, textError)) return Fail(textError);
  int code = RenderTextLayers(*sequence);
  std::fflush(stdout);
  if (code == kOk && Interrupted()) code = kCancelled;
  return code;
}

int Host::RunCreatePass(const ThemeSlotSequence& sequence) {
  if (!RunPass("rendering", CreatePass, &sequence)) return kCancelled;
  const reelka_char16* first = GetFirstSlotImage();
  std::u16string firstSlotImage;
  if (first) {
    size_t n = 0;
    while (n < 4096 && first[n]) ++n;
    firstSlotImage.assign(first, n);
  }
  if (!firstSlotImage.empty()) std::printf("first slot image: %s\n", Utf16ToUtf8(firstSlotImage).c_str());
  int code = SaveClip(firstSlotImage);
  std::fflush(stdout);
  return code;
}

int Host::Run() {
  if (!DisplayOpens())
    return Fail("no display: the library draws in a hidden OpenGL window; run reelka under xvfb-run -a");
  const std::string memory = AddressSpaceProblem();
  if (!memory.empty()) {
    Fail(memory);
    return kNoClip;
  }
  int code = CheckInputs();
  if (code == kOk) code = ChooseResources();
  if (code != kOk) return code;

  mLibraryUsed = true;
  gLibraryInUse = true;
  code = CheckMaterial();
  if (code == kOk) code = RunStartPass();
  if (code == kOk) code = ApplyReplacements();
  std::unique_ptr<ThemeSlotSequence> sequence;
  if (code == kOk) code = PrepareTextLayers(sequence);
  if (code == kOk) code = RunCreatePass(*sequence);
  return Finish(code);
}

}  // namespace

int main(int argc, char** argv) {
  // Keep result lines in order with the progress lines when both are logged.
  std::setvbuf(stdout, nullptr, _IOLBF, 0);
  InstallSignalHandlers();
  HostOptions options;
  std::string error;
  if (!ParseArgs(argc, argv, options, error)) {
    Fail(error);
    std::fprintf(stderr, "Try 'reelka --help'.\n");
    return kBadInput;
  }
  if (options.help) {
    std::fputs(UsageText("reelka").c_str(), stdout);
    return kOk;
  }
  try {
    Host host(options);
    return host.Run();
  } catch (const std::bad_alloc&) {
    LeaveNow("reelka: stopped: out of memory\n", kNoClip);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "reelka: stopped: %s\n", e.what());
    LeaveNow("", kNoClip);
  }
}

// Helpers of the end-to-end runs: photo material, the frame count each scene
// adds to the clip, and reading the run's files back.
#pragma once

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>
#include <opencv2/videoio.hpp>

#include "EffectTable.h"
#include "platform/Platform.h"
#include "reelka/reelka.h"
#include "themes/ThemeTypes.h"
#include "videoengine/VideoEngine.h"

namespace e2e {

// A folder under /tmp with "work/" and its sibling "Logs/"; removed at the end.
struct RunDir {
  std::string root;
  std::string work;
  explicit RunDir(const std::string& name) {
    std::string pattern = "/tmp/reelka_e2e_" + name + "_XXXXXX";
    std::vector<char> buf(pattern.begin(), pattern.end());
    buf.push_back('\0');
    root = ::mkdtemp(buf.data()) ? buf.data() : "";
    work = root + "/work/";
    ::mkdir(work.c_str(), 0755);
    ::mkdir((root + "/Logs").c_str(), 0755);
  }
  ~RunDir() {
    std::error_code ec;
    if (root.rfind("/tmp/reelka_e2e_", 0) == 0) std::filesystem::remove_all(root, ec);
  }
};

inline bool HaveDisplay() {
  const char* display = std::getenv("DISPLAY");
  return display && *display;
}

inline std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

inline std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::stringstream ss(text);
  for (std::string line; std::getline(ss, line);) lines.push_back(line);
  return lines;
}

inline int CountLines(const std::string& text, const std::string& needle) {
  int n = 0;
  for (const std::string& line : Lines(text))
    if (line.find(needle) != std::string::npos) ++n;
  return n;
}

// The mate-backgrounds nature photographs, sorted by name.
inline std::vector<std::string> MatePhotos() {
  std::vector<std::string> paths;
  const std::string dir = "/usr/share/backgrounds/mate/nature/";
  if (DIR* d = ::opendir(dir.c_str())) {
    while (dirent* e = ::readdir(d)) {
      std::string name = e->d_name;
      if (name.size() > 4 && name.compare(name.size() - 4, 4, ".jpg") == 0) paths.push_back(dir + name);
    }
    ::closedir(d);
  }
  std::sort(paths.begin(), paths.end());
  return paths;
}

// Photo i: a mate photograph scaled to 960 x 540 when there is one, else
// generated shapes; a bar of its own colour keeps any two apart.
inline cv::Mat MakePhoto(int i) {
  const std::vector<std::string> mate = MatePhotos();
  cv::Mat photo;
  if (static_cast<size_t>(i) < mate.size()) {
    cv::Mat full = cv::imread(mate[static_cast<size_t>(i)], cv::IMREAD_COLOR);
    if (!full.empty()) cv::resize(full, photo, cv::Size(960, 540), 0, 0, cv::INTER_AREA);
  }
  if (photo.empty()) {
    photo = cv::Mat(540, 960, CV_8UC3, cv::Scalar(30 * i % 255, 90, 160));
    cv::RNG rng(1000 + i);
    for (int k = 0; k < 400; ++k) {
      cv::Point p(rng.uniform(0, 960), rng.uniform(0, 540));
      cv::circle(photo, p, rng.uniform(4, 40), cv::Scalar(rng.uniform(0, 255), rng.uniform(0, 255), rng.uniform(0, 255)),
                 cv::FILLED);
    }
  }
  cv::rectangle(photo, cv::Rect(40 + 60 * i, 40, 50, 120), cv::Scalar(255 - 40 * i, 40 * i, 128), cv::FILLED);
  return photo;
}

inline std::vector<std::string> WritePhotos(const std::string& dir, int count, int first = 0) {
  std::vector<std::string> paths;
  for (int i = first; i < first + count; ++i) {
    std::string path = dir + "/photo" + std::to_string(i) + ".png";
    cv::imwrite(path, MakePhoto(i));
    paths.push_back(path);
  }
  return paths;
}

inline std::unique_ptr<UserInputContext> MakeInput(const std::vector<std::string>& photos,
                                                   const std::vector<std::string>& videos, const std::string& work) {
  auto input = std::make_unique<UserInputContext>();
  std::memset(input.get(), 0, sizeof(UserInputContext));
  input->NumOfImage = static_cast<int32_t>(photos.size());
  input->NumOfVideo = static_cast<int32_t>(videos.size());
  for (size_t i = 0; i < photos.size(); ++i)
    platform::CopyWideField(input->ImagePath[i], REELKA_PATH_LEN, platform::Utf8ToUtf16(photos[i]));
  for (size_t i = 0; i < videos.size(); ++i)
    platform::CopyWideField(input->VideoPath[i], REELKA_PATH_LEN, platform::Utf8ToUtf16(videos[i]));
  platform::CopyWideField(input->tempDirPath, REELKA_PATH_LEN, platform::Utf8ToUtf16(work));
  input->tubWidth = 192;
  input->tubHeight = 108;
  input->wsWidth = 960;
  input->wsHeight = 540;
  return input;
}

inline std::string Narrow(const char16_t* s, size_t max = 4096) {
  return platform::Utf16ToUtf8(std::u16string(s, platform::WideLength(s, max)));
}

// Screen-quad transition of a picture-to-picture scene.
inline bool IsQuadI2I(int code) { return code >= 3000 && code <= 3006; }

// A transition of the given kind (3 picture to picture, 4 picture to video,
// 5 video to picture).
inline bool IsTransition(int code, int kind) { return FindEffectRow(code) != nullptr && code / 1000 == kind; }

// Global block index to block, wrapping over all blocks of all videos.
inline const SuperFrame* BlockAt(const std::vector<SummarizedVideo>* list, int index) {
  if (!list || index < 0) return nullptr;
  std::vector<const SuperFrame*> all;
  for (const SummarizedVideo& v : *list)
    for (const SuperFrame& b : v.blocks) all.push_back(&b);
  if (all.empty()) return nullptr;
  return all[static_cast<size_t>(index) % all.size()];
}

// Frames one scene adds at the output rate fps (single-precision products,
// truncated): holds and the one-picture effect take their own seconds,
// picture transitions their seconds or 2.0, video scenes the whole block.
inline int SceneFrames(const ThemeScene& s, float fps, const std::vector<SummarizedVideo>* list) {
  if (s.effectCode < 0) return 0;
  const int st = s.startType == kScenePaper ? kSceneImage : s.startType;
  const int et = s.endType == kScenePaper ? kSceneImage : s.endType;
  const float d = s.durationSec;
  if (st == kSceneImage && et == kSceneImage) {
    if (s.effectCode == 1000) return static_cast<int>(fps * d);
    if (s.effectCode == 6001) return static_cast<int>(fps * (d == 0.0f ? 0.0f : d));
    if (!IsTransition(s.effectCode, 3)) return 0;
    const int tl = static_cast<int>(fps * (d == 0.0f ? 2.0f : d));
    return static_cast<int>(fps * 0.0f + static_cast<float>(tl));
  }
  const SuperFrame* block = BlockAt(list, st == kSceneVideo ? s.startIndex : s.endIndex);
  if (!block) return 0;
  if (st == kSceneImage && et == kSceneVideo) return IsTransition(s.effectCode, 4) ? block->sfSize : 0;
  if (st == kSceneVideo && et == kSceneImage) return IsTransition(s.effectCode, 5) ? block->sfSize : 0;
  if (st == kSceneVideo && et == kSceneVideo) return block->sfSize;
  return 0;
}

struct SceneSpan {
  ThemeScene scene;
  int first = 0;
  int count = 0;
};

inline std::vector<SceneSpan> Spans(const ThemeSequence& seq, float fps, const std::vector<SummarizedVideo>* list) {
  std::vector<SceneSpan> spans;
  int at = 0;
  for (const ThemeScene& s : seq) {
    SceneSpan span{s, at, SceneFrames(s, fps, list)};
    at += span.count;
    spans.push_back(span);
  }
  return spans;
}

inline int TotalFrames(const std::vector<SceneSpan>& spans) {
  return spans.empty() ? 0 : spans.back().first + spans.back().count;
}

struct DecodedVideo {
  int width = 0;
  int height = 0;
  double fps = 0.0;
  int frames = 0;
  std::vector<std::pair<int, cv::Mat>> kept;  // frames asked for, by index
};

// Decodes every frame of a clip; keeps the frames whose index is listed.
inline DecodedVideo Decode(const std::string& path, const std::vector<int>& keep) {
  DecodedVideo out;
  cv::VideoCapture cap(path, cv::CAP_FFMPEG);
  if (!cap.isOpened()) return out;
  out.width = static_cast<int>(cap.get(cv::CAP_PROP_FRAME_WIDTH));
  out.height = static_cast<int>(cap.get(cv::CAP_PROP_FRAME_HEIGHT));
  out.fps = cap.get(cv::CAP_PROP_FPS);
  cv::Mat frame;
  while (cap.read(frame)) {
    if (std::find(keep.begin(), keep.end(), out.frames) != keep.end()) out.kept.emplace_back(out.frames, frame.clone());
    ++out.frames;
  }
  return out;
}

// Mean absolute difference per channel value.
inline double MeanAbsDiff(const cv::Mat& a, const cv::Mat& b) {
  if (a.size() != b.size() || a.type() != b.type()) return 1e9;
  return cv::norm(a, b, cv::NORM_L1) / static_cast<double>(a.total() * a.channels());
}

}  // namespace e2e

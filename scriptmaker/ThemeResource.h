// Table of contents of one render pass.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

class OrvThemeMetaData {
 public:
  void Clear();
  void SetResourceDirectory(std::string dir) { mResourceDirectory = std::move(dir); }
  void SetOutputFilePath(std::string path) { mOutputFilePath = std::move(path); }
  std::string GetResourceDirectory() const { return mResourceDirectory; }
  std::string GetOutputFilePath() const { return mOutputFilePath; }
  std::vector<std::string> GetVideoNameList() const { return mVideoNames; }

  std::string mResourceDirectory;
  std::vector<std::string> mVideoNames;
  std::string mOutputFilePath;
  float mTransitionSec = 2.0f;
  float mImageHoldSec = 0.0f;
  float mPaperHoldSec = 0.0f;
};

struct SeparatorEntry {
  int32_t slotIndex = 0;
  int32_t paperIndex = 0;
};

struct ImageEntry {
  int32_t slotIndex = 0;
  std::string path;
};

struct PaperEntry {
  int32_t slotIndex = 0;
  std::string path;
};

class ThemeResource {
 public:
  void Clear();

  std::vector<SeparatorEntry> mVideoList;  // entry k: the video slot showing block k
  std::vector<ImageEntry> ImageList;       // slots of type 0 and 1
  std::vector<PaperEntry> PaperList;       // slots of type 2 and 4
  OrvThemeMetaData mMetaData;
};

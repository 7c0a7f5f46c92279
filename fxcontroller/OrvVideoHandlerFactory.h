// Keeps the library's two video handlers: one cached reader keyed by its
// video path, and the output writer of the create pass keyed by its path.
#pragma once

#include <string>
#include <vector>

#include <opencv2/core.hpp>

#include "fxcontroller/OrvFXFrameHandler.h"

// The cached reader and its key (the path it was created for).
extern OrvFXFrameHandler* gFXFrameHandlerA;
extern std::string gFXHandlerVideoNameA;
// The output writer and its key (the output path).
extern OrvFXFrameHandler* gFXFrameHandlerB;
extern std::string gFXHandlerVideoNameB;
// Reference video chosen by GetAppropriateWindowSize; the writer takes its
// frame rate and size. Empty: 1920 x 1080 at 29.97.
extern std::string gWindowSizeVideoName;
// The effects' resource folder (set by the effect maker).
extern std::string gEffectResourceDir;
// Read-back buffer of the frame write-out (allocated by the effect maker).
extern cv::Mat gFrameBufferMat;

class OrvVideoHandlerFactory {
 public:
  OrvVideoHandlerFactory() = delete;

  // Walks the list in order: a readable video whose width or height is below
  // the size so far replaces both and becomes gWindowSizeVideoName.
  // (99999, 99999) when no video in the list can be read.
  static cv::Size GetAppropriateWindowSize(std::vector<std::string> videoPaths);
  // The cached reader for path (reopened only when the path changes);
  // null for an empty path.
  static OrvFXFrameHandler* GetFrameHandler(std::string videoPath);
  // The output writer for outputPath, sized after gWindowSizeVideoName.
  static OrvFXFrameHandler* GetOutputFrameHandler(std::string outputPath);
  // Closes and frees handler; the pointer is null afterwards.
  static void DeleteFrameHandler(OrvFXFrameHandler*& handler);
  // Empties the keys and frees both handlers (finalises the output video).
  static void ReleaseAllFrameHandlers();
};

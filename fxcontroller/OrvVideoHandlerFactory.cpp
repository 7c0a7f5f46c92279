#include "fxcontroller/OrvVideoHandlerFactory.h"

#include "OrvEffectMaker.h"
#include "api/Log.h"

OrvFXFrameHandler* gFXFrameHandlerA = nullptr;
std::string gFXHandlerVideoNameA;
OrvFXFrameHandler* gFXFrameHandlerB = nullptr;
std::string gFXHandlerVideoNameB;
std::string gWindowSizeVideoName;
std::string gEffectResourceDir;
cv::Mat gFrameBufferMat;

namespace {
constexpr int kNoVideoSize = 99999;
}

cv::Size OrvVideoHandlerFactory::GetAppropriateWindowSize(std::vector<std::string> videoPaths) {
  static const char* const kTag = "OrvVideoHandlerFactory::GetAppropriateWindowSize";
  cv::Size size(kNoVideoSize, kNoVideoSize);
  for (const std::string& path : videoPaths) {
    ORV_LOG(kTag, "GetAppropriateWindowSize VideoName : %s", path.c_str());
    OrvFXFrameHandler* reader = GetFrameHandler(path);
    // A video that gives no frame, size or rate cannot set the output.
    if (!reader || !reader->isReadable()) {
      ORV_LOG(kTag, "Unreadable video left out of the output size : %s", path.c_str());
      continue;
    }
    if (reader->getWidth() < size.width || reader->getHeight() < size.height) {
      size = cv::Size(reader->getWidth(), reader->getHeight());
      gWindowSizeVideoName = path;
    }
  }
  return size;
}

OrvFXFrameHandler* OrvVideoHandlerFactory::GetFrameHandler(std::string videoPath) {
  if (videoPath.empty()) {
    ORV_LOG("OrvVideoHandlerFactory::GetFrameHandler", "No reader for an empty video path");
    return nullptr;
  }
  if (gFXFrameHandlerA && videoPath == gFXHandlerVideoNameA) return gFXFrameHandlerA;
  DeleteFrameHandler(gFXFrameHandlerA);
  OrvFXFrameHandler* handler = new OrvFXFrameHandler();
  handler->setParameters(videoPath, "");
  gFXFrameHandlerA = handler;
  gFXHandlerVideoNameA = videoPath;
  return handler;
}

OrvFXFrameHandler* OrvVideoHandlerFactory::GetOutputFrameHandler(std::string outputPath) {
  if (outputPath.empty()) {
    ORV_LOG("OrvVideoHandlerFactory::GetOutputFrameHandler", "No writer for an empty output path");
    return nullptr;
  }
  if (gFXFrameHandlerB && outputPath == gFXHandlerVideoNameB) return gFXFrameHandlerB;
  DeleteFrameHandler(gFXFrameHandlerB);
  OrvFXFrameHandler* handler = new OrvFXFrameHandler();
  handler->setParameters(gWindowSizeVideoName, outputPath);
  gFXFrameHandlerB = handler;
  gFXHandlerVideoNameB = outputPath;
  return handler;
}

void OrvVideoHandlerFactory::DeleteFrameHandler(OrvFXFrameHandler*& handler) {
  if (!handler) return;
  // The effects must not play from a freed reader.
  OrvEffectMaker::ForgetInputFrameHandler(handler);
  handler->deInit();
  delete handler;
  handler = nullptr;
}

void OrvVideoHandlerFactory::ReleaseAllFrameHandlers() {
  ORV_LOG("OrvVideoHandlerFactory::ReleaseAllFrameHandlers",
          "OrvVideoHandlerFactory::ReleaseAllFrameHandlers() - Destructor called");
  gFXHandlerVideoNameA.clear();
  gFXHandlerVideoNameB.clear();
  gWindowSizeVideoName.clear();
  DeleteFrameHandler(gFXFrameHandlerA);
  DeleteFrameHandler(gFXFrameHandlerB);
}

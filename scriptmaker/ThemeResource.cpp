#include "scriptmaker/ThemeResource.h"

#include "api/Log.h"

void OrvThemeMetaData::Clear() {
  ORV_LOG("OrvThemeMetaData::Clear", "Clear Metadata");
  mVideoNames.clear();
  mResourceDirectory.clear();
  mOutputFilePath.clear();
  mTransitionSec = 2.0f;
  mImageHoldSec = 0.0f;
  mPaperHoldSec = 0.0f;
}

void ThemeResource::Clear() {
  mVideoList.clear();
  ImageList.clear();
  PaperList.clear();
  mMetaData.Clear();
}

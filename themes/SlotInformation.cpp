#include "themes/SlotInformation.h"

#include <sys/stat.h>

#include <climits>
#include <cstdio>

#include "api/Log.h"
#include "themes/ModernSlotInformation.h"
#include "themes/SportySlotInformation.h"
#include "themes/VividSlotInformation.h"

SlotInformation::SlotInformation(int colorStyle, std::string wsFileNamingCode)
    : mColorStyle(colorStyle), WSFileNamingCode(std::move(wsFileNamingCode)) {
  WorkSpaceImagePath[0] = 0;
  mSeparatorImagePath[0] = 0;
}

SlotInformation::~SlotInformation() { ReleaseSlotArrays(); }

void SlotInformation::ReleaseSlotArrays() {
  slotType.reset();
  design.reset();
  targetType.reset();
  targetIndex.reset();
  allocatedImage.reset();
  mSlotCount = 0;
}

std::shared_ptr<SlotInformation> CreateThemeSlotInformation(int themeIndex) {
  std::shared_ptr<SlotInformation> theme;
  switch (themeIndex) {
    case 0: theme = std::make_shared<ModernSlotInformation>(); break;
    case 1: theme = std::make_shared<SportySlotInformation>(); break;
    case 2: theme = std::make_shared<VividSlotInformation>(); break;
    default: break;
  }
  return theme;
}

bool IS_EXIST_FILE(std::string path) {
  // Only a regular file counts: a folder opens for reading too.
  struct stat st;
  FILE* file = nullptr;
  if (!path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode)) file = std::fopen(path.c_str(), "rb");
  if (!file) {
    ORV_LOG("IS_EXIST_FILE", "File Not Exist, Path : %s", path.c_str());
    return false;
  }
  std::fseek(file, 0, SEEK_END);
  long size = std::ftell(file);
  std::fclose(file);
  const int size32 = size > INT_MAX ? INT_MAX : static_cast<int>(size);
  ORV_LOG("IS_EXIST_FILE", "File Exist, Path : %s, Size : %d bytes", path.c_str(), size32);
  return true;
}

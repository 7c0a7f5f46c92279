/* Reelka clip library: the host boundary. Usable from C and C++. */
#ifndef REELKA_REELKA_H
#define REELKA_REELKA_H

#ifdef __cplusplus
#include <cstddef>
#include <cstdint>
typedef char16_t reelka_char16;
#else
#include <stddef.h>
#include <stdint.h>
#include <stdbool.h>
#include <uchar.h>
typedef char16_t reelka_char16;
#endif

#if defined(REELKA_BUILDING_SHARED)
#define REELKA_API __attribute__((visibility("default")))
#else
#define REELKA_API
#endif

#define REELKA_PATH_LEN 300
#define REELKA_SHORT_LEN 32
#define REELKA_MAX_IMAGES 50
#define REELKA_MAX_VIDEOS 3
#define REELKA_MAX_SLOTS 36
#define REELKA_MAX_LAYERS 12

#ifdef __cplusplus
extern "C" {
#endif

typedef struct UserInputContext {
  int32_t reserved;
  int32_t NumOfImage;
  int32_t NumOfVideo;
  reelka_char16 ImagePath[REELKA_MAX_IMAGES][REELKA_PATH_LEN];
  reelka_char16 VideoPath[REELKA_MAX_VIDEOS][REELKA_PATH_LEN];
  int32_t tubWidth;
  int32_t tubHeight;
  int32_t wsWidth;
  int32_t wsHeight;
  reelka_char16 tempDirPath[REELKA_PATH_LEN];
  reelka_char16 reservedPath[REELKA_PATH_LEN];
} UserInputContext;

typedef struct ThemeLimit {
  int32_t maxImage;
  int32_t minImage;
  int32_t minVideoSec;
  int32_t maxVideoSec;
} ThemeLimit;

typedef struct LayerContext {
  int32_t layerType;
  reelka_char16 layerSource[REELKA_PATH_LEN];
  int32_t x;
  int32_t y;
  int32_t width;
  int32_t height;
  int32_t size;
  reelka_char16 text[REELKA_PATH_LEN];
  reelka_char16 font[REELKA_PATH_LEN];
  reelka_char16 vertical[REELKA_SHORT_LEN];
  reelka_char16 horizontal[REELKA_SHORT_LEN];
  reelka_char16 colour[REELKA_SHORT_LEN];
  reelka_char16 background[REELKA_SHORT_LEN];
} LayerContext;

typedef struct SlotContext {
  int32_t slotType;
  int32_t layerCount;
  LayerContext layers[REELKA_MAX_LAYERS];
  reelka_char16 slotPath[REELKA_PATH_LEN];
} SlotContext;

typedef struct ThemeSlotSequence {
  int32_t slotCount;
  SlotContext slots[REELKA_MAX_SLOTS];
} ThemeSlotSequence;

typedef struct ReplacedSlotInfo {
  int32_t percent;
  reelka_char16 workSpaceImagePath[REELKA_PATH_LEN];
  reelka_char16 separatorImagePath[REELKA_PATH_LEN];
} ReplacedSlotInfo;

REELKA_API ThemeLimit GetThemeLimitInfo(int themeIndex);
REELKA_API int GetEstimatedTimeSec(int nNumOfTheme, int nNumOfImage, int nLengthOfVideoSec);
REELKA_API void KV_StartReelka(const UserInputContext* input);
REELKA_API int GetProgressValue(void);
REELKA_API ThemeSlotSequence* GetThemeContext(void);
REELKA_API int KV_UpdateSlot(int slotIndex, const reelka_char16* imagePath);
REELKA_API ReplacedSlotInfo* GetReplacedSlot(void);
REELKA_API void KV_CreateReelka(const ThemeSlotSequence* sequence);
REELKA_API void CancelEncoding(void);
REELKA_API const reelka_char16* GetFirstSlotImage(void);
/* False when nothing was saved; errno then tells why where a system reason
 * applies: ENOMEM when the last create pass ran short of memory; EFBIG,
 * ENOSPC, EIO and the like when its clip or the copy could not be written;
 * 0 otherwise. */
REELKA_API bool SaveReelka(const reelka_char16* destPath);
REELKA_API void ReleaseReelka(void);

#ifdef __cplusplus
}
#endif

/* The byte layouts are part of the interface. */
#ifdef __cplusplus
#define REELKA_STATIC_ASSERT static_assert
#else
#define REELKA_STATIC_ASSERT _Static_assert
#endif
REELKA_STATIC_ASSERT(sizeof(UserInputContext) == 33028, "UserInputContext size");
REELKA_STATIC_ASSERT(offsetof(UserInputContext, ImagePath) == 12, "ImagePath offset");
REELKA_STATIC_ASSERT(offsetof(UserInputContext, VideoPath) == 30012, "VideoPath offset");
REELKA_STATIC_ASSERT(offsetof(UserInputContext, tubWidth) == 31812, "tubWidth offset");
REELKA_STATIC_ASSERT(offsetof(UserInputContext, wsHeight) == 31824, "wsHeight offset");
REELKA_STATIC_ASSERT(offsetof(UserInputContext, tempDirPath) == 31828, "tempDirPath offset");
REELKA_STATIC_ASSERT(offsetof(UserInputContext, reservedPath) == 32428, "reservedPath offset");
REELKA_STATIC_ASSERT(sizeof(ThemeLimit) == 16, "ThemeLimit size");
REELKA_STATIC_ASSERT(sizeof(LayerContext) == 2080, "LayerContext size");
REELKA_STATIC_ASSERT(offsetof(LayerContext, x) == 604, "x offset");
REELKA_STATIC_ASSERT(offsetof(LayerContext, size) == 620, "size offset");
REELKA_STATIC_ASSERT(offsetof(LayerContext, text) == 624, "text offset");
REELKA_STATIC_ASSERT(offsetof(LayerContext, font) == 1224, "font offset");
REELKA_STATIC_ASSERT(offsetof(LayerContext, vertical) == 1824, "vertical offset");
REELKA_STATIC_ASSERT(offsetof(LayerContext, horizontal) == 1888, "horizontal offset");
REELKA_STATIC_ASSERT(offsetof(LayerContext, colour) == 1952, "colour offset");
REELKA_STATIC_ASSERT(offsetof(LayerContext, background) == 2016, "background offset");
REELKA_STATIC_ASSERT(sizeof(SlotContext) == 25568, "SlotContext size");
REELKA_STATIC_ASSERT(offsetof(SlotContext, layers) == 8, "layers offset");
REELKA_STATIC_ASSERT(offsetof(SlotContext, slotPath) == 24968, "slotPath offset");
REELKA_STATIC_ASSERT(sizeof(ThemeSlotSequence) == 920452, "ThemeSlotSequence size");
REELKA_STATIC_ASSERT(offsetof(ThemeSlotSequence, slots) == 4, "slots offset");
REELKA_STATIC_ASSERT(sizeof(ReplacedSlotInfo) == 1204, "ReplacedSlotInfo size");
REELKA_STATIC_ASSERT(offsetof(ReplacedSlotInfo, workSpaceImagePath) == 4, "workSpaceImagePath offset");
REELKA_STATIC_ASSERT(offsetof(ReplacedSlotInfo, separatorImagePath) == 604, "separatorImagePath offset");

#endif

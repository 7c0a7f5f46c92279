/* A host that leaves the process with exit(0) on its main thread while
 * KV_CreateReelka runs on another. Usage: exit_during_pass WORK_DIR/ DELAY_MS
 * PHOTO... (ASCII paths). Run from the folder that holds ReelkaResource. */
#include <pthread.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

#include <reelka/reelka.h>

static void Widen(reelka_char16* field, const char* text) {
  size_t n = strlen(text);
  if (n >= REELKA_PATH_LEN) n = REELKA_PATH_LEN - 1;
  for (size_t i = 0; i < n; ++i) field[i] = (reelka_char16)(unsigned char)text[i];
  field[n] = 0;
}

static ThemeSlotSequence gSequence;

static void* CreatePass(void* unused) {
  (void)unused;
  KV_CreateReelka(&gSequence);
  return NULL;
}

int main(int argc, char** argv) {
  if (argc < 4) return 2;
  static UserInputContext input;
  input.NumOfImage = argc - 3;
  for (int i = 3; i < argc && i - 3 < REELKA_MAX_IMAGES; ++i) Widen(input.ImagePath[i - 3], argv[i]);
  Widen(input.tempDirPath, argv[1]);
  input.tubWidth = 192;
  input.tubHeight = 108;
  input.wsWidth = 960;
  input.wsHeight = 540;
  if (GetThemeLimitInfo(0).maxImage <= 0 || GetEstimatedTimeSec(0, input.NumOfImage, 0) <= 0) return 3;
  KV_StartReelka(&input);
  const ThemeSlotSequence* context = GetThemeContext();
  if (!context || context->slotCount <= 0) return 4;
  memcpy(&gSequence, context, sizeof(gSequence));
  pthread_t thread;
  if (pthread_create(&thread, NULL, CreatePass, NULL) != 0) return 5;
  long ms = atol(argv[2]);
  struct timespec wait = {ms / 1000, (ms % 1000) * 1000000L};
  nanosleep(&wait, NULL);
  exit(0);
}

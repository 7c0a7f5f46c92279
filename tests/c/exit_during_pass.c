/* A host that leaves the process with exit(0) while a pass runs.
 * Usage: exit_during_pass WORK_DIR/ PASS WHO DELAY_MS PHOTO... (ASCII paths)
 *   PASS: start (the process's first start pass), restart (a later one),
 *         create (the first create pass: DELAY_MS counts from when its clip
 *         is opened), recreate (a later one), update (KV_UpdateSlot) or
 *         save (SaveReelka);
 *   WHO:  main (the pass runs on a second thread, the main thread exits) or
 *         thread (the pass runs on the main thread, a second thread exits).
 * Says when it leaves (real-time clock, ms). Run from the folder that holds
 * ReelkaResource. */
#include <pthread.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>
#include <unistd.h>

#include <reelka/reelka.h>

static UserInputContext gInput;
static ThemeSlotSequence gSequence;
static reelka_char16 gPath[REELKA_PATH_LEN];
static const char* gPass;
static long gDelayMs;
static char gClip[REELKA_PATH_LEN];

static void Widen(reelka_char16* field, const char* text) {
  size_t n = strlen(text);
  if (n >= REELKA_PATH_LEN) n = REELKA_PATH_LEN - 1;
  for (size_t i = 0; i < n; ++i) field[i] = (reelka_char16)(unsigned char)text[i];
  field[n] = 0;
}

static int Is(const char* pass) { return strcmp(gPass, pass) == 0; }

static void* RunPass(void* unused) {
  if (Is("start") || Is("restart")) KV_StartReelka(&gInput);
  if (Is("create") || Is("recreate")) KV_CreateReelka(&gSequence);
  while (Is("update")) KV_UpdateSlot(0, gPath);
  while (Is("save")) SaveReelka(gPath);
  return unused;
}

static void* Leave(void* unused) {
  struct timespec wait = {gDelayMs / 1000, (gDelayMs % 1000) * 1000000L}, now, poll = {0, 5000000L};
  for (int i = 0; Is("create") && access(gClip, F_OK) != 0 && i < 2000; ++i) nanosleep(&poll, NULL);
  nanosleep(&wait, NULL);
  clock_gettime(CLOCK_REALTIME, &now);
  fprintf(stderr, "leaving at %lld\n", (long long)now.tv_sec * 1000 + now.tv_nsec / 1000000);
  exit(0);
  return unused;
}

/* The passes before the one under test. */
static int Prepare(const char* workDir) {
  if (GetThemeLimitInfo(0).maxImage <= 0 || GetEstimatedTimeSec(0, gInput.NumOfImage, 0) <= 0) return 3;
  if (Is("start")) return 0;
  KV_StartReelka(&gInput);
  const ThemeSlotSequence* context = GetThemeContext();
  if (!context || context->slotCount <= 0) return 4;
  memcpy(&gSequence, context, sizeof(gSequence));
  memcpy(gPath, gInput.ImagePath[0], sizeof(gPath));
  if (Is("save") || Is("recreate")) KV_CreateReelka(&gSequence);
  if (!Is("save")) return 0;
  char dest[REELKA_PATH_LEN];
  snprintf(dest, sizeof(dest), "%ssaved.avi", workDir);
  Widen(gPath, dest);
  return SaveReelka(gPath) ? 0 : 6;
}

int main(int argc, char** argv) {
  if (argc < 6) return 2;
  gPass = argv[2];
  gDelayMs = atol(argv[4]);
  gInput.NumOfImage = argc - 5;
  for (int i = 5; i < argc && i - 5 < REELKA_MAX_IMAGES; ++i) Widen(gInput.ImagePath[i - 5], argv[i]);
  Widen(gInput.tempDirPath, argv[1]);
  snprintf(gClip, sizeof(gClip), "%s_output.avi", argv[1]);
  gInput.tubWidth = 192;
  gInput.tubHeight = 108;
  gInput.wsWidth = 960;
  gInput.wsHeight = 540;
  int code = Prepare(argv[1]);
  if (code != 0) return code;
  const int exitOnMain = strcmp(argv[3], "main") == 0;
  pthread_t thread;
  if (pthread_create(&thread, NULL, exitOnMain ? RunPass : Leave, NULL) != 0) return 5;
  exitOnMain ? Leave(NULL) : RunPass(NULL);
  pthread_join(thread, NULL);
  return 0;
}

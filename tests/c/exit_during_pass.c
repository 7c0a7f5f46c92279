/* A host that leaves the process with exit(0) while a pass runs.
 * Usage: exit_during_pass WORK_DIR/ PASS WHO DELAY_MS PHOTO... (ASCII paths)
 *   PASS: start (the process's first start pass), restart (a later one),
 *         create, update (KV_UpdateSlot) or save (SaveReelka);
 *   WHO:  main (the pass runs on a second thread, the main thread exits) or
 *         thread (the pass runs on the main thread, a second thread exits).
 * Run from the folder that holds ReelkaResource. */
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

static UserInputContext gInput;
static ThemeSlotSequence gSequence;
static reelka_char16 gPath[REELKA_PATH_LEN];
static const char* gPass;
static long gDelayMs;

static void RunPass(void) {
  if (strcmp(gPass, "start") == 0 || strcmp(gPass, "restart") == 0) {
    KV_StartReelka(&gInput);
  } else if (strcmp(gPass, "create") == 0) {
    KV_CreateReelka(&gSequence);
  } else if (strcmp(gPass, "update") == 0) {
    for (;;) KV_UpdateSlot(0, gPath);
  } else {
    for (;;) SaveReelka(gPath);
  }
}

static void* PassThread(void* unused) {
  (void)unused;
  RunPass();
  return NULL;
}

/* Says when it leaves (milliseconds of the real-time clock), for the
 * script to time the way out. */
static void* ExitThread(void* unused) {
  (void)unused;
  struct timespec wait = {gDelayMs / 1000, (gDelayMs % 1000) * 1000000L};
  nanosleep(&wait, NULL);
  struct timespec now;
  clock_gettime(CLOCK_REALTIME, &now);
  fprintf(stderr, "leaving at %lld\n", (long long)now.tv_sec * 1000 + now.tv_nsec / 1000000);
  exit(0);
}

/* The start pass, and the create pass too where the pass under test needs a clip. */
static int Prepare(const char* workDir) {
  if (GetThemeLimitInfo(0).maxImage <= 0 || GetEstimatedTimeSec(0, gInput.NumOfImage, 0) <= 0) return 3;
  if (strcmp(gPass, "start") == 0) return 0;
  KV_StartReelka(&gInput);
  const ThemeSlotSequence* context = GetThemeContext();
  if (!context || context->slotCount <= 0) return 4;
  memcpy(&gSequence, context, sizeof(gSequence));
  if (strcmp(gPass, "update") == 0) {
    memcpy(gPath, gInput.ImagePath[0], sizeof(gPath));
  } else if (strcmp(gPass, "save") == 0) {
    KV_CreateReelka(&gSequence);
    char dest[REELKA_PATH_LEN];
    snprintf(dest, sizeof(dest), "%ssaved.avi", workDir);
    Widen(gPath, dest);
    if (!SaveReelka(gPath)) return 6;
  }
  return 0;
}

int main(int argc, char** argv) {
  if (argc < 6) return 2;
  gPass = argv[2];
  gDelayMs = atol(argv[4]);
  gInput.NumOfImage = argc - 5;
  for (int i = 5; i < argc && i - 5 < REELKA_MAX_IMAGES; ++i) Widen(gInput.ImagePath[i - 5], argv[i]);
  Widen(gInput.tempDirPath, argv[1]);
  gInput.tubWidth = 192;
  gInput.tubHeight = 108;
  gInput.wsWidth = 960;
  gInput.wsHeight = 540;
  int code = Prepare(argv[1]);
  if (code != 0) return code;
  pthread_t thread;
  if (strcmp(argv[3], "thread") == 0) {
    if (pthread_create(&thread, NULL, ExitThread, NULL) != 0) return 5;
    RunPass();
    pthread_join(thread, NULL);
    return 0;
  }
  if (pthread_create(&thread, NULL, PassThread, NULL) != 0) return 5;
  ExitThread(NULL);
}

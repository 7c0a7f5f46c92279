/* A tiny host built against an installed library through pkg-config. */
#include <stdio.h>

#include <reelka/reelka.h>

int main(void) {
  ThemeLimit sporty = GetThemeLimitInfo(1);
  int seconds = GetEstimatedTimeSec(1, sporty.minImage, 0); /* for the theme asked for last */
  printf("SPORTY: %d to %d photos, %d photos make %d s\n", sporty.minImage, sporty.maxImage, sporty.minImage, seconds);
  ReleaseReelka();
  return sporty.minImage > 0 && sporty.maxImage >= sporty.minImage && seconds > 0 ? 0 : 1;
}

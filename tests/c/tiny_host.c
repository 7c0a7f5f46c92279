/* A tiny host built against an installed library through pkg-config. */
#include <stdio.h>

#include <reelka/reelka.h>

int main(void) {
  /* The estimate is for the theme whose limits were asked for last. */
  ThemeLimit sporty = GetThemeLimitInfo(1);
  int seconds = GetEstimatedTimeSec(1, sporty.minImage, 0);
  ThemeLimit none = GetThemeLimitInfo(7);
  printf("SPORTY takes %d to %d photos; %d photos make a clip of %d s\n", sporty.minImage, sporty.maxImage,
         sporty.minImage, seconds);
  ReleaseReelka();
  return sporty.minImage > 0 && sporty.maxImage >= sporty.minImage && none.maxImage == 0 && seconds > 0 ? 0 : 1;
}

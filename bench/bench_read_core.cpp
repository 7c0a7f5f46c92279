// Cost of reading one video through the reading core: the open (with the
// look at its packet times), the frame count, reading every frame in order
// and seeks forward and back, with the timing the core chose for the file.
//
//   bench_read_core VIDEO
#include <chrono>
#include <cstdio>

#include "videoengine/VideoReadCore.h"

namespace {

double Now() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

const char* TimingName(VideoReadCore::Timing t) {
  switch (t) {
    case VideoReadCore::Timing::kIndexed: return "indexed (evenly spaced)";
    case VideoReadCore::Timing::kTimed: return "by frame times, decoded forward";
    case VideoReadCore::Timing::kInOrder: return "in order, decoded forward";
  }
  return "?";
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s VIDEO\n", argv[0]);
    return 2;
  }
  VideoReadCore core;
  double t = Now();
  if (!core.open(argv[1])) {
    std::fprintf(stderr, "cannot open %s\n", argv[1]);
    return 1;
  }
  std::printf("open:            %7.3f s  (%s, %.3f fps)\n", Now() - t, TimingName(core.timing()), core.rate());
  t = Now();
  const int64_t count = core.decodableFrameCount();
  std::printf("frame count:     %7.3f s  (%lld frames, %.1f s)\n", Now() - t, static_cast<long long>(count),
              count / core.rate());
  cv::Mat frame;
  t = Now();
  int64_t read = 0;
  while (core.read(read, frame)) ++read;
  const double all = Now() - t;
  std::printf("read in order:   %7.3f s  (%lld frames, %.0f a second)\n", all, static_cast<long long>(read),
              read / all);
  for (double at : {0.9, 0.1, 0.5, 0.2}) {
    const int64_t k = static_cast<int64_t>(at * count);
    t = Now();
    const bool ok = core.read(k, frame) && core.read(k + 1, frame);
    std::printf("seek to %3.0f %%:   %7.3f s  (frame %lld%s)\n", at * 100, Now() - t, static_cast<long long>(k),
                ok ? "" : ", failed");
  }
  return 0;
}

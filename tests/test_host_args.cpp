// Command line, default photos and theme-limit check of the host program.
#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "../host/HostArgs.cpp"

using namespace reelka_host;

namespace {

bool Parse(std::vector<const char*> args, HostOptions& options, std::string& error) {
  args.insert(args.begin(), "reelka");
  return ParseArgs(static_cast<int>(args.size()), args.data(), options, error);
}

}  // namespace

TEST(HostArgs, ReadsAFullCommandLine) {
  HostOptions o;
  std::string error;
  ASSERT_TRUE(Parse({"--theme", "sporty", "-w", "/tmp/w", "--output=/tmp/out.avi", "-v", "a.mp4", "--video=b.mp4",
                     "-r", "3=/tmp/x.jpg", "--replace=12=y=z.png", "--log", "--resources", "/opt/r", "p1.jpg",
                     "p2.jpg", "--", "--odd-name.jpg", "-"},
                    o, error))
      << error;
  EXPECT_EQ(1, o.theme);
  EXPECT_EQ("/tmp/w", o.workDir);
  EXPECT_EQ("/tmp/out.avi", o.output);
  EXPECT_EQ("/opt/r", o.resources);
  EXPECT_TRUE(o.log);
  EXPECT_FALSE(o.help);
  EXPECT_EQ((std::vector<std::string>{"a.mp4", "b.mp4"}), o.videos);
  EXPECT_EQ((std::vector<std::string>{"p1.jpg", "p2.jpg", "--odd-name.jpg", "-"}), o.photos);
  ASSERT_EQ(2u, o.replacements.size());
  EXPECT_EQ(3, o.replacements[0].slot);
  EXPECT_EQ("/tmp/x.jpg", o.replacements[0].path);
  EXPECT_EQ(12, o.replacements[1].slot);
  EXPECT_EQ("y=z.png", o.replacements[1].path);

  ASSERT_TRUE(Parse({"-t", "0", "-w", "w", "-o", "o", "--texts", "a.txt", "--text=3:0=a=b"}, o, error)) << error;
  ASSERT_EQ(1u, o.texts.size());
  EXPECT_EQ("a=b", o.texts[0].text);
  EXPECT_EQ(std::vector<std::string>{"a.txt"}, o.textFiles);
}

TEST(HostArgs, HelpNeedsNothingElse) {
  HostOptions o;
  std::string error;
  ASSERT_TRUE(Parse({"--help"}, o, error));
  EXPECT_TRUE(o.help);
  ASSERT_TRUE(Parse({"-t", "modern", "-h", "--unknown"}, o, error));
  EXPECT_TRUE(o.help);
}

TEST(HostArgs, ReportsEachMistakeInOneLine) {
  const std::vector<std::pair<std::vector<const char*>, std::string>> cases = {
      {{"-w", "/tmp/w", "-o", "o.avi"}, "no theme"},
      {{"-t", "VIVID", "-o", "o.avi"}, "no working folder"},
      {{"-t", "VIVID", "-w", "/tmp/w"}, "no destination"},
      {{"-t", "pastel", "-w", "w", "-o", "o"}, "unknown theme"},
      {{"-t", "3", "-w", "w", "-o", "o"}, "unknown theme"},
      {{"-t", "0", "-t", "1", "-w", "w", "-o", "o"}, "twice"},
      {{"-t", "0", "-w", "w", "-w", "v", "-o", "o"}, "twice"},
      {{"-t", "0", "-w", "w", "-o"}, "needs a value"},
      {{"-t", "0", "-w", "w", "-o", "o", "--frobnicate"}, "unknown option"},
      {{"-t", "0", "-w", "w", "-o", "o", "--log=yes"}, "takes no value"},
      {{"-t", "0", "-w", "w", "-o", "o", "--theme="}, "non-empty"},
      {{"-t", "0", "-w", "w", "-o", "o", "-v", "1", "-v", "2", "-v", "3", "-v", "4"}, "at most 3 videos"},
      {{"-t", "0", "-w", "w", "-o", "o", "-r", "x=a.jpg"}, "SLOT=PATH"},
      {{"-t", "0", "-w", "w", "-o", "o", "-r", "-1=a.jpg"}, "SLOT=PATH"},
      {{"-t", "0", "-w", "w", "-o", "o", "-r", "4="}, "SLOT=PATH"},
      {{"-t", "0", "-w", "w", "-o", "o", "-r", "a.jpg"}, "SLOT=PATH"},
      {{"-t", "0", "-w", "w", "-o", "o", "--text", "3=Title"}, "SLOT:LAYER=TEXT"},
      {{"-t", "0", "-w", "w", "-o", "o", "--text=1:0=\xC3"}, "UTF-8"},
  };
  for (const auto& c : cases) {
    HostOptions o;
    std::string error;
    EXPECT_FALSE(Parse(c.first, o, error)) << c.second;
    EXPECT_NE(std::string::npos, error.find(c.second)) << error;
    EXPECT_EQ(std::string::npos, error.find('\n')) << error;
  }
}

TEST(HostArgs, RefusesMorePhotosThanTheRecordHolds) {
  std::vector<const char*> args = {"-t", "0", "-w", "w", "-o", "o"};
  std::vector<std::string> names;
  for (int i = 0; i < 51; ++i) names.push_back("p" + std::to_string(i) + ".jpg");
  for (const auto& n : names) args.push_back(n.c_str());
  HostOptions o;
  std::string error;
  EXPECT_FALSE(Parse(args, o, error));
  args.pop_back();
  EXPECT_TRUE(Parse(args, o, error)) << error;
  EXPECT_EQ(50u, o.photos.size());
}

TEST(HostArgs, NamesThemes) {
  EXPECT_EQ(0, ParseTheme("MODERN"));
  EXPECT_EQ(1, ParseTheme("Sporty"));
  EXPECT_EQ(2, ParseTheme("vivid"));
  EXPECT_EQ(2, ParseTheme("2"));
  EXPECT_EQ(-1, ParseTheme("02"));
  EXPECT_EQ(-1, ParseTheme(""));
  EXPECT_STREQ("SPORTY", ThemeName(1));
}

TEST(HostPhotos, FindsPicturesSortedAndLimited) {
  namespace fs = std::filesystem;
  fs::path dir = fs::temp_directory_path() / ("reelka_host_photos_" + std::to_string(::getpid()));
  fs::remove_all(dir);
  fs::create_directories(dir / "b" / "deep");
  fs::create_directories(dir / "a");
  for (const char* name : {"b/deep/z.PNG", "b/c.jpg", "a/y.jpeg", "a/x.JPG", "a/notes.txt", "a/jpg", "top.png"})
    std::ofstream(dir / name) << "x";
  fs::create_directories(dir / "folder.jpg");

  std::vector<std::string> all = FindPhotos(dir.string(), 50);
  std::vector<std::string> expected = {(dir / "a/x.JPG").string(), (dir / "a/y.jpeg").string(),
                                       (dir / "b/c.jpg").string(), (dir / "b/deep/z.PNG").string(),
                                       (dir / "top.png").string()};
  EXPECT_EQ(expected, all);
  std::vector<std::string> two = FindPhotos(dir.string(), 2);
  EXPECT_EQ(std::vector<std::string>(expected.begin(), expected.begin() + 2), two);
  EXPECT_TRUE(FindPhotos((dir / "missing").string(), 10).empty());
  fs::remove_all(dir);
}

TEST(HostLimits, ChecksPhotosAndVideoSeconds) {
  const ThemeLimit sporty{11, 6, 20, 600};
  EXPECT_EQ("", CheckLimits(sporty, "SPORTY", 6, 0, 0));
  EXPECT_EQ("", CheckLimits(sporty, "SPORTY", 11, 0, 0));
  EXPECT_EQ("", CheckLimits(sporty, "SPORTY", 8, 2, 20));
  EXPECT_EQ("", CheckLimits(sporty, "SPORTY", 8, 3, 600));
  // Video seconds only count when videos are given.
  EXPECT_EQ("", CheckLimits(sporty, "SPORTY", 8, 0, 5));

  std::string few = CheckLimits(sporty, "SPORTY", 5, 0, 0);
  EXPECT_NE(std::string::npos, few.find("takes 6 to 11 photos, 5 given")) << few;
  EXPECT_FALSE(CheckLimits(sporty, "SPORTY", 12, 0, 0).empty());
  std::string shortVideo = CheckLimits(sporty, "SPORTY", 8, 1, 19);
  EXPECT_NE(std::string::npos, shortVideo.find("20 to 600 seconds")) << shortVideo;
  EXPECT_NE(std::string::npos, shortVideo.find("video lasts 19 seconds")) << shortVideo;
  EXPECT_FALSE(CheckLimits(sporty, "SPORTY", 8, 2, 601).empty());
  // A header that promises more than decodes: named when the real length
  // falls short, not when it still fits.
  const CutShortVideo liar{"/v/liar.avi", 40.0, 1.88};
  const std::string cut = CheckLimits(sporty, "SPORTY", 8, 1, 1, &liar);
  EXPECT_NE(std::string::npos, cut.find("\"/v/liar.avi\": its header says 40.0 s but only 1.9 s of it decode")) << cut;
  EXPECT_NE(std::string::npos, cut.find("at least 20 seconds")) << cut;
  EXPECT_EQ("", CheckLimits(sporty, "SPORTY", 8, 1, 25, &liar));

  std::string none = CheckLimits(ThemeLimit{0, 0, 0, 0}, "VIVID", 8, 0, 0);
  EXPECT_NE(std::string::npos, none.find("no limits")) << none;
}

TEST(HostProgress, DrawsABarWithinBounds) {
  EXPECT_EQ("x [----------]   0%", ProgressBar("x", 0, 10));
  EXPECT_EQ("x [#####-----]  50%", ProgressBar("x", 50, 10));
  EXPECT_EQ("x [##########] 100%", ProgressBar("x", 100, 10));
  EXPECT_EQ(ProgressBar("x", 100, 10), ProgressBar("x", 250, 10));
  EXPECT_EQ(ProgressBar("x", 0, 10), ProgressBar("x", -3, 10));
}

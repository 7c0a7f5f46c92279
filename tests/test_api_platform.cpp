// Platform layer, file log and path conversion.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <fstream>
#include <regex>
#include <thread>

#include "api/Log.h"
#include "api/PathUtils.h"
#include "platform/Platform.h"
#include "test_foundation_util.h"

using testutil::TempRun;

namespace {
struct CodePageGuard {
  ~CodePageGuard() { platform::SetNarrowCodePage(platform::CodePage::Utf8); }
};
}  // namespace

TEST(PlatformConversion, Utf16RoundTripsThroughUtf8) {
  std::u16string text = u"caf\u00e9 \u65e5\u672c \U0001F600 end";
  EXPECT_EQ(platform::Utf8ToUtf16(platform::Utf16ToUtf8(text)), text);
  bool lossless = false;
  std::string narrow = platform::WideToNarrow(text, &lossless);
  EXPECT_TRUE(lossless);
  EXPECT_EQ(platform::NarrowToWide(narrow), text);
  EXPECT_EQ(narrow, "caf\xc3\xa9 \xe6\x97\xa5\xe6\x9c\xac \xf0\x9f\x98\x80 end");
}

TEST(PlatformConversion, UnpairedSurrogatesAndBadBytesAreReplaced) {
  std::u16string bad = u"a";
  bad += char16_t(0xD800);  // lone high surrogate
  bad += u"b";
  bad += char16_t(0xDC00);  // lone low surrogate
  bool lossless = true;
  EXPECT_EQ(platform::WideToNarrow(bad, &lossless), "a?b?");
  EXPECT_FALSE(lossless);
  // Overlong, truncated and stray continuation bytes each become U+FFFD.
  EXPECT_EQ(platform::Utf8ToUtf16("\xc0\xaf"), std::u16string(u"\uFFFD\uFFFD"));
  EXPECT_EQ(platform::Utf8ToUtf16("x\xe6\x97"), std::u16string(u"x\uFFFD\uFFFD"));
  EXPECT_EQ(platform::Utf8ToUtf16("\x80y"), std::u16string(u"\uFFFDy"));
}

TEST(PlatformConversion, SingleByteCodePageLosesWhatItCannotHold) {
  CodePageGuard guard;
  platform::SetNarrowCodePage(platform::CodePage::Latin1);
  bool lossless = true;
  EXPECT_EQ(platform::WideToNarrow(u"caf\u00e9", &lossless), "caf\xe9");
  EXPECT_TRUE(lossless);
  EXPECT_EQ(platform::WideToNarrow(u"\u65e5\u672c.mp4", &lossless), "??.mp4");
  EXPECT_FALSE(lossless);
  EXPECT_EQ(platform::NarrowToWide("caf\xe9"), std::u16string(u"caf\u00e9"));
}

TEST(PlatformFields, CopyWideFieldRefusesWhatDoesNotFit) {
  char16_t field[8];
  EXPECT_TRUE(platform::CopyWideField(field, 8, u"1234567"));
  EXPECT_EQ(std::u16string(field), u"1234567");
  EXPECT_FALSE(platform::CopyWideField(field, 8, u"12345678"));
  EXPECT_EQ(field[0], 0);
  char16_t unterminated[4] = {u'a', u'b', u'c', u'd'};
  EXPECT_EQ(platform::WideLength(unterminated, 4), 4u);
}

TEST(PlatformFiles, AtomicCopyReplacesOnlyTheDestination) {
  TempRun run(false);
  std::string src = run.root + "/src.bin", dst = run.root + "/dst.bin";
  std::ofstream(src, std::ios::binary) << std::string(3 << 20, 'x');
  std::ofstream(dst, std::ios::binary) << "old";
  std::ofstream(dst + ".part", std::ios::binary) << "user file";
  ASSERT_TRUE(platform::CopyFileAtomic(src, dst));
  EXPECT_EQ(testutil::ReadFile(dst).size(), size_t(3 << 20));
  EXPECT_EQ(testutil::ReadFile(dst + ".part"), "user file");
  // Never onto itself, never from a folder or a missing file.
  EXPECT_FALSE(platform::CopyFileAtomic(dst, dst));
  EXPECT_EQ(testutil::ReadFile(dst).size(), size_t(3 << 20));
  EXPECT_FALSE(platform::CopyFileAtomic(run.root, dst));
  EXPECT_FALSE(platform::CopyFileAtomic(run.root + "/missing", dst));
  // A destination folder that does not exist fails and leaves nothing behind.
  EXPECT_FALSE(platform::CopyFileAtomic(src, run.root + "/nowhere/dst.bin"));
}

TEST(PlatformFiles, AtomicCopyGivesTheUsualPermissions) {
  TempRun run(false);
  const std::string src = run.root + "/src.bin", old = run.root + "/old.avi";
  std::ofstream(src) << "clip";
  std::ofstream(old) << "old";
  ::chmod(src.c_str(), 0600);
  ::chmod(old.c_str(), 0604);
  auto mode = [](const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 ? static_cast<int>(st.st_mode & 07777) : -1;
  };
  const mode_t saved = ::umask(077);
  // A replaced file passes on its permissions; a new one gets 0666 less the umask.
  EXPECT_TRUE(platform::CopyFileAtomic(src, old));
  EXPECT_EQ(mode(old), 0604);
  for (const mode_t mask : {022, 027, 0}) {
    ::umask(mask);
    EXPECT_TRUE(platform::CopyFileAtomic(src, run.root + "/new" + std::to_string(mask)));
    EXPECT_EQ(mode(run.root + "/new" + std::to_string(mask)), 0666 & ~static_cast<int>(mask)) << mask;
  }
  ::umask(saved);
}

TEST(PlatformDebug, OutputIsCapturedAndSilentByDefault) {
  platform::SetDebugCapture(true);
  DebugPrint("Called, %s", "CancelEncoding()");
  std::string big(5000, 'z');
  DebugPrint("%s", big.c_str());
  std::string captured = platform::TakeDebugCapture();
  platform::SetDebugCapture(false);
  EXPECT_EQ(captured.substr(0, 24), "Called, CancelEncoding()");
  // Cut to the 4,096-byte buffer, terminator included.
  EXPECT_EQ(captured.size(), 24u + 4095u);
}

TEST(LogFile, NameHeaderAndLevel) {
  TempRun run;
  gLogLevel = 1;
  ORV_LOG("Test::Before", "must not appear");
  InitLog(run.WorkWide());
  EXPECT_EQ(gLogLevel.load(), 2);
  std::string path = GetLogFilePath();
  EXPECT_TRUE(std::regex_match(path, std::regex(".*/work/\\.\\./Logs/\\d{4}-\\d{2}-\\d{2}-\\d{6}_reelka\\.txt")))
      << path;
  ORV_LOG("Test::Line", "value %d and %s", 42, "text");
  std::string log = testutil::ReadLog();
  EXPECT_EQ(log.find("must not appear"), std::string::npos);
  std::regex line(R"(\[\d{4}-\d{2}-\d{2}, \d{2}:\d{2}:\d{2}\]\[Test::Line\]\[\d+\] \tvalue 42 and text\n)");
  EXPECT_TRUE(std::regex_match(log, line)) << log;
}

TEST(LogFile, MissingLogsFolderDropsLinesQuietly) {
  TempRun run(false);
  InitLog(run.WorkWide());
  ORV_LOG("Test::Line", "dropped");
  struct stat st;
  EXPECT_NE(stat(GetLogFilePath().c_str(), &st), 0);
  EXPECT_NE(stat((run.root + "/Logs").c_str(), &st), 0);
}

TEST(LogFile, OnlyARegularFileIsWrittenNeverWaitedOnAndTheRefusalSaidOnce) {
  TempRun run;
  InitLog(run.WorkWide());
  const std::string path = GetLogFilePath();
  ASSERT_EQ(0, ::mkfifo(path.c_str(), 0600));
  testing::internal::CaptureStderr();
  // A writer that waits for a reader is let go after 3 s, so the test ends.
  std::atomic<bool> done{false}, rescued{false};
  std::thread rescue([&] {
    for (int i = 0; i < 300 && !done; ++i) ::usleep(10000);
    if (!done) rescued = true, ::close(::open(path.c_str(), O_RDONLY | O_NONBLOCK));
  });
  ORV_LOG("Test::Line", "no reader");
  done = true;
  rescue.join();
  EXPECT_FALSE(rescued) << "the log waited for a reader";
  // With a reader there, nothing goes into the pipe either.
  const int reader = ::open(path.c_str(), O_RDONLY | O_NONBLOCK);
  ORV_LOG("Test::Line", "a reader");
  char c;
  EXPECT_LE(::read(reader, &c, 1), 0);
  ::close(reader);
  const std::string said = testing::internal::GetCapturedStderr();
  EXPECT_EQ(0u, said.find("Reelka: log file \"" + path + "\" cannot be written (not a regular file)")) << said;
  EXPECT_EQ(1, std::count(said.begin(), said.end(), '\n')) << said;
}

TEST(PathConversion, ReadablePathsPassThroughAndEmptyGivesEmpty) {
  TempRun run(false);
  std::string file = run.root + "/caf\xc3\xa9.jpg";
  std::ofstream(file) << "x";
  std::u16string wide = platform::Utf8ToUtf16(file);
  EXPECT_EQ(GetReadablePath(wide.c_str()), file);
  EXPECT_EQ(GetReadablePath(u""), "");
  EXPECT_EQ(GetReadablePath(nullptr), "");
  EXPECT_EQ(WideToMultiByte(nullptr), "");
  EXPECT_EQ(MultiByteToWide(file.c_str()), wide);
}

TEST(PathConversion, SingleByteCodePageFallsBackToALinkThatOpens) {
  CodePageGuard guard;
  TempRun run(true);
  InitLog(run.WorkWide());
  std::string file = run.root + "/\xe6\x97\xa5\xe6\x9c\xac.mp4";
  std::ofstream(file) << "video bytes";
  testutil::ScopedCwd cwd(run.root);
  platform::SetNarrowCodePage(platform::CodePage::Latin1);
  std::u16string wide = platform::Utf8ToUtf16(file);
  std::string readable = GetReadablePath(wide.c_str());
  EXPECT_TRUE(std::regex_match(readable, std::regex(R"(\d{2}_\d{2}_\d{2}_\d{3}(_\d+)?\.symbol)"))) << readable;
  EXPECT_EQ(testutil::ReadFile(readable), "video bytes");
  EXPECT_NE(testutil::ReadLog().find("wcsLnkFileName : " + readable), std::string::npos);

  // Another call for the same file gives a link that opens too.
  std::string second = GetReadablePath(wide.c_str());
  EXPECT_EQ(testutil::ReadFile(second), "video bytes");

  // A missing file gets no link.
  std::u16string missing = platform::Utf8ToUtf16(run.root + "/\xe6\x97\xa5-missing.mp4");
  std::string none = GetReadablePath(missing.c_str());
  EXPECT_EQ(none.find(".symbol"), std::string::npos);
}

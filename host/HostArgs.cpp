#include "HostArgs.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <system_error>

#ifndef REELKA_DEFAULT_RESOURCE_DIR
#define REELKA_DEFAULT_RESOURCE_DIR "the build folder"
#endif

namespace reelka_host {

namespace fs = std::filesystem;

namespace {

std::string Upper(std::string s) {
  for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

// Control characters shown as '?' in a message.
std::string Printable(std::string s) {
  for (char& c : s)
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '?';
  return s;
}

}  // namespace

int ParseTheme(const std::string& text) {
  std::string t = Upper(text);
  if (t == "MODERN" || t == "0") return 0;
  if (t == "SPORTY" || t == "1") return 1;
  if (t == "VIVID" || t == "2") return 2;
  return -1;
}

const char* ThemeName(int theme) {
  switch (theme) {
    case 0: return "MODERN";
    case 1: return "SPORTY";
    case 2: return "VIVID";
  }
  return "?";
}

bool ParseReplacement(const std::string& text, SlotReplacement& out) {
  size_t eq = text.find('=');
  if (eq == std::string::npos || eq + 1 >= text.size()) return false;
  int slot;
  if (!ParseIndex(text.substr(0, eq), slot)) return false;
  out.slot = slot;
  out.path = text.substr(eq + 1);
  return true;
}

namespace {

// The long name of an option that takes a value ("-t" and "--theme" give
// "--theme"); empty for an unknown option.
std::string LongNameWithValue(const std::string& name) {
  static const char* const kWithValue[][2] = {{"-t", "--theme"},   {"-w", "--work"},
                                              {"-o", "--output"},  {"-v", "--video"},
                                              {"-r", "--replace"}, {"", "--resources"},
                                              {"", "--text"},      {"", "--texts"}};
  for (const auto& pair : kWithValue) {
    if (name == pair[1] || (pair[0][0] && name == pair[0])) return pair[1];
  }
  return std::string();
}

bool SetTheme(const std::string& value, HostOptions& options, std::string& error) {
  if (options.theme >= 0) {
    error = "the theme is given twice";
    return false;
  }
  options.theme = ParseTheme(value);
  options.themeName = value;
  if (options.theme < 0) {
    error = "unknown theme \"" + value + "\": use MODERN, SPORTY or VIVID (or 0, 1, 2)";
    return false;
  }
  return true;
}

bool SetOnce(const std::string& longName, const std::string& value, std::string& target, std::string& error) {
  if (!target.empty()) {
    error = "option " + longName + " is given twice";
    return false;
  }
  target = value;
  return true;
}

// Stores the value of an option that takes one.
bool ApplyOption(const std::string& longName, const std::string& value, HostOptions& options, std::string& error) {
  if (longName == "--theme") return SetTheme(value, options, error);
  if (longName == "--work") return SetOnce(longName, value, options.workDir, error);
  if (longName == "--output") return SetOnce(longName, value, options.output, error);
  if (longName == "--resources") return SetOnce(longName, value, options.resources, error);
  if (longName == "--video") {
    if (options.videos.size() >= REELKA_MAX_VIDEOS) {
      error = "at most 3 videos can be given";
      return false;
    }
    options.videos.push_back(value);
  } else if (longName == "--replace") {
    SlotReplacement r;
    if (!ParseReplacement(value, r)) {
      error = "--replace needs SLOT=PATH with SLOT a number from 0, not \"" + value + "\"";
      return false;
    }
    options.replacements.push_back(r);
  } else if (longName == "--text") {
    TextAssignment t;
    t.origin = "--text";
    std::string why;
    if (!ParseTextAssignment(value, t, why)) {
      error = "--text \"" + Printable(value) + "\": " + why;
      return false;
    }
    options.texts.push_back(t);
  } else if (longName == "--texts") {
    options.textFiles.push_back(value);
  }
  return true;
}

// What every run needs.
bool CheckRequired(const HostOptions& options, std::string& error) {
  std::string why;
  if (options.theme < 0) why = "no theme given: use --theme MODERN, SPORTY or VIVID";
  else if (options.workDir.empty()) why = "no working folder given: use --work DIR";
  else if (options.output.empty()) why = "no destination given: use --output FILE";
  else if (options.photos.size() > REELKA_MAX_IMAGES)
    why = "at most 50 photos can be given, not " + std::to_string(options.photos.size());
  if (!why.empty()) error = why;
  return why.empty();
}

// One option at argv[i] (and its value at argv[i + 1], which i then names).
bool ParseOption(int argc, const char* const* argv, int& i, HostOptions& options, std::string& error) {
  const std::string arg = argv[i];
  std::string name = arg;
  std::string value;
  const size_t eq = arg.compare(0, 2, "--") == 0 ? arg.find('=') : std::string::npos;
  const bool hasInlineValue = eq != std::string::npos;
  if (hasInlineValue) {
    name = arg.substr(0, eq);
    value = arg.substr(eq + 1);
  }
  if (name == "-h" || name == "--help") {
    options.help = true;
    return true;
  }
  if (name == "--log") {
    if (hasInlineValue) error = "option --log takes no value";
    options.log = !hasInlineValue;
    return !hasInlineValue;
  }
  const std::string longName = LongNameWithValue(name);
  if (longName.empty()) {
    error = "unknown option " + name + " (see --help)";
    return false;
  }
  if (!hasInlineValue) {
    if (i + 1 >= argc || !argv[i + 1]) {
      error = "option " + name + " needs a value";
      return false;
    }
    value = argv[++i];
  }
  if (value.empty()) {
    error = "option " + name + " needs a non-empty value";
    return false;
  }
  return ApplyOption(longName, value, options, error);
}

}  // namespace

bool ParseArgs(int argc, const char* const* argv, HostOptions& options, std::string& error) {
  options = HostOptions();
  bool onlyPhotos = false;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i] ? argv[i] : "";
    if (onlyPhotos || arg.empty() || arg[0] != '-' || arg == "-") {
      options.photos.push_back(arg);
    } else if (arg == "--") {
      onlyPhotos = true;
    } else if (!ParseOption(argc, argv, i, options, error)) {
      return false;
    } else if (options.help) {
      return true;
    }
  }
  return CheckRequired(options, error);
}

std::string UsageText(const char* program) {
  std::string p = program && *program ? program : "reelka";
  return "Usage: " + p +
         " --theme THEME --work DIR --output FILE [OPTION...] [PHOTO...]\n"
         "\n"
         "Makes a promotional video clip from photos and short videos in one of\n"
         "three themes, through the Reelka library.\n"
         "\n"
         "  -t, --theme THEME        MODERN, SPORTY or VIVID (or 0, 1, 2)\n"
         "  -w, --work DIR           working folder for the library's files (workspace\n"
         "                           images, rendered text, the encoded video); created\n"
         "                           when missing\n"
         "  -o, --output FILE        the finished clip (MPEG-4 video, usually named .avi);\n"
         "                           an existing FILE is replaced only once the new clip\n"
         "                           is complete, and never when it is one of the inputs\n"
         "  -v, --video FILE         a video to use; up to 3 times. Their total length\n"
         "                           must lie within the theme's video limits\n"
         "  -r, --replace SLOT=PATH  once the slots are filled, put the picture PATH into\n"
         "                           slot SLOT (counted from 0, as listed); may be repeated\n"
         "      --text SLOT:LAYER=TEXT\n"
         "                           write TEXT into text layer LAYER of slot SLOT (both\n"
         "                           counted from 0, as listed); may be repeated\n"
         "      --texts FILE         read SLOT:LAYER=TEXT lines from FILE, a regular file\n"
         "                           (UTF-8, lines of at most 1024 bytes; blank lines and\n"
         "                           lines starting with # are skipped); --text wins over it\n"
         "      --resources DIR      the folder that contains ReelkaResource, the themes'\n"
         "                           art; the library is run from there. Default: the\n"
         "                           current folder if it holds ReelkaResource, else\n"
         "                           share/reelka of the installation, else\n"
         "                           " REELKA_DEFAULT_RESOURCE_DIR "\n"
         "      --log                create DIR/../Logs so that the library writes its log\n"
         "                           file there; the library never creates that folder,\n"
         "                           so without --log (or an existing folder) no log is\n"
         "                           written\n"
         "  -h, --help               show this text\n"
         "\n"
         "PHOTO... are the photos in the order of use; their number must lie within the\n"
         "theme's limits (MODERN and SPORTY take 6 to 11, VIVID 5 to 10). Without photos,\n"
         "the nature photographs of Debian's mate-backgrounds package\n"
         "(/usr/share/backgrounds/mate/nature, sorted by name) are used, as many as the\n"
         "theme takes.\n"
         "\n"
         "Every text layer of the theme is rendered with Pango into a transparent PNG in\n"
         "the working folder, in the theme's font where it is installed, else in a Debian\n"
         "font of a similar design (else DejaVu Sans). Text that does not fit its layer is\n"
         "drawn smaller until it does, never under 8 px (a text that needs less is\n"
         "refused); character references such as &#8220; are decoded. A text holds no\n"
         "control character but tab and line break.\n"
         "Progress goes to stderr: a bar on a terminal, otherwise a line now and then.\n"
         "Ctrl-C or SIGTERM cancels the run; no output file is written then, and the\n"
         "program ends within 5 s (at once at a second Ctrl-C). The library draws with\n"
         "OpenGL in a hidden window: without a display, run the program under xvfb-run -a.\n"
         "\n"
         "Exit status: 0 clip written, 1 no clip produced, 2 bad input, 130 cancelled.\n";
}

std::vector<std::string> FindPhotos(const std::string& dir, size_t limit) {
  std::vector<std::string> found;
  std::error_code ec;
  fs::recursive_directory_iterator it(dir, fs::directory_options::skip_permission_denied, ec);
  if (ec) return found;
  for (fs::recursive_directory_iterator end; it != end; it.increment(ec)) {
    if (ec) break;
    std::error_code fileEc;
    if (!it->is_regular_file(fileEc)) continue;
    std::string ext = it->path().extension().string();
    for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (ext == ".jpg" || ext == ".jpeg" || ext == ".png") found.push_back(it->path().string());
  }
  std::sort(found.begin(), found.end());
  if (found.size() > limit) found.resize(limit);
  return found;
}

std::string CheckLimits(const ThemeLimit& limit, const std::string& themeName, int photoCount,
                        int videoCount, int videoSeconds) {
  if (limit.maxImage <= 0) {
    return "the library reports no limits for theme " + themeName +
           ", so it cannot make a clip in it";
  }
  if (photoCount < limit.minImage || photoCount > limit.maxImage) {
    return "theme " + themeName + " takes " + std::to_string(limit.minImage) + " to " +
           std::to_string(limit.maxImage) + " photos, " + std::to_string(photoCount) +
           " given";
  }
  if (videoCount > 0 && (videoSeconds < limit.minVideoSec || videoSeconds > limit.maxVideoSec)) {
    return "theme " + themeName + " takes " + std::to_string(limit.minVideoSec) + " to " +
           std::to_string(limit.maxVideoSec) + " seconds of video in all, the " +
           std::to_string(videoCount) + (videoCount == 1 ? " video lasts " : " videos last ") +
           std::to_string(videoSeconds) + " seconds";
  }
  return std::string();
}

std::string ProgressBar(const std::string& label, int percent, int width) {
  int p = std::min(std::max(percent, 0), 100);
  int w = std::max(width, 1);
  int filled = p * w / 100;
  std::string bar = label + " [";
  bar.append(static_cast<size_t>(filled), '#');
  bar.append(static_cast<size_t>(w - filled), '-');
  bar += "] ";
  std::string number = std::to_string(p);
  bar.append(3 - std::min<size_t>(3, number.size()), ' ');
  bar += number + "%";
  return bar;
}

}  // namespace reelka_host

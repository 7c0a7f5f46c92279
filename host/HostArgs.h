// Command line, theme names, default photos and the theme-limit check of
// the host program. Uses nothing of the library but its public records.
#pragma once

#include <string>
#include <vector>

#include "TextLayers.h"
#include "reelka/reelka.h"

namespace reelka_host {

struct SlotReplacement {
  int slot = -1;
  std::string path;
};

struct HostOptions {
  bool help = false;
  bool log = false;
  int theme = -1;
  std::string themeName;  // as given
  std::string workDir;
  std::string output;
  std::string resources;  // empty: choose a default
  std::vector<std::string> photos;
  std::vector<std::string> videos;
  std::vector<SlotReplacement> replacements;
  std::vector<TextAssignment> texts;   // --text, in the order given
  std::vector<std::string> textFiles;  // --texts
};

// 0 MODERN, 1 SPORTY, 2 VIVID, by name (any case) or number; -1 otherwise.
int ParseTheme(const std::string& text);
const char* ThemeName(int theme);

// "SLOT=PATH" with SLOT a decimal number from 0.
bool ParseReplacement(const std::string& text, SlotReplacement& out);

// Fills options from argv. Returns false with a one-line message on error.
bool ParseArgs(int argc, const char* const* argv, HostOptions& options, std::string& error);

std::string UsageText(const char* program);

// Image files (.jpg, .jpeg, .png in any case) under dir, recursively,
// sorted by path; at most `limit` of them.
std::vector<std::string> FindPhotos(const std::string& dir, size_t limit);

// A video whose header promises more than decodes: its two lengths.
struct CutShortVideo {
  std::string path;
  double headerSeconds = 0.0;
  double realSeconds = 0.0;
};

// Checks the material against the theme's limits. Returns an empty string
// when it fits, else a one-line explanation. videoSeconds is the length that
// decodes; when it is under the minimum and a video decodes to less than its
// header states, the line names that video and both its lengths.
std::string CheckLimits(const ThemeLimit& limit, const std::string& themeName, int photoCount, int videoCount,
                        int videoSeconds, const CutShortVideo* cutShort = nullptr);

// One line of the progress display: label, bar of `width` cells, percent.
std::string ProgressBar(const std::string& label, int percent, int width);

}  // namespace reelka_host

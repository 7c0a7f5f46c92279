// The user's words for the theme's text layers ("SLOT:LAYER=TEXT", on the
// command line or one a line in a file) and the host's work on the text
// layers of its copy of the theme context. Uses nothing of the library but
// its public records.
#pragma once

#include <string>
#include <vector>

#include "TextRender.h"
#include "reelka/reelka.h"

namespace reelka_host {

struct TextAssignment {
  int slot = -1;
  int layer = -1;      // counted from the slot's first text layer
  std::string text;    // UTF-8; may hold character references
  std::string origin;  // where it was given ("--text", "FILE:LINE"), for messages
};

// A whole number from 0 written with at most six digits.
bool ParseIndex(const std::string& text, int& value);

// Parses "SLOT:LAYER=TEXT" (SLOT and LAYER decimal numbers from 0, TEXT
// valid UTF-8 of at most 299 UTF-16 units without control characters but
// tab and line break, empty to clear the layer). Returns false with the
// reason on error; a column named counts from `column`, that of the
// assignment's first character. out.origin is left as it was.
bool ParseTextAssignment(const std::string& assignment, TextAssignment& out, std::string& error, size_t column = 1);

// The longest line of a texts file: two six-digit numbers, ':' and '=',
// 299 characters of three bytes and room for blanks.
constexpr size_t kMaxLineBytes = 1024;

// Reads a regular file of assignments, one a line of at most kMaxLineBytes,
// UTF-8; blank lines and lines whose first non-blank character is '#' are
// skipped. Anything but a regular file is refused before it is read. On
// error returns false with "FILE:LINE: reason" and leaves out unchanged.
bool ReadTextsFile(const std::string& path, std::vector<TextAssignment>& out, std::string& error);

// Text layers of a slot (layers the theme lays out as text), and the index
// among slot.layers of the n-th of them, or -1.
int TextLayerCount(const SlotContext& slot);
int TextLayerIndex(const SlotContext& slot, int n);

// Writes each text into its layer, later assignments over earlier ones.
// Writes nothing and returns false with one line when an assignment names
// a slot or text layer that the sequence does not have.
bool ApplyTexts(ThemeSlotSequence& sequence, const std::vector<TextAssignment>& texts, std::string& error);

// The rendering parameters of a text layer.
TextLayerStyle StyleOf(const LayerContext& layer);

// Names the rendered image in the layer and marks it rendered; false (layer
// untouched) when the path does not fit the record.
bool MarkRendered(LayerContext& layer, const std::string& imagePath);

}  // namespace reelka_host

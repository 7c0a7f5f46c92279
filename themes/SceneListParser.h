// Reads the compact notation of theme data: slot lists ("0, 2, 4") and
// scene lists ("1000 I0 1.65; 3001 I0 0.7 o1; 4010 P0>V0 0.5").
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "themes/ThemeTypes.h"

// Comma-separated decimal integers. False (with a reason) on any other text.
bool ParseIntList(const char* text, std::vector<int32_t>* out, std::string* error);

// Semicolon-separated scenes: code, operand (I/P/V and an index, optionally
// ">" and an end operand), seconds, optional "o" and the effect option.
// Steps are numbered from 0 in list order. False (with a reason) on a
// malformed scene; *out then holds the scenes before it.
bool ParseSceneList(const char* text, ThemeSequence* out, std::string* error);

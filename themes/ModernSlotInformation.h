// The MODERN theme.
#pragma once

#include "themes/ThemeTemplate.h"

class ModernSlotInformation : public ThemeTemplate {
 public:
  ModernSlotInformation();
  ~ModernSlotInformation() override;

  // The theme's data table, for tools that read it without a theme object.
  static const ThemeData& Data();
};

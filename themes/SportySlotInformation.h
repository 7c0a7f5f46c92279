// The SPORTY theme.
#pragma once

#include "themes/ThemeTemplate.h"

class SportySlotInformation : public ThemeTemplate {
 public:
  SportySlotInformation();
  ~SportySlotInformation() override;

  // The theme's data table, for tools that read it without a theme object.
  static const ThemeData& Data();
};

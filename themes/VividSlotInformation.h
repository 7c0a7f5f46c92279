// The VIVID theme.
#pragma once

#include "themes/ThemeTemplate.h"

class VividSlotInformation : public ThemeTemplate {
 public:
  VividSlotInformation();
  ~VividSlotInformation() override;

  // The theme's data table, for tools that read it without a theme object.
  static const ThemeData& Data();
};

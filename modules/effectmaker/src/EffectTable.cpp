#include "EffectTable.h"

#include <type_traits>

#include "MeshTransition.h"
#include "ScreenQuadTransition.h"

namespace {

template <class Class>
constexpr RenderFamily FamilyOf() {
  if constexpr (std::is_base_of_v<ScreenQuadTransition, Class>) return RenderFamily::ScreenQuad;
  if constexpr (std::is_base_of_v<MeshTransition, Class>) return RenderFamily::Mesh;
  return RenderFamily::Other;
}

}  // namespace

const std::vector<EffectRow>& EffectTable() {
#define ORV_EFFECT_ROW(k, Name, Class, options) \
  EffectRow{k,                                  \
            #Name,                              \
            #Class,                             \
            options,                            \
            FamilyOf<Class>(),                  \
            &OrvEffectMaker::Name##I2I,         \
            &OrvEffectMaker::Name##I2V,         \
            &OrvEffectMaker::Name##V2I},
  static const std::vector<EffectRow> kRows = {ORV_TRANSITION_TABLE(ORV_EFFECT_ROW)};
#undef ORV_EFFECT_ROW
  return kRows;
}

const EffectRow* FindEffectRow(int32_t code) {
  if (code < kI2IBase || code >= kTransitionCodeEnd) return nullptr;
  const int32_t k = code % 1000;
  for (const EffectRow& row : EffectTable())
    if (row.number == k) return &row;
  return nullptr;
}

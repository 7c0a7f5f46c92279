// The render figures of the benchmark: the family of a scene's effect, and
// drawing and frames counted for the scene in progress.
#include <gtest/gtest.h>

#include "RenderStats.h"

TEST(RenderStats, FamiliesAndTheirShareOfDrawing) {
  using F = RenderFamily;
  const struct {
    int code;
    bool v2v;
    F family;
  } kTable[] = {{1000, false, F::Hold},       {1001, false, F::Hold},       {6001, false, F::Hold},
                {3004, true, F::Hold},        {3000, false, F::ScreenQuad}, {4006, false, F::ScreenQuad},
                {5007, false, F::Mesh},       {4014, false, F::Mesh},       {3015, false, F::Other},
                {6000, false, F::Other},      {2999, false, F::Other},      {-1, false, F::Other}};
  for (const auto& row : kTable) EXPECT_EQ(RenderFamilyOf(row.code, row.v2v), row.family) << row.code;

  SetRenderProfiling(true);
  ResetRenderStageTimes();
  BeginRenderScene(F::ScreenQuad);
  AddRenderStageTime(RenderStage::Draw, 5000);
  CountRenderedFrame();
  CountRenderedFrame();
  BeginRenderScene(F::Hold);  // ends the transition's scene
  AddRenderStageTime(RenderStage::Draw, 300);
  CountRenderedFrame();
  EndRenderScene();
  AddRenderStageTime(RenderStage::Draw, 1);  // outside a scene: totals only
  CountRenderedFrame();
  SetRenderProfiling(false);
  BeginRenderScene(F::Mesh);  // not profiling: no scene
  const RenderStageTimes t = GetRenderStageTimes();
  EXPECT_EQ(t.drawNs, 5301);
  EXPECT_EQ(t.frames, 4);
  const RenderFamilyTimes& quad = t.families[static_cast<int>(F::ScreenQuad)];
  const RenderFamilyTimes& hold = t.families[static_cast<int>(F::Hold)];
  EXPECT_EQ(quad.scenes, 1);
  EXPECT_EQ(quad.frames, 2);
  EXPECT_EQ(quad.drawNs, 5000);
  EXPECT_GT(quad.sceneNs, 0);
  EXPECT_EQ(hold.scenes, 1);
  EXPECT_EQ(hold.frames, 1);
  EXPECT_EQ(hold.drawNs, 300);
  EXPECT_EQ(t.families[static_cast<int>(F::Mesh)].scenes, 0);
}

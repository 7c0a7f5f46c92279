// The render figures of the benchmark: which family a scene's effect belongs
// to, and how stage and family times add up.
#include <gtest/gtest.h>

#include "RenderStats.h"

TEST(RenderStats, FamiliesOfSceneCodes) {
  const struct {
    int code;
    bool videoToVideo;
    RenderFamily family;
  } kTable[] = {
      {1000, false, RenderFamily::Hold},       {1001, false, RenderFamily::Hold},
      {6001, false, RenderFamily::Hold},       {3004, true, RenderFamily::Hold},
      {3000, false, RenderFamily::ScreenQuad}, {4006, false, RenderFamily::ScreenQuad},
      {5003, false, RenderFamily::ScreenQuad}, {3007, false, RenderFamily::Mesh},
      {4012, false, RenderFamily::Mesh},       {5014, false, RenderFamily::Mesh},
      {3015, false, RenderFamily::Other},      {6000, false, RenderFamily::Other},
      {2999, false, RenderFamily::Other},      {-1, false, RenderFamily::Other},
  };
  for (const auto& row : kTable)
    EXPECT_EQ(RenderFamilyOf(row.code, row.videoToVideo), row.family) << row.code << " " << row.videoToVideo;
  EXPECT_STREQ(RenderFamilyName(RenderFamily::ScreenQuad), "screen quad");
}

TEST(RenderStats, DrawingAndFramesCountForTheSceneInProgress) {
  SetRenderProfiling(true);
  ResetRenderStageTimes();
  BeginRenderScene(RenderFamily::ScreenQuad);
  AddRenderStageTime(RenderStage::Draw, 5000);
  CountRenderedFrame();
  CountRenderedFrame();
  AddRenderStageTime(RenderStage::Window, 70);
  CountRenderWindow();
  BeginRenderScene(RenderFamily::Hold);  // ends the transition's scene
  AddRenderStageTime(RenderStage::Draw, 300);
  CountRenderedFrame();
  EndRenderScene();
  // Outside a scene only the totals move.
  AddRenderStageTime(RenderStage::Draw, 1);
  CountRenderedFrame();
  RenderStageTimes t = GetRenderStageTimes();
  EXPECT_EQ(t.drawNs, 5301);
  EXPECT_EQ(t.frames, 4);
  EXPECT_EQ(t.windowNs, 70);
  EXPECT_EQ(t.windows, 1);
  const RenderFamilyTimes& quad = t.families[static_cast<int>(RenderFamily::ScreenQuad)];
  const RenderFamilyTimes& hold = t.families[static_cast<int>(RenderFamily::Hold)];
  EXPECT_EQ(quad.scenes, 1);
  EXPECT_EQ(quad.frames, 2);
  EXPECT_EQ(quad.drawNs, 5000);
  EXPECT_GT(quad.sceneNs, 0);
  EXPECT_EQ(hold.scenes, 1);
  EXPECT_EQ(hold.frames, 1);
  EXPECT_EQ(hold.drawNs, 300);
  EXPECT_EQ(t.families[static_cast<int>(RenderFamily::Mesh)].scenes, 0);

  // Without profiling no scene is opened; a reset clears everything.
  SetRenderProfiling(false);
  BeginRenderScene(RenderFamily::Mesh);
  CountRenderedFrame();
  EXPECT_EQ(GetRenderStageTimes().families[static_cast<int>(RenderFamily::Mesh)].scenes, 0);
  ResetRenderStageTimes();
  t = GetRenderStageTimes();
  EXPECT_EQ(t.frames, 0);
  EXPECT_EQ(t.windows, 0);
  EXPECT_EQ(t.families[static_cast<int>(RenderFamily::ScreenQuad)].sceneNs, 0);
}

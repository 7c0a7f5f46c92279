#include "OrvTransitionEffectInterface.h"

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <cmath>

#include "AsyncFrameWriter.h"
#include "OrvEffectMaker.h"
#include "RenderStats.h"
#include "api/Log.h"
#include "api/PathUtils.h"
#include "platform/Platform.h"
#include "fxcontroller/OrvFXFrameHandler.h"

OrvTransitionEffectInterface::OrvTransitionEffectInterface(OrvEffectMaker* maker, OrvFXFrameHandler* sink)
    : mSink(sink),
      width(maker ? maker->GetWidth() : gEffectFrameWidth),
      height(maker ? maker->GetHeight() : gEffectFrameHeight) {
  static const char* const kTag = "OrvTransitionEffectInterface::OrvTransitionEffectInterface";
  glEnable(GL_CULL_FACE);
  ORV_GL_CHECK(kTag);
  glCullFace(GL_BACK);
  ORV_GL_CHECK(kTag);
  glEnable(GL_DEPTH_TEST);
  ORV_GL_CHECK(kTag);
  glEnable(GL_BLEND);
  ORV_GL_CHECK(kTag);
  glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
  ORV_GL_CHECK(kTag);
}

namespace {

// GL rows run bottom-up: converts and flips in one pass, rows spread over
// OpenCV's threads.
void ToBgrTopDown(const cv::Mat& rgba, cv::Mat& bgr) {
  const int rows = rgba.rows;
  cv::parallel_for_(cv::Range(0, rows), [&](const cv::Range& range) {
    for (int y = range.start; y < range.end; ++y) {
      cv::Mat out = bgr.row(y);
      cv::cvtColor(rgba.row(rows - 1 - y), out, cv::COLOR_RGBA2BGR);
    }
  }, 8);
}

}  // namespace

bool OrvTransitionEffectInterface::WriteFrame() {
  static const char* const kTag = "OrvTransitionEffectInterface::WriteFrame";
  if (!mSink) return false;
  if (gEffectFrameWidth <= 0 || gEffectFrameHeight <= 0) return false;
  if (IsRenderProfiling()) {
    RenderStageTimer timer(RenderStage::Draw);
    glFinish();
  }
  // The read-back goes into a buffer the encoder is not using; it is then
  // the frame buffer of the pass, exactly width x height x 3 bytes.
  {
    RenderStageTimer timer(RenderStage::Wait);
    gFrameBufferMat = AsyncFrameWriter::Instance().AcquireBuffer(gEffectFrameWidth, gEffectFrameHeight);
  }
  {
    RenderStageTimer timer(RenderStage::ReadBack);
    // Mesa reads four-byte pixels about twice as fast as three-byte ones;
    // dropping alpha afterwards gives the same bytes as a GL_BGR read.
    static cv::Mat rgba;
    rgba.create(gEffectFrameHeight, gEffectFrameWidth, CV_8UC4);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    ORV_GL_CHECK(kTag);
    glReadPixels(0, 0, gEffectFrameWidth, gEffectFrameHeight, GL_RGBA, GL_UNSIGNED_BYTE, rgba.data);
    ORV_GL_CHECK(kTag);
    ToBgrTopDown(rgba, gFrameBufferMat);
  }
  if (IsCanceled()) return false;
  if (gWriteFirstFrame) {
    WritingFirstFrame(gFrameBufferMat);
    gWriteFirstFrame = false;
  }
  AsyncFrameWriter::Instance().SubmitLast(mSink);
  CountRenderedFrame();
  return true;
}

bool OrvTransitionEffectInterface::WriteSameFrame() {
  if (!mSink || gFrameBufferMat.empty()) return false;
  if (IsCanceled()) return false;
  AsyncFrameWriter::Instance().SubmitLast(mSink);
  CountRenderedFrame();
  return true;
}

void OrvTransitionEffectInterface::WritingFirstFrame(cv::Mat frame) {
  static const char* const kTag = "OrvTransitionEffectInterface::WritingFirstFrame";
  const std::string path = gOutfileTempDir + gFirstSlotImageSuffix;
  ORV_LOG(kTag, "Outfile temp dir : %s, first frame image name : %s", gOutfileTempDir.c_str(), gFirstSlotImageSuffix);
  ORV_LOG(kTag, "first slot image path : %s", path.c_str());
  // Never through a link planted at the name.
  bool written = false;
  try {
    std::vector<uchar> bytes;
    written = cv::imencode(".png", frame, bytes) && platform::WriteNewFile(path, bytes.data(), bytes.size());
  } catch (const cv::Exception&) {
    written = false;
  }
  // Only a still that exists is handed out.
  if (written) {
    gFirstSlotImagePath = path;
  } else {
    ORV_LOG(kTag, "## Couldn't write the first slot image. %s", path.c_str());
  }
}

std::string OrvTransitionEffectInterface::GetEffectResourceDirectory() { return gEffectResourceDir; }

const float* OrvTransitionEffectInterface::FrameTransformOf(const SuperFrame* block, int32_t i) {
  if (!block || i < 0 || static_cast<size_t>(i) >= block->transforms.size()) return nullptr;
  return block->transforms[static_cast<size_t>(i)].data();
}

void OrvTransitionEffectInterface::ApplyFrameTransform(cv::Mat* frame, const float* transform) {
  if (IsCanceled()) return;
  if (!frame || frame->empty()) return;
  static const float kIdentity[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
  const float* t = transform ? transform : kIdentity;

  cv::Mat affine(2, 3, CV_32F);
  for (int r = 0; r < 2; ++r)
    for (int c = 0; c < 3; ++c) affine.at<float>(r, c) = t[r * 3 + c];
  for (int k = 0; k < 6; ++k) {
    if (!std::isfinite(t[k])) {
      affine = (cv::Mat_<float>(2, 3) << 1, 0, 0, 0, 1, 0);
      break;
    }
  }

  const cv::Size size = frame->size();
  cv::Mat warped;
  const bool identity = t[0] == 1.0f && t[1] == 0.0f && t[2] == 0.0f && t[3] == 0.0f && t[4] == 1.0f && t[5] == 0.0f;
  if (identity) {
    warped = *frame;
  } else {
    cv::warpAffine(*frame, warped, affine, size, cv::INTER_LINEAR, cv::BORDER_CONSTANT, cv::Scalar::all(0));
  }
  const int cx = static_cast<int>(std::floor(static_cast<double>(static_cast<float>(warped.cols) * 0.08f)));
  const int cy = static_cast<int>(std::floor(static_cast<double>(static_cast<float>(warped.rows) * 0.08f)));
  const cv::Rect crop(cx, cy, warped.cols - 2 * cx, warped.rows - 2 * cy);
  if (crop.width <= 0 || crop.height <= 0) return;
  cv::Mat resized;
  cv::resize(warped(crop), resized, size, 0, 0, cv::INTER_LINEAR);
  *frame = resized;
}

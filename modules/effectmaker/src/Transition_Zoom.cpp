#include "Transition_Zoom.h"

#include <opencv2/imgcodecs.hpp>

#include "ShaderUtils.h"
#include "api/Log.h"
#include "themes/SlotInformation.h"

namespace {

// At the exact centre the ray has no direction; both sides are sampled
// there, which is the limit of the steps.
const char* const kCore =
    "uniform sampler2D TextureMap; // map_zoom.png\n"
    "uniform float randomSeed;\n"
    "vec4 RadialWiggle(vec2 uv, float p)\n"
    "{\n"
    "    if (p >= 1.0)\n"
    "        return reaching(uv);\n"
    "    vec2 center = vec2(0.5, 0.5);\n"
    "    vec2 toUV = uv - center;\n"
    "    float distanceFromCenter = length(toUV);\n"
    "    if (distanceFromCenter < 1.0e-6)\n"
    "        return leaving(center) * (1.0 - p) + reaching(center) * p;\n"
    "    vec2 normToUV = toUV / distanceFromCenter;\n"
    "    float angle = (atan(normToUV.y, normToUV.x) + 3.14159) / 6.28318;\n"
    "    float offset = texture2D(TextureMap, vec2(angle, fract(p / 3.0 + distanceFromCenter / 5.0 + randomSeed))).x;\n"
    "    offset = offset * 2.0 - 1.0;\n"
    "    float offset2 = offset * 2.0 * min(0.3, 1.0 - p) * distanceFromCenter;\n"
    "    float offset1 = offset * 2.0 * min(0.3, p) * distanceFromCenter;\n"
    "    vec4 c1 = leaving(fract(center + normToUV * (distanceFromCenter + offset1)));\n"
    "    vec4 c2 = reaching(fract(center + normToUV * (distanceFromCenter + offset2)));\n"
    "    return c1 * (1.0 - p) + c2 * p;\n"
    "}\n"
    "void main()\n"
    "{\n"
    "    gl_FragData[0] = RadialWiggle(v_texCoord, progress / 100.000);\n"
    "}\n";

}  // namespace

const char* Transition_Zoom::FragmentShader(Direction direction) const {
  static const ShaderSet kShaders(kCore);
  return kShaders.Get(direction);
}

void Transition_Zoom::LookUpAfterSamplers(GLuint program, const char* tag) {
  QUAD_GL(mTextureMap = glGetUniformLocation(program, "TextureMap"));
  QUAD_GL(mRandomSeed = glGetUniformLocation(program, "randomSeed"));
}

void Transition_Zoom::SetSamplerUnits(Direction direction, const char* tag) {
  QUAD_GL(glUniform1i(mTextureMap, direction == Direction::I2I ? 2 : 3));
}

void Transition_Zoom::SetUpOnce(Direction direction, const float* effectOption, const char* tag) {
  std::string path = GetMapFilePath(GetEffectResourceDirectory());
  if (!IS_EXIST_FILE(path)) ORV_LOG(tag, "Could not found map file : %s", path.c_str());
  cv::Mat map = cv::imread(path, cv::IMREAD_UNCHANGED);
  if (map.empty()) ORV_LOG(tag, "Map picture could not be read; the transition plays as a plain zoom");
  mMapTexture = ShaderUtils::MatToTexture(ShaderUtils::PrepareForUpload(map));
  QUAD_GL(glUniform1f(mRandomSeed, RandomSeedFor(ReadOption(effectOption, tag))));
}

void Transition_Zoom::BindPerFrame(Direction direction, const char* tag) {
  QUAD_GL(glActiveTexture(direction == Direction::I2I ? GL_TEXTURE2 : GL_TEXTURE3));
  QUAD_GL(glBindTexture(GL_TEXTURE_2D, mMapTexture));
}

void Transition_Zoom::CleanUpExtra(const char* tag) {
  QUAD_GL(glDeleteTextures(1, &mMapTexture));
}

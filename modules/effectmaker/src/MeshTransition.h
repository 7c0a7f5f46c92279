// The mesh transition family: two textured 20 x 15 grid meshes seen through a
// perspective camera, rebuilt on the processor for every frame from one
// progress value. The frame here holds the object, the camera, the matrix
// routines, the upload and the drawing of one frame; a class gives its pure
// mesh builder, its shaders and a few settings.
#pragma once

#include <GL/glew.h>

#include <map>
#include <string>
#include <vector>

#include "SceneTransition.h"

namespace mesh {

constexpr int kColumns = 20;
constexpr int kRows = 15;
constexpr float kPlaneWidth = 960.0f;
constexpr float kPlaneHeight = 540.0f;
// Room for a grid of 6 vertices a cell and a few more (a flat quad).
constexpr int kCapacity = (kColumns * kRows + 3) * 6;
// Distance of the picture plane from the camera.
constexpr float kPlaneDistance = -742.0f;
constexpr float kFovY = 0.69813174f;  // 40 degrees
constexpr float kNear = 10.0f;
constexpr float kFar = 5000.0f;

// One mesh: positions (x, y, z), colours (r, g, b, a) and texture
// coordinates (u, v; v = 0 is the picture's first row), one entry a vertex.
struct MeshArrays {
  MeshArrays();
  void Clear() { count = 0; }
  void Put(float x, float y, float z, float r, float g, float b, float a, float u, float v);
  const float* Position(int i) const { return &positions[static_cast<size_t>(i) * 3]; }
  const float* Color(int i) const { return &colors[static_cast<size_t>(i) * 4]; }
  const float* TexCoord(int i) const { return &texCoords[static_cast<size_t>(i) * 2]; }

  std::vector<float> positions;
  std::vector<float> colors;
  std::vector<float> texCoords;
  int count = 0;
};

// Column-major 4 x 4 matrices (row r, column c at index r + 4c). out may be
// one of the inputs.
float* Matrix4Multiply(float out[16], const float a[16], const float b[16]);
// out = T x m, T the translation by (x, y, z).
float* Matrix4Translate(float out[16], const float m[16], float x, float y, float z);
// The family's camera: the perspective projection of an output of width x
// height and the model transform that moves the plane 742 units away.
void CameraMatrices(int width, int height, float projection[16], float model[16]);
// Where a point lands in the output, as fractions of its width and height
// from the top left; false when it lies behind the camera.
bool ProjectToFrame(int width, int height, const float point[3], double* xFrac, double* yFrac);

// Cell edges of the grid: column c spans u = c / kColumns to (c + 1) /
// kColumns, row r spans v = r / kRows to (r + 1) / kRows.
inline float GridU(int c) { return static_cast<float>(c) / static_cast<float>(kColumns); }
inline float GridV(int r) { return static_cast<float>(r) / static_cast<float>(kRows); }
// The flat plane: x from -480 (u 0) to 480, y from 270 (v 0) to -270.
inline float PlaneX(float u) { return kPlaneWidth * u - kPlaneWidth * 0.5f; }
inline float PlaneY(float v) { return (1.0f - v) * kPlaneHeight - kPlaneHeight * 0.5f; }

// The family's grid walk: rows outer, columns inner; per cell the corners
// top left, bottom left, top right, top right, bottom left, bottom right
// (two counter-clockwise triangles seen from the camera). corner(column,
// row, u, v, out) appends the vertex at grid point (u, v) of the cell in
// that column and row.
template <class Corner>
void WalkRowsOfCells(MeshArrays& out, Corner&& corner) {
  for (int r = 0; r < kRows; ++r) {
    for (int c = 0; c < kColumns; ++c) {
      const int cs[6] = {c, c, c + 1, c + 1, c, c + 1};
      const int rs[6] = {r, r + 1, r, r, r + 1, r + 1};
      for (int k = 0; k < 6; ++k) corner(c, r, GridU(cs[k]), GridV(rs[k]), out);
    }
  }
}

// The family's shader texts.
extern const char* const kVertexShader;
// A fragment shader: `test` chooses the overlay of the paper on the video,
// read from `videoSampler`; `output` is the line that writes gl_FragColor.
std::string FragmentShader(const char* overlayUniform, const char* test, const char* videoSampler, const char* output);

}  // namespace mesh

// What a class sets differently from the family.
struct MeshSettings {
  // className names the log tags; the shader file names are stem + ".vert"
  // and ".frag", stored and never opened.
  MeshSettings(std::string className, const std::string& shaderFileStem, std::string fragment)
      : className(std::move(className)),
        vertexShaderName(shaderFileStem + ".vert"),
        fragmentShaderName(shaderFileStem + ".frag"),
        fragmentShader(std::move(fragment)) {}

  std::string className;
  std::string vertexShaderName;
  std::string fragmentShaderName;
  std::string vertexShader = mesh::kVertexShader;
  std::string fragmentShader;
  int32_t maxProgress = 3000;
  const char* overlayUniform = "u_TypeTransition";
  // Sampler the overlay reads the video frame from.
  const char* videoSampler = "t_Texture";
  // The incoming picture's mesh is drawn before the outgoing one.
  bool incomingFirst = false;
};

class MeshTransition : public SceneTransition {
 public:
  ~MeshTransition() override;
  MeshTransition(const MeshTransition&) = delete;
  MeshTransition& operator=(const MeshTransition&) = delete;

  // Builds both meshes for mProgress and uploads them.
  void MakeBuffer();

  // Progress drawn for a curve step: the truncated curve value, clamped to
  // 0 .. maxProgress (not a number: 0); the end state is maxProgress.
  static int32_t ProgressOf(const std::vector<float>& curve, int step, int32_t maxProgress);

  // The family's walk: the last change step drawn as the end state, the
  // curve's last step drawn into the video, and the video-to-picture change
  // one frame behind the frame read.
  static framewalk::Rule FamilyRule();

  GLuint Program() const { return mProgram; }

 protected:
  MeshTransition(int32_t width, int32_t height, OrvEffectMaker* maker, OrvFXFrameHandler* sink,
                 const MeshSettings& settings);

  // Mesh 0 (the outgoing side) or 1 (the incoming side) at progress.
  virtual void BuildMesh(int meshIndex, int32_t progress, mesh::MeshArrays& out) const = 0;

  framewalk::Rule WalkRule(Direction) const override { return FamilyRule(); }
  void Begin() override;
  void Draw(const cv::Mat& video, int step) override;
  void End() override;
  bool Working() const override { return mProgram != 0; }

  // The object's grid, plane and camera figures (mCols, mRows, mPlaneWidth,
  // mPlaneHeight, mFovy, mAspect, mNear, mFar) and its shader file names are
  // kept as its record; the drawing works from the mesh:: values they hold.
  int32_t mWidth;
  int32_t mHeight;
  int32_t mCols = mesh::kColumns;
  int32_t mRows = mesh::kRows;
  mesh::MeshArrays mScratch;  // the arrays of one mesh while it is built and uploaded
  int32_t mProgress = 0;
  int32_t mMaxProgress;
  float mPlaneWidth = mesh::kPlaneWidth;
  float mPlaneHeight = mesh::kPlaneHeight;
  std::string mVertexShaderName;
  std::string mFragmentShaderName;
  std::vector<float> mProgressCurve;
  int32_t mCurveIndex = 0;
  GLuint mPositionBuffers[2] = {0, 0};
  GLuint mColorBuffers[2] = {0, 0};
  GLuint mTexCoordBuffers[2] = {0, 0};
  // Picture to picture: the start and end picture; video directions: the
  // picture and the paper.
  GLuint mTextures[2] = {0, 0};
  GLuint mVertexShader = 0;
  GLuint mFragmentShader = 0;
  GLuint mProgram = 0;
  float mFovy = mesh::kFovY;
  float mAspect;
  float mNear = mesh::kNear;
  float mFar = mesh::kFar;
  std::vector<std::string> mAttributeNames;
  std::vector<std::string> mUniformNames;
  std::map<std::string, GLint> mUniformLocations;
  std::map<std::string, GLint> mAttributeLocations;

 private:
  void DrawMesh(int meshIndex, bool video, const char* tag);

  MeshSettings mSettings;
  std::string mTagMakeBuffer;
  std::string mTagDestructor;
  int mVertexCounts[2] = {0, 0};
  GLint mTextureLocation = -1;
  GLint mAttributes[3] = {-1, -1, -1};  // a_Position, a_Color, a_TexCoord
  GLint mOverlayLocation = -1;
  GLint mPaperLocation = -1;
  GLint mVideoSamplerLocation = -1;
};

// The constructor and mesh hook of a class: Derived gives its settings and
// its pure builder, static const MeshSettings& Settings() and static void
// Build(int meshIndex, int32_t progress, mesh::MeshArrays* out).
template <class Derived>
class MeshClass : public MeshTransition {
 public:
  MeshClass(int32_t width, int32_t height, OrvEffectMaker* maker, OrvFXFrameHandler* sink)
      : MeshTransition(width, height, maker, sink, Derived::Settings()) {}

 protected:
  void BuildMesh(int meshIndex, int32_t progress, mesh::MeshArrays& out) const override {
    Derived::Build(meshIndex, progress, &out);
  }
};

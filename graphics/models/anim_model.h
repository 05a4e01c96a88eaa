// AnimModel: decodes an ".md2" animated model into flat arrays, names its frame sequences and plays them back.
#pragma once

#include <cstdint>

#include "utility/matrix44.h"

// Limits of a decodable model. The output indices are 16-bit, so at most 65536 distinct
// (position, texture coordinate) pairs; the other limits keep a hostile header from asking for
// gigabytes or for hours of the quadratic merges, while leaving ample room for real figures.
#define MD2MAXVERTICES 8192
#define MD2MAXTEXCOORDS 8192
#define MD2MAXTRIANGLES 16384
#define MD2MAXFRAMES 1024
#define MD2MAXSKINS 32
#define MD2NAMELEN 16
#define MD2SKINLEN 64

// One named sequence of frames: the frames first .. first + count - 1 of the model.
struct AnimRecord {
  char name[MD2NAMELEN];  // the frames' name less its trailing digits, NUL-terminated (at most 15 characters)
  int32_t firstFrame;
  int32_t frameCount;
};
static_assert(sizeof(AnimRecord) == 24);

// Where a sequence stands at a given time: the absolute frame to draw, the base vertex of that
// frame in the model's vertex buffer and the weight of the following frame in the blend.
struct AnimPose {
  int32_t frame = 0;
  int32_t baseVertex = 0;
  float weight = 0.0f;
};

// The decoded image of one ".md2" file. Every array is a heap block owned by the object (null
// when absent); the owner calls Free before the object ends.
class AnimModel {
 public:
  AnimModel();
  ~AnimModel();
  AnimModel(const AnimModel&) = delete;
  AnimModel& operator=(const AnimModel&) = delete;

  // Decodes the file image; positions are multiplied by scale. False, with everything freed,
  // for a malformed image: a bad header, a table whose offset and size do not lie wholly inside
  // the image, an index outside its table, or counts beyond the limits above. Logs nothing; when
  // reason is given it receives a short static text saying what was wrong, for the caller's log.
  bool Parse(const void* image, int64_t imageSize, float scale, const char** reason = nullptr);
  // Frees every array and goes back to the empty state.
  void Free();

  // Position of model vertex k in frame f (three floats).
  const float* Position(int frame, int k) const { return m_positions + (int64_t{frame} * m_vertexCount + k) * 3; }
  // Frame f's name: 16 bytes, always NUL-terminated here.
  const char* FrameName(int frame) const { return m_frameNames + frame * MD2NAMELEN; }
  // Skin i's name: 64 bytes, always NUL-terminated here.
  const char* SkinName(int skin) const { return m_skins + skin * MD2SKINLEN; }

  uint16_t* m_posIdxArray;  // model-vertex index per triangle corner (corners of a triangle reversed)
  uint16_t* m_texIdxArray;  // texture coordinate index per corner, equal coordinates merged
  uint16_t* m_outIdxArray;  // index into the distinct pairs per corner: the index buffer
  int32_t m_cornerCount;    // 3 x triangles
  float* m_positions;       // frame count x vertex count x 3, frame-major
  int32_t m_vertexCount;    // the file's model vertices
  float* m_texCoords;       // s / skin width, t / skin height per file entry
  int32_t m_texCoordCount;
  uint16_t* m_pairs;  // (model vertex, texture coordinate) per distinct pair
  int32_t m_pairCount;
  char* m_skins;  // 64 bytes per skin
  int32_t m_skinCount;
  char* m_frameNames;  // 16 bytes per frame
  int32_t m_frameCount;
  Aabb m_bounds;  // of frame 0
};

// True when the two frame names (16 bytes each at most, terminated or not) are equal once each
// has lost its trailing decimal digits: "walk10" matches "walk2".
bool AnimNamesMatch(const char* a, const char* b);

// The number of sequences the frames form: consecutive frames whose names match belong together.
int AnimSequencesCount(const AnimModel& model);
// Fills up to capacity records with the sequences in frame order; returns the number written.
int AnimSequencesBuild(const AnimModel& model, AnimRecord* out, int capacity);
// The frame that follows the given one in the blend: the next frame, except at the last frame of
// a sequence, which wraps to that sequence's first, so every sequence loops onto itself.
int AnimFollowingFrame(const AnimRecord* sequences, int sequenceCount, int frame);
// The index of the first sequence of exactly that name, or -1.
int AnimSequenceFind(const AnimRecord* sequences, int sequenceCount, const char* name);

// The frame and blend weight of a sequence after the given seconds, at 10 frames per second. A
// looping sequence wraps; one that does not loop holds its last frame without blending. Negative
// times count as 0. A sequence without frames is an assertion and gives its first frame.
// vertexCount is the model's vertices per frame, for the base vertex.
AnimPose AnimPoseAt(const AnimRecord& sequence, int vertexCount, double seconds, bool loop);

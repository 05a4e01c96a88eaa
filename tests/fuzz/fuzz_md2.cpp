// Fuzzes the ".md2" readers: the animated model's parse and the decoding into GPU arrays, then every
// sequence posed and every vertex blended, as the drawing does.
#include <cstring>
#include <memory>

#include "fuzz_support.h"
#include "graphics/models/anim_model.h"
#include "graphics/models/model_formats.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::SetUpFolders(false);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::Input in{data, size};
  const uint8_t mode = in.Byte();
  std::unique_ptr<uint8_t[]> image(new uint8_t[in.size ? in.size : 1]);
  if (in.size) memcpy(image.get(), in.data, in.size);
  const int64_t imageSize = static_cast<int64_t>(in.size);

  AnimModel model;
  const char* reason = nullptr;
  if (model.Parse(image.get(), imageSize, 0.01f, &reason)) {
    const int count = AnimSequencesCount(model);
    if (count < 0 || count > model.m_frameCount) abort();
    std::unique_ptr<AnimRecord[]> seq(new AnimRecord[count > 0 ? count : 1]);
    if (AnimSequencesBuild(model, seq.get(), count) != count) abort();
    for (int f = 0; f < model.m_frameCount; ++f) {
      const int next = AnimFollowingFrame(seq.get(), count, f);
      if (next < 0 || next >= model.m_frameCount) abort();
      if (!memchr(model.FrameName(f), 0, MD2NAMELEN)) abort();
    }
    for (int s = 0; s < model.m_skinCount; ++s)
      if (!memchr(model.SkinName(s), 0, MD2SKINLEN)) abort();
    for (int c = 0; c < model.m_cornerCount; ++c)
      if (model.m_posIdxArray[c] >= model.m_vertexCount || model.m_outIdxArray[c] >= model.m_pairCount) abort();
  } else if (!reason) {
    abort();  // a refusal always says why
  }
  model.Free();

  ModelMesh mesh;
  if (Md2Decode(image.get(), imageSize, mode & 0x3f, "models", "fuzz.md2", &mesh) != 0) return 0;
  for (int i = 0; i < mesh.m_indexCount; ++i)
    if (mesh.m_indices[i] >= mesh.m_vertexCount) abort();
  if (mesh.m_vertexBytes != int64_t{mesh.m_frameCount} * mesh.m_vertexCount * MD2VERTEXBYTES) abort();
  fuzz::Touch(mesh.m_vertexData.get(), static_cast<size_t>(mesh.m_blockBytes));
  for (int a = 0; a < mesh.m_animCount; ++a) {
    const AnimRecord& r = mesh.m_anims[a];
    if (r.frameCount < 1 || r.firstFrame < 0 || r.firstFrame + r.frameCount > mesh.m_frameCount) abort();
    for (double t : {0.0, 0.05, 0.31, 7.9}) {
      const AnimPose pose = AnimPoseAt(r, mesh.m_vertexCount, t, (mode & 0x40) != 0);
      if (pose.frame < r.firstFrame || pose.frame >= r.firstFrame + r.frameCount) abort();
      Vec3 p;
      for (int k = 0; k < mesh.m_vertexCount; k += 1 + mesh.m_vertexCount / 8)
        if (!mesh.BlendedPosition(pose, k, &p)) abort();
    }
  }
  return 0;
}

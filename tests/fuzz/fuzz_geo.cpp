// Fuzzes the ".geo" model reader: a decoded mesh must hold exactly the vertices its counts promise.
#include <cstring>
#include <memory>

#include "fuzz_support.h"
#include "graphics/models/model_formats.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::SetUpFolders(false);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // The first byte picks the instance room and the colour conversion; the rest is the file.
  fuzz::Input in{data, size};
  const uint8_t mode = in.Byte();
  std::unique_ptr<uint8_t[]> image(new uint8_t[in.size ? in.size : 1]);
  if (in.size) memcpy(image.get(), in.data, in.size);
  ModelMesh mesh;
  const int instances = mode & 0x7f;
  if (GeoDecode(image.get(), static_cast<int64_t>(in.size), instances, (mode & 0x80) != 0, "fuzz.geo", &mesh) != 0)
    return 0;
  if (mesh.m_vertexCount != 3 * mesh.m_triangleCount + 2 * mesh.m_lineCount || mesh.m_vertexCount < 1) abort();
  if (mesh.m_vertexBytes != int64_t{mesh.m_vertexCount} * GEOVERTEXBYTES) abort();
  if (mesh.m_blockBytes != mesh.m_vertexBytes + int64_t{instances} * INSTANCEBYTES) abort();
  if (12 + mesh.m_vertexBytes > static_cast<int64_t>(in.size)) abort();
  fuzz::Touch(mesh.m_vertexData.get(), static_cast<size_t>(mesh.m_blockBytes));
  return 0;
}

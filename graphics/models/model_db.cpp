// ModelDB: loads ".geo" and ".md2" models by name into slots, uploads them and their skins, and frees them.
#include "graphics/models/model_db.h"

#include <cstring>
#include <new>

#include "graphics/gl/graphics.h"
#include "system/file.h"
#include "utility/log.h"

namespace {
// A file read whole into memory. Files larger than any model could be are refused before
// anything is allocated.
struct FileImage {
  std::unique_ptr<uint8_t[]> bytes;
  int64_t size = 0;
};

enum ReadResult { READ_OK, READ_MISSING, READ_FAILED };

ReadResult ReadWhole(const char* name, bool userFolder, FileImage* out) {
  FileHandle f = FileOpenRead(name, userFolder);
  if (!f) return READ_MISSING;
  const uint64_t size = FileSize(f);
  ReadResult result = READ_FAILED;
  if (size > static_cast<uint64_t>(MODELMAXBYTES)) {
    LOGE("File '%s' is too large to be a model or texture (%llu bytes).", name, static_cast<unsigned long long>(size));
  } else {
    out->bytes.reset(new (std::nothrow) uint8_t[size > 0 ? size : 1]);
    out->size = static_cast<int64_t>(size);
    if (!out->bytes) {
      LOGE("Out of memory reading '%s'.", name);
    } else if (FileRead(f, out->bytes.get(), size) != size) {
      LOGE("Short read of '%s'.", name);
    } else {
      result = READ_OK;
    }
  }
  FileClose(f);
  return result;
}

bool EndsWith(const char* name, int length, const char* ext) { return memcmp(name + length - 4, ext, 4) == 0; }
}  // namespace

ModelDB::ModelDB() {}

ModelDB::~ModelDB() {
  if (m_modelCount > 0) FreeAll();
}

void ModelDB::SetFolder(const char* folder) { m_folder.Set(folder); }
void ModelDB::SetSRGB(bool srgb) { m_srgb = srgb; }
void ModelDB::SetHeadless(bool headless) { m_headless = headless; }

const ModelEntry* ModelDB::Entry(int slot) const {
  if (slot < 0 || slot >= m_modelCount || m_entries[slot].m_name.Empty()) return nullptr;
  return &m_entries[slot];
}

int ModelDB::Load(const char* name, bool dynamic, int instanceCount) {
  if (!name) {
    LOGE("ModelDB asked to load a model without a name.");
    return -1;
  }
  const size_t length = strlen(name);
  if (length < 5) {
    LOGE("nameLen (%d) invalid for %s", static_cast<int>(length), name);
    return -1;
  }
  // The table keeps its own copy of the name, so it must fit one.
  if (length > FixedString::c_maxLength) {
    LOGE("Model name too long (%d characters): %.40s...", static_cast<int>(length), name);
    return -1;
  }
  for (int i = 0; i < m_modelCount; ++i)
    if (m_entries[i].m_name.Equals(name)) return i;
  if (m_modelCount >= MAXMODELS) {
    LOGE("ModelDB is full. Cannot load '%s'", name);
    return -1;
  }
  const int n = static_cast<int>(length);
  if (!EndsWith(name, n, ".geo") && !EndsWith(name, n, ".md2")) {
    LOGE("Unkown file extension for %s", name);
    return -1;
  }
  const int slot = m_modelCount;
  if (LoadInto(slot, name, dynamic, instanceCount) < 0) return -1;
  ++m_modelCount;
  return slot;
}

int ModelDB::Refresh(const char* name, bool dynamic, int instanceCount) {
  int slot = -1;
  for (int i = 0; name && i < m_modelCount; ++i)
    if (m_entries[i].m_name.Equals(name)) slot = i;
  if (slot < 0) return Load(name, dynamic, instanceCount);
  LOGI("Refreshing slot %d of modeldb.", slot);
  // The slot keeps its name while released, so that the next refresh fills it again.
  FixedString keep = m_entries[slot].m_name;
  Release(&m_entries[slot]);
  if (LoadInto(slot, keep.c_str(), dynamic, instanceCount) < 0) {
    m_entries[slot].m_name = keep;
    return -1;
  }
  return slot;
}

int ModelDB::LoadInto(int slot, const char* name, bool dynamic, int instanceCount) {
  ModelEntry* entry = &m_entries[slot];
  const bool geo = EndsWith(name, static_cast<int>(strlen(name)), ".geo");
  // The planet is written into the user folder for each new game; every other model ships
  // with the game.
  const bool userFolder = strcmp(name, "custom.geo") == 0;
  FileImage file;
  const ReadResult read = ReadWhole(name, userFolder, &file);
  if (read == READ_MISSING) {
    if (geo)
      LOGE("Cannot load geometry from file '%s'", name);
    else
      LOGE("Cannot load animated geometry from file '%s'", name);
  }
  int rv = -1;
  if (read == READ_OK) {
    rv = geo ? GeoDecode(file.bytes.get(), file.size, instanceCount, m_srgb, name, &entry->m_mesh)
             : Md2Decode(file.bytes.get(), file.size, instanceCount, m_folder.c_str(), name, &entry->m_mesh);
  }
  file.bytes.reset();
  if (rv == 0 && !Upload(entry, dynamic)) rv = -1;
  if (rv < 0) {
    if (geo) LOGE("Failed to load %s", name);
    Release(entry);
    return -1;
  }
  if (!entry->m_mesh.m_skinPath.Empty()) entry->m_texture = LoadTexture(entry->m_mesh.m_skinPath.c_str());
  entry->m_name.Set(name);
  return slot;
}

bool ModelDB::Upload(ModelEntry* entry, bool dynamic) {
  if (m_headless) return true;
  const ModelMesh& mesh = entry->m_mesh;
  entry->m_vbuffer = VBufferCreate(static_cast<size_t>(mesh.m_blockBytes), mesh.m_vertexData.get(), dynamic);
  if (mesh.m_stride == GEOVERTEXBYTES) {
    static const uint32_t c_codes[2] = {VA_FLOAT3, VA_UBYTE4N};
    entry->m_varray = VArrayCreate(entry->m_vbuffer, GEOVERTEXBYTES, 2, c_codes, mesh.m_instanceCount,
                                   static_cast<size_t>(mesh.m_vertexBytes));
  } else {
    static const uint32_t c_codes[3] = {VA_FLOAT3, VA_FLOAT3, VA_FLOAT2};
    entry->m_varray = VArrayCreate(entry->m_vbuffer, MD2VERTEXBYTES, 3, c_codes, mesh.m_instanceCount,
                                   static_cast<size_t>(mesh.m_vertexBytes));
    // The element-array binding is part of the vertex array's state: made while it is bound,
    // drawing needs only the vertex array.
    if (entry->m_varray) {
      VArrayBind(entry->m_varray);
      entry->m_ibuffer = IBufferCreate(sizeof(uint16_t) * mesh.m_indexCount, mesh.m_indices.get(), false);
      VArrayBind(0);
    }
  }
  const bool ok = entry->m_vbuffer && entry->m_varray && (mesh.m_stride == GEOVERTEXBYTES || entry->m_ibuffer);
  if (!ok) LOGE("Cannot make the GPU buffers of a model of %lld bytes.", static_cast<long long>(mesh.m_blockBytes));
  return ok;
}

void ModelDB::Release(ModelEntry* entry) {
  if (entry->m_ibuffer) IBufferDestroy(entry->m_ibuffer);
  if (entry->m_vbuffer) VBufferDestroy(entry->m_vbuffer);
  if (entry->m_varray) VArrayDestroy(entry->m_varray);
  if (entry->m_texture) TextureDelete(entry->m_texture);
  entry->m_ibuffer = entry->m_vbuffer = entry->m_varray = entry->m_texture = 0;
  entry->m_mesh.Clear();
  entry->m_name.Clear();
}

void ModelDB::FreeAll() {
  LOGI("Freeing %d models from ModelDB.", m_modelCount);
  for (int i = 0; i < m_modelCount; ++i) Release(&m_entries[i]);
  m_modelCount = 0;
}

int ModelDB::FindAnimation(int slot, const char* name) const {
  const ModelEntry* entry = Entry(slot);
  if (!entry) return -1;
  return AnimSequenceFind(entry->m_mesh.m_anims.get(), entry->m_mesh.m_animCount, name);
}

std::unique_ptr<AnimRecord[]> ModelDB::BuildAnimations(const AnimModel& model, int* count) {
  const int n = AnimSequencesCount(model);
  std::unique_ptr<AnimRecord[]> records(n > 0 ? new (std::nothrow) AnimRecord[n]() : nullptr);
  *count = records ? AnimSequencesBuild(model, records.get(), n) : 0;
  return records;
}

bool ModelDB::Pose(int slot, const char* sequence, int actor, double seconds, bool loop, AnimPose* out) const {
  *out = AnimPose();
  if (!sequence) {
    AssertFailed("seq", __FILE__, __LINE__, "actor %d has no animseq", actor);
    return false;
  }
  const int animNum = FindAnimation(slot, sequence);
  if (animNum < 0) {
    AssertFailed("animNum >= 0", __FILE__, __LINE__, "actor %d has unknown animseq '%s'", actor, sequence);
    return false;
  }
  const ModelMesh& mesh = m_entries[slot].m_mesh;
  *out = AnimPoseAt(mesh.m_anims[animNum], mesh.m_vertexCount, seconds, loop);
  return true;
}

uint64_t ModelDB::LoadTexture(const char* path) {
  if (!path) return 0;
  FileImage file;
  const ReadResult read = ReadWhole(path, false, &file);
  if (read == READ_MISSING) LOGE("Cannot open texture file '%s'", path);
  if (read != READ_OK) return 0;
  TextureImage image;
  if (!TextureDecode(file.bytes.get(), file.size, &image)) {
    LOGE("Texture file '%s' is not a usable DDS image.", path);
    return 0;
  }
  if (m_headless) return 0;
  const GlHandle texture = TextureGen(image.m_filter);
  if (!texture) {
    LOGE("Cannot make a texture for '%s'.", path);
    return 0;
  }
  // Only the levels the file stores are sent: the filters never sample mip maps, and a level
  // beyond them would repeat the last stored level's bytes under a smaller size.
  for (int level = 0; level < image.m_dds.m_levelsStored; ++level) {
    int w = 0, h = 0;
    int64_t bytes = 0;
    const uint8_t* data = nullptr;
    if (!image.m_dds.GetMipLevel(level, &w, &h, &bytes, &data)) break;
    TextureUpload(texture, image.m_code, m_srgb, level, w, h, static_cast<size_t>(bytes), data);
  }
  return texture;
}

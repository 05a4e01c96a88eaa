// Writes every static ".geo" model of the game into a data folder: make_models <folder>.
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "graphics/models/model_catalogue.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    fprintf(stderr, "usage: make_models <output folder>\n");
    return 2;
  }
  const std::filesystem::path root(argv[1]);
  const int count = ModelCatalogueCount();
  for (int i = 0; i < count; ++i) {
    const std::filesystem::path path = root / ModelCatalogueAt(i)->path;
    std::error_code error;
    std::filesystem::create_directories(path.parent_path(), error);
    const std::vector<uint8_t> image = ModelCatalogueImage(i);
    FILE* f = fopen(path.c_str(), "wb");
    const bool ok = f && fwrite(image.data(), 1, image.size(), f) == image.size();
    if (f && fclose(f) != 0) f = nullptr;
    if (!ok || !f) {
      fprintf(stderr, "ERR Cannot write model %s\n", path.c_str());
      return 1;
    }
  }
  printf("Wrote %d models into %s\n", count, root.c_str());
  return 0;
}

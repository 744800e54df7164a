// Writes the small fixed H.264 stream the muxer tests use where no H.264 encoder exists.
// Usage: halvex_clipfile_make_test_data [output file]
#include <cstdio>

#include "test_media.h"

int main(int argc, char** argv) {
  using namespace halvex::testmedia;
  const std::filesystem::path out = argc > 1 ? std::filesystem::path(argv[1]) : FixedH264Path();
  PictureRequest r;  // 160x90, 30 pictures, keyframes every 15
  r.qp = 30;
  const auto pictures = EncodePictures(r);
  if (pictures.size() != 30 || !pictures[0].keyframe) {
    std::fprintf(stderr, "no se pudo codificar el stream de prueba\n");
    return 1;
  }
  if (!SavePictures(out, pictures)) return 1;
  std::printf("%zu imagenes en %s\n", pictures.size(), out.string().c_str());
  return 0;
}

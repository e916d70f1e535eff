# Fuzz targets of the files library: the block expander and the image decoders of the
# graphics-library bridge.
tintara_fuzz(fuzz_expand SOURCES fuzz_expand.cpp LIBS tintara_files)
tintara_fuzz(fuzz_png SOURCES fuzz_png.cpp LIBS tintara_files)
tintara_fuzz(fuzz_jpeg SOURCES fuzz_jpeg.cpp LIBS tintara_files)
tintara_fuzz(fuzz_bmp_decode SOURCES fuzz_bmp_decode.cpp LIBS tintara_files)

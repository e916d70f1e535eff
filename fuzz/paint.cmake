# Fuzz targets of the paint library: strokes of every engine from any settings and samples.
tintara_fuzz(fuzz_stroke SOURCES fuzz_stroke.cpp LIBS tintara_paint)

# Benchmarks of the files library: the block compressor beside zlib on the same bytes, and
# PNG saving.
find_package(ZLIB REQUIRED)
tintara_bench(files_bench SOURCES files_bench.cpp LIBS tintara_files ZLIB::ZLIB)
# Saving and loading a layered picture as a native file, beside libpng saving its composite.
tintara_bench(native_bench SOURCES native_bench.cpp LIBS tintara_files)

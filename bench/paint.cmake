# Benchmarks of the paint library: one brush dab beside libmypaint's dab on the same picture
# size and radii.
find_package(PkgConfig REQUIRED)
pkg_check_modules(MYPAINT REQUIRED IMPORTED_TARGET libmypaint)
tintara_bench(dab_bench SOURCES dab_bench.cpp LIBS tintara_paint PkgConfig::MYPAINT)
tintara_bench(stroke_bench SOURCES stroke_bench.cpp LIBS tintara_paint)

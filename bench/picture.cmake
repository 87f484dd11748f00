# Picture decoding, shrinking and painting: see picture_bench.cpp.
yk_bench(picture_bench SOURCES picture_bench.cpp bench_fixtures.cpp LIBS yk_picture PNG::PNG JPEG::JPEG)

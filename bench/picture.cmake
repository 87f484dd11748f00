# Picture decoding, shrinking and painting: see picture_bench.cpp.
yk_bench(picture_bench SOURCES picture_bench.cpp LIBS yk_picture PNG::PNG JPEG::JPEG)

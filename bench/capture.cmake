ostrel_add_bench(bench_capture bench_capture.cpp)
target_link_libraries(bench_capture PRIVATE ostrel_capture PkgConfig::FFMPEG)

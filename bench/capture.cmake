# Capture costs per frame (the pipeline next to the ffmpeg program, which must be on PATH)
# and the time to the first live frame, in-process and of the built program.
ostrel_add_bench(bench_capture bench_capture.cpp)
target_link_libraries(bench_capture PRIVATE ostrel_capture PkgConfig::FFMPEG)
target_compile_definitions(bench_capture PRIVATE OSTREL_PROGRAM_DIR="${OSTREL_PROGRAM_DIR}")

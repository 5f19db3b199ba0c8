# Capture costs per frame (the pipeline next to the ffmpeg program, which must be on PATH)
# and the time to the first live frame, in-process and of the built program.
ostrel_add_bench(bench_capture bench_capture.cpp)
target_link_libraries(bench_capture PRIVATE ostrel_capture PkgConfig::FFMPEG)
target_compile_definitions(bench_capture PRIVATE OSTREL_PROGRAM_DIR="${OSTREL_PROGRAM_DIR}")
# The network camera: the delay behind the camera and the CPU per frame next to ffmpeg.
ostrel_add_bench(bench_netcam bench_netcam.cpp)
target_link_libraries(bench_netcam PRIVATE ostrel_capture)

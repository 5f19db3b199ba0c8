# Base64 encoding speed, and FTP Put and Get of a 200 MB file against curl on the local
# pyftpdlib server of tests/peers (started by the benchmark itself).
ostrel_add_bench(bench_net bench_net.cpp)
target_link_libraries(bench_net PRIVATE ostrel_net)
target_compile_definitions(bench_net PRIVATE OSTREL_SOURCE_DIR="${CMAKE_SOURCE_DIR}")

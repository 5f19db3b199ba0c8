# Hostile progressive JPEG pictures: the loader's time on them, and the remote host
# window's repaint delay while one is refused (the local pyftpdlib server of tests/peers).
ostrel_add_bench(bench_pictures bench_pictures.cpp ../tests/net/Peer.cpp)
target_link_libraries(bench_pictures PRIVATE ostrel_web ostrel_picture PkgConfig::TURBOJPEG)
target_compile_definitions(bench_pictures PRIVATE OSTREL_SOURCE_DIR="${CMAKE_SOURCE_DIR}")
set_target_properties(bench_pictures PROPERTIES AUTOUIC_SEARCH_PATHS ${CMAKE_SOURCE_DIR}/src/web)

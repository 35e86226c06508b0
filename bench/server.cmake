# Application server: a 100,000-row GetCHT over loopback against a bare SQLite scan written with
# RapidJSON, and eight concurrent clients for ten seconds.
add_executable(bench_server bench_server.cpp)
target_include_directories(bench_server PRIVATE ${RAPIDJSON_INCLUDE_DIR})
target_link_libraries(bench_server PRIVATE chtserver chtwire SQLite::SQLite3 PkgConfig::HTTPLIB)

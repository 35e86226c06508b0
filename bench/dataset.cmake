# Client data set: load, memory, tick-all, delta and scaling on a CHT list.
add_executable(bench_dataset bench_dataset.cpp)
target_link_libraries(bench_dataset PRIVATE chtplatform chtwire simdjson::simdjson)

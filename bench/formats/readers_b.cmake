# .obj and RealFlow readers next to plain reads of the same files.
korvane_add_bench(bench_formats_b SOURCES bench_readers_b.cpp LIBS korvane_writers)

tintara_bench(replay_bench SOURCES replay_bench.cpp LIBS tintara_events)

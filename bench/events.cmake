tintara_bench(replay_bench SOURCES replay_bench.cpp LIBS tintara_events)
# A picture window's document: pointer moves of a pen stroke to pixels ready for the screen.
tintara_bench(tools_bench SOURCES tools_bench.cpp LIBS tintara_app)

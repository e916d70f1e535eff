# Fuzz targets of the events library: the current packet stream and the version-1 stream.
tintara_fuzz(fuzz_packet_stream SOURCES fuzz_packet_stream.cpp LIBS tintara_events)
tintara_fuzz(fuzz_old_stream SOURCES fuzz_old_stream.cpp LIBS tintara_events)
# Event files: the stored-stream reader and the replay of what it accepts.
tintara_fuzz(fuzz_event_file SOURCES fuzz_event_file.cpp LIBS tintara_events)
# Picture files: the .tci reader with its embedded events, and the preview reader.
tintara_fuzz(fuzz_native_file SOURCES fuzz_native_file.cpp LIBS tintara_events)

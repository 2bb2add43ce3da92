# target_sources(veltra_core PRIVATE ...) for the settings and list files.

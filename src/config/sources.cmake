# Sources of src/config: portable (no <windows.h>) and Win32.
list(APPEND TESKAPRS_PORTABLE_SOURCES
  config/Autostart.cpp
  config/ConfigFile.cpp
)
list(APPEND TESKAPRS_WIN32_SOURCES
  config/AutostartPlace.cpp
  config/ConfigFileIO.cpp
  config/EasyRegAdvanced.cpp
)

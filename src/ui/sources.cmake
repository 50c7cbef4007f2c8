# Sources of src/ui: portable (no <windows.h>) and Win32.
list(APPEND TESKAPRS_PORTABLE_SOURCES
  ui/MainWindowLayout.cpp
)
list(APPEND TESKAPRS_WIN32_SOURCES
  # The main window itself lives at the top of src/.
  Teskaprs1.cpp
)

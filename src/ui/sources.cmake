# Sources of src/ui: portable (no <windows.h>) and Win32.
list(APPEND TESKAPRS_PORTABLE_SOURCES
  ui/LinkAddress.cpp
  ui/MainWindowLayout.cpp
)
list(APPEND TESKAPRS_WIN32_SOURCES
  # The main window itself lives at the top of src/, one file per concern.
  Teskaprs1.cpp
  Teskaprs1Links.cpp
  Teskaprs1Sensors.cpp
  Teskaprs1Settings.cpp
  Teskaprs1Station.cpp
  Teskaprs1Tray.cpp
  Teskaprs1Upload.cpp
  ui/Abcutil.cpp
  ui/Abcversn.cpp
  ui/Associations.cpp
  ui/abctray.cpp
  ui/pvlUrl.cpp
)

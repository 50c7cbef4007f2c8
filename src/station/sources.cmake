# Sources of src/station: portable (no <windows.h>) and Win32.
list(APPEND TESKAPRS_PORTABLE_SOURCES
  station/HttpRequest.cpp
  station/Reading.cpp
  station/Receiver.cpp
  station/Upload.cpp
)

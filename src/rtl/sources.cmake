# Sources of src/rtl: portable (no <windows.h>) and Win32.
list(APPEND TESKAPRS_PORTABLE_SOURCES
  rtl/Clock.cpp
  rtl/Exceptions.cpp
)
list(APPEND TESKAPRS_WIN32_SOURCES
  rtl/Application.cpp
  rtl/Timer.cpp
)

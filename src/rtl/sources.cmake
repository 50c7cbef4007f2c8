# Sources of src/rtl: portable (no <windows.h>) and Win32.
list(APPEND TESKAPRS_PORTABLE_SOURCES
  rtl/Clock.cpp
  rtl/Exceptions.cpp
  rtl/SpinRules.cpp
  rtl/Text.cpp
  rtl/Utf.cpp
)
list(APPEND TESKAPRS_WIN32_SOURCES
  rtl/Accessibility.cpp
  rtl/Application.cpp
  rtl/Controls.cpp
  rtl/Dialogs.cpp
  rtl/Files.cpp
  rtl/Subclass.cpp
  rtl/SystemLibrary.cpp
  rtl/Timer.cpp
)

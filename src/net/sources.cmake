# Sources of src/net: portable (no <windows.h>) and Win32.
list(APPEND TESKAPRS_PORTABLE_SOURCES
  net/WSockBuf.cpp
  net/WSocketResolve.cpp
)
list(APPEND TESKAPRS_WIN32_SOURCES
  net/Listener.cpp
  net/WSocket.cpp
)

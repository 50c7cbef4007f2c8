# Sources of src/ui: portable (no <windows.h>) and Win32.
list(APPEND TESKAPRS_PORTABLE_SOURCES
)
list(APPEND TESKAPRS_WIN32_SOURCES
)

# Sources of src/upload: portable (no <windows.h>) and Win32.
list(APPEND TESKAPRS_PORTABLE_SOURCES
  upload/LoginReply.cpp
  upload/Outcome.cpp
  upload/Packet.cpp
  upload/Report.cpp
  upload/ReportTime.cpp
  upload/Scheduler.cpp
  upload/SensorWatch.cpp
  upload/Session.cpp
  upload/Silence.cpp
  upload/UploadLog.cpp
  upload/Weather.cpp
)
list(APPEND TESKAPRS_WIN32_SOURCES
  upload/Intake.cpp
  upload/UploadLogFile.cpp
)

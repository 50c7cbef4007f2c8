// File and protocol associations as the program may use them. An elevated
// run takes the machine's only (HKEY_LOCAL_MACHINE\Software\Classes): the
// user's own classes, which HKEY_CLASSES_ROOT lays over the machine's, can be
// written by any program the user runs without elevation, and whatever they
// name would start with full rights.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace ui {

// Whether this run may use the machine's associations only: it runs
// elevated (or its rights cannot be told).
bool MachineAssociationsOnly();

// The default value of a key of the classes this run may use (under
// HKEY_CLASSES_ROOT, or the machine's only). False when the key cannot be
// opened; a value that cannot be read gives empty text. A value longer than
// the first read is read again whole, never cut short.
bool ReadClassesDefault(const std::string& subKey, std::string& value);

// Opens target with the "open" command of the first of the machine's
// classes that has one; an extension (".log") stands for the document type
// it names. No error box is shown. False when none has one
// (ERROR_NO_ASSOCIATION) or the start failed, with the error in
// GetLastError.
bool OpenWithMachineClass(HWND owner, const std::string& target, const std::vector<std::string>& classes, int show);

}  // namespace ui

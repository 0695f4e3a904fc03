// The demo's command line as Windows hands it over, and where the answer to
// it (the help, a bad option) is shown.
#pragma once

#include <string>
#include <vector>

// The arguments after the program's name, as UTF-16, split as Windows'
// own programs split them.
std::vector<std::wstring> CommandLineArguments();

// Shows UTF-8 text to whoever started the program: on its standard error when
// that goes somewhere (a pipe, a file), else in the console it was started
// from, else (a shortcut, a double-click) in a message box.
void ShowCommandLineAnswer(const std::string& text, bool problem);

// Writes UTF-8 text on standard error when that goes somewhere (a pipe, a
// file, a console); false when it goes nowhere.
bool WriteStandardError(const std::string& text);

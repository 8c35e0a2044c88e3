#pragma once

#include <QString>

// Set once during start-up, read afterwards. Both end with the platform's
// directory separator so that file names can be appended directly.
extern QString logFolderPath;
extern QString workingDirectoryPath;

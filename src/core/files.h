#pragma once
// The program folder and small file-system helpers. Paths use "/".

#include <cstdint>
#include <string>

// The folder of the running executable, with a trailing "/". Every data
// file of the program (config.inf, language/, spm/, the window-position
// INI, ~righ.dat) lives there.
std::string ProgramDir();
// The executable's name without its folder ("stampwise").
std::string ProgramName();
// Points the program folder elsewhere (tests run in a folder of their own);
// an empty path goes back to the executable's folder.
void SetProgramDir(const std::string& dir);

bool FileExists(const std::string& path);       // a regular file
// Something other than a folder stands at path itself: a file, a named
// pipe, a device, or a symbolic link (dangling or not; it is not
// followed). What a batch output may not replace without asking.
bool NameTaken(const std::string& path);
bool DirectoryExists(const std::string& path);  // a folder
// Size of a regular file, -1 when it does not exist.
std::int64_t FileSize(const std::string& path);
bool DeleteFile(const std::string& path);
// True when both paths exist and name one file (links followed), as two
// spellings of a name do on a volume that ignores letter case.
bool SameFile(const std::string& a, const std::string& b);
// Creates the folder and its missing parents; true when it exists after.
bool ForceDirectories(const std::string& path);

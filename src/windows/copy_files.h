#pragma once
// Copying files into a folder with the overwrite question (importing and
// exporting mark files).

#include <functional>
#include <string>

#include "app/routines.h"
#include "core/strings.h"

// Asks whether to replace; returns a TOverwriteAnswer (owNo .. owAllNo).
using TOverwriteQuery = std::function<int(const std::string& text)>;

// Copies every file of the list (full paths) into destFolder under its
// own name. An existing target is replaced only after the question
// (target path + message 9012); All Yes and All No answer it for the rest
// of the list. A file that would be copied onto itself is left alone.
// Failures are passed over silently.
void CopyFilesTo(const TStringList& files, const std::string& destFolder);
void CopyFilesTo(const TStringList& files, const std::string& destFolder, const TOverwriteQuery& query);

// Copies one regular file over target (bytes, permission bits and
// modification time) through a temporary file, so a failed copy leaves
// the old target whole. False when source is not a readable regular file,
// when source and target are the same file, or when the copy fails.
bool CopyFileOver(const std::string& source, const std::string& target);

// True when both paths name one existing file (links followed).
bool IsSameFile(const std::string& a, const std::string& b);

#ifndef VELMORA_CFG_OUTPUT_FILES_H
#define VELMORA_CFG_OUTPUT_FILES_H

#include <filesystem>
#include <string>

#include "velmora-cfg/result.h"

// Writes text to FOLDER/RELATIVE, making the folders between them. Never
// writes through a symbolic link or outside FOLDER, never leaves a file half
// written (the text goes to a temporary name first), and keeps a file that
// exists unless replace is set. Something already there that is kept (a
// file, a link) is a problem of status kWarnings; a failure one of kFailed.
Result<Done> WriteFileInFolder(const std::filesystem::path& folder,
                               const std::filesystem::path& relative, const std::string& text,
                               bool replace);

#endif

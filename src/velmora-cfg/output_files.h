#ifndef VELMORA_CFG_OUTPUT_FILES_H
#define VELMORA_CFG_OUTPUT_FILES_H

#include <filesystem>
#include <string>

enum class WriteOutcome {
    kWritten,
    // Something is already there: a file (kept unless replacing), a link.
    kKept,
    kFailed,
};

// Writes text to FOLDER/RELATIVE, making the folders between them. Never
// writes through a symbolic link or outside FOLDER, never leaves a file half
// written (the text goes to a temporary name first), and keeps a file that
// exists unless replace is set. problem says why when not kWritten.
WriteOutcome WriteFileInFolder(const std::filesystem::path& folder,
                               const std::filesystem::path& relative, const std::string& text,
                               bool replace, std::string& problem);

#endif

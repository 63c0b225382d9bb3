#ifndef VELMORA_CONFIG_LINE_READER_H
#define VELMORA_CONFIG_LINE_READER_H

#include <cstddef>
#include <streambuf>

#include "config/configuration.h"

// The configuration file's lines, by its text rules: CR LF reads as LF, the
// first Ctrl-Z ends the file, every other byte is itself, and a stream error
// reads as the end of the file. Both platforms read a file the same way,
// whatever their C library's text mode does.
struct LineReader {
    explicit LineReader(std::streambuf& file);

    // Reads one line into buffer (NUL-terminated, at most kMaximumLineLength
    // characters, LF not stored). A longer line keeps its first characters
    // and the rest, up to and including its LF, is skipped so that the lines
    // after it are still read. False when nothing at all was left to read.
    bool ReadLine(char (&buffer)[kMaximumLineLength + 1]);

    // Whether the line last read was longer than kMaximumLineLength.
    bool lineCut = false;
    // Whether the file ended at a Ctrl-Z rather than at its last byte.
    bool endedAtControlZ = false;

  private:
    int Next();
    int NextByte();
    int PeekByte();
    bool Refill();
    void SkipRestOfLine();

    std::streambuf& file_;
    // The bytes come through a block of the reader's own, so that the rest of
    // an over-long line is skipped a block at a time.
    char block_[1 << 16];
    size_t at_ = 0;
    size_t size_ = 0;
    bool ended_ = false;
};

#endif

#include "config/line_reader.h"

#include <cstring>
#include <string>

namespace {
constexpr int kEndOfFile = std::char_traits<char>::eof();
constexpr char kControlZ = 0x1A;
}  // namespace

LineReader::LineReader(std::streambuf& file) : file_(file) {}

bool LineReader::ReadLine(char (&buffer)[kMaximumLineLength + 1]) {
    std::memset(buffer, 0, sizeof buffer);
    lineCut = false;
    int stored = 0;
    bool extracted = false;
    for (;;) {
        const int c = Next();
        if (c == kEndOfFile) {
            break;
        }
        extracted = true;
        if (c == '\n') {
            break;
        }
        if (stored == kMaximumLineLength) {
            lineCut = true;
            SkipRestOfLine();
            break;
        }
        buffer[stored++] = static_cast<char>(c);
    }
    return extracted;
}

int LineReader::Next() {
    int c = NextByte();
    if (c == '\r' && PeekByte() == '\n') {
        c = NextByte();
    }
    if (c == kControlZ) {
        endedAtControlZ = true;
    }
    if (c == kEndOfFile || c == kControlZ) {
        ended_ = true;
        return kEndOfFile;
    }
    return c;
}

void LineReader::SkipRestOfLine() {
    while (!ended_ && (at_ < size_ || Refill())) {
        const char* from = block_ + at_;
        const size_t length = size_ - at_;
        const char* lineEnd = static_cast<const char*>(std::memchr(from, '\n', length));
        const size_t scanned = lineEnd != nullptr ? static_cast<size_t>(lineEnd - from) : length;
        if (std::memchr(from, kControlZ, scanned) != nullptr) {
            endedAtControlZ = true;
            ended_ = true;
            return;
        }
        at_ += scanned;
        if (lineEnd != nullptr) {
            ++at_;
            return;
        }
    }
    ended_ = true;
}

int LineReader::NextByte() {
    if (ended_ || (at_ == size_ && !Refill())) {
        return kEndOfFile;
    }
    return static_cast<unsigned char>(block_[at_++]);
}

int LineReader::PeekByte() {
    if (ended_ || (at_ == size_ && !Refill())) {
        return kEndOfFile;
    }
    return static_cast<unsigned char>(block_[at_]);
}

bool LineReader::Refill() {
    std::streamsize got = 0;
    try {
        got = file_.sgetn(block_, sizeof block_);
    } catch (...) {
        // A read error counts as the end of the file.
        got = 0;
    }
    at_ = 0;
    size_ = got > 0 ? static_cast<size_t>(got) : 0;
    return size_ > 0;
}

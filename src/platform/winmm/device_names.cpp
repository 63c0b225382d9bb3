#include "device_names.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

namespace winmm {

namespace {

const std::string kEllipsis = "...";

bool ContainsIgnoringCase(const std::string& text, const std::string& part) {
    const auto equal = [](char a, char b) {
        return std::tolower(static_cast<unsigned char>(a)) ==
               std::tolower(static_cast<unsigned char>(b));
    };
    return std::search(text.begin(), text.end(), part.begin(), part.end(), equal) != text.end();
}

bool IsContinuationByte(char byte) {
    return (static_cast<unsigned char>(byte) & 0xC0) == 0x80;
}

// The longest start of name of at most size bytes that ends between two
// characters.
std::string Head(const std::string& name, size_t size) {
    size = std::min(size, name.size());
    while (size > 0 && size < name.size() && IsContinuationByte(name[size])) {
        --size;
    }
    return name.substr(0, size);
}

// The longest end of name of at most size bytes that starts on a character.
std::string Tail(const std::string& name, size_t size) {
    size_t start = name.size() - std::min(size, name.size());
    while (start < name.size() && IsContinuationByte(name[start])) {
        ++start;
    }
    return name.substr(start);
}

// Two parts joined by separator within limit bytes: the shorter part stays
// whole if it takes no more than half of the room, the other is shortened in
// its middle; two long parts get half of the room each.
std::string JoinShortened(const std::string& first, const std::string& separator,
                          const std::string& second) {
    if (first.size() + separator.size() + second.size() <= kMaximumNameLength) {
        return first + separator + second;
    }
    const size_t room = kMaximumNameLength - separator.size();
    const size_t half = room / 2;
    size_t firstRoom = room - half;
    if (second.size() <= half) {
        firstRoom = room - second.size();
    } else if (first.size() <= half) {
        firstRoom = first.size();
    }
    return ShortenInMiddle(first, firstRoom) + separator +
           ShortenInMiddle(second, room - firstRoom);
}

}  // namespace

std::string ShortenInMiddle(const std::string& name, size_t limit) {
    if (name.size() <= limit) {
        return name;
    }
    if (limit <= kEllipsis.size()) {
        return Head(name, limit);
    }
    const size_t kept = limit - kEllipsis.size();
    const std::string head = Head(name, kept - kept / 2);
    return head + kEllipsis + Tail(name, kept - head.size());
}

std::string JackDeviceName(const std::string& fullName) {
    const size_t colon = fullName.find(':');
    if (colon == std::string::npos) {
        return ShortenInMiddle(fullName);
    }
    return JoinShortened(fullName.substr(0, colon), ":", fullName.substr(colon + 1));
}

std::string AlsaDeviceName(const std::string& client, const std::string& port) {
    if (client.empty() || ContainsIgnoringCase(port, client)) {
        return ShortenInMiddle(port.empty() ? client : port);
    }
    if (port.empty()) {
        return ShortenInMiddle(client);
    }
    return JoinShortened(client, ": ", port);
}

bool IsPipeWireSequencerClient(const std::string& clientName) {
    const std::string prefix = "pipewire";
    return clientName.size() >= prefix.size() &&
           ContainsIgnoringCase(clientName.substr(0, prefix.size()), prefix);
}

std::string BridgedAlsaPort(const std::string& alias) {
    // The third field names the sequencer ("default"); only the writable
    // side (playback) takes messages.
    const std::string scheme = "alsa:seq:";
    const size_t fields = alias.find(':', scheme.size());
    if (alias.compare(0, scheme.size(), scheme) != 0 || fields == std::string::npos) {
        return "";
    }
    unsigned client = 0;
    unsigned port = 0;
    int used = 0;
    if (std::sscanf(alias.c_str() + fields + 1, "client_%u:playback_%u%n", &client, &port, &used) !=
            2 ||
        fields + 1 + static_cast<size_t>(used) != alias.size() || client > 255 || port > 255) {
        return "";
    }
    return std::to_string(client) + ":" + std::to_string(port);
}

void MakeNamesDistinct(std::vector<std::string>& names) {
    for (size_t i = 0; i < names.size(); ++i) {
        const auto taken = [&](const std::string& candidate) {
            return std::find(names.begin(), names.begin() + i, candidate) != names.begin() + i;
        };
        if (!taken(names[i])) {
            continue;
        }
        const std::string base = names[i];
        for (unsigned number = 2;; ++number) {
            const std::string suffix = " (" + std::to_string(number) + ")";
            const std::string candidate = Head(base, kMaximumNameLength - suffix.size()) + suffix;
            if (!taken(candidate)) {
                names[i] = candidate;
                break;
            }
        }
    }
}

}  // namespace winmm

#include "device_names.h"

#include <algorithm>
#include <cctype>

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

}  // namespace

std::string ShortenFromLeft(const std::string& name, size_t limit) {
    if (name.size() <= limit) {
        return name;
    }
    if (limit <= kEllipsis.size()) {
        return name.substr(name.size() - limit);
    }
    return kEllipsis + name.substr(name.size() - (limit - kEllipsis.size()));
}

std::string ShortenFromRight(const std::string& name, size_t limit) {
    if (name.size() <= limit) {
        return name;
    }
    if (limit <= kEllipsis.size()) {
        return name.substr(0, limit);
    }
    return name.substr(0, limit - kEllipsis.size()) + kEllipsis;
}

std::string AlsaDeviceName(const std::string& client, const std::string& port) {
    if (client.empty() || ContainsIgnoringCase(port, client)) {
        return ShortenFromRight(port.empty() ? client : port);
    }
    if (port.empty()) {
        return ShortenFromRight(client);
    }
    return ShortenFromRight(client + ": " + port);
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
            const std::string candidate =
                base.substr(0, kMaximumNameLength - suffix.size()) + suffix;
            if (!taken(candidate)) {
                names[i] = candidate;
                break;
            }
        }
    }
}

}  // namespace winmm

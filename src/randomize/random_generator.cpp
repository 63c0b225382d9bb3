#include "randomize/random_generator.h"

#include <windows.h>

namespace {
uint32_t seed = 1;
}

bool SeedPending = true;

namespace RandomGenerator {

void Seed(uint32_t value) {
    seed = value;
}

int32_t Step() {
    // Unsigned arithmetic: the step wraps modulo 2^32 by definition.
    seed = seed * 214013u + 2531011u;
    return static_cast<int32_t>((seed >> 16) & 0x7FFF);
}

}  // namespace RandomGenerator

int32_t ValueInRange(int32_t minimum, int32_t maximum, int32_t raw) {
    const int32_t low = minimum == maximum ? minimum - 1 : minimum;
    // C++ '%' truncates toward zero; raw is never negative, so neither is the
    // remainder, even for the negative divisor of a reversed range.
    return low + 1 + raw % (maximum - low);
}

int32_t RandomInRange(int32_t minimum, int32_t maximum) {
    if (SeedPending) {
        RandomGenerator::Seed(GetTickCount());
        SeedPending = false;
    }
    return ValueInRange(minimum, maximum, RandomGenerator::Step());
}

#ifndef VELMORA_RANDOMIZE_RANDOM_GENERATOR_H
#define VELMORA_RANDOMIZE_RANDOM_GENERATOR_H

#include <cstdint>

// The program's one pseudo-random generator: a 15-bit linear congruential
// generator. Its state is the program-wide seed.
namespace RandomGenerator {

void Seed(uint32_t value);

// Advances the seed by one step and returns the raw value, 0 to 32767.
int32_t Step();

}  // namespace RandomGenerator

// Set at start; the first RandomInRange seeds the generator from the tick
// count and clears it.
extern bool SeedPending;

// The range rule: the value that the raw generator value r (0 to 32767) gives
// for a range: minimum + 1 to maximum when minimum < maximum, the value itself
// when they are equal, minimum + 1 to 2 * minimum - maximum when minimum >
// maximum.
int32_t ValueInRange(int32_t minimum, int32_t maximum, int32_t raw);

// A value for a parameter's range by the range rule, from one generator step.
int32_t RandomInRange(int32_t minimum, int32_t maximum);

#endif

// The program's compiled resource script, built into the program the way the
// Windows linker puts it into the .exe.
#ifndef VELMORA_PLATFORM_USER32_PROGRAM_RESOURCES_H
#define VELMORA_PLATFORM_USER32_PROGRAM_RESOURCES_H

#include <cstddef>

namespace user32 {

// The bytes of the resource file (windres -O res).
const unsigned char* ProgramResourceData();
size_t ProgramResourceSize();

}  // namespace user32

#endif

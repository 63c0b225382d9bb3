// Descriptors 0, 1 and 2 as the process's standard streams, whatever the
// process was started with.
#ifndef VELMORA_PLATFORM_CRT_STANDARD_STREAMS_H
#define VELMORA_PLATFORM_CRT_STANDARD_STREAMS_H

// Opens each of the three that is closed on /dev/null, so that the next file
// or connection the process opens cannot take its number: the monitor would
// write MIDI messages into it, or a library its errors. Uses nothing but
// system calls, so it can run before any library is initialised.
void OpenClosedStandardStreams();

// Which of them (bit 0 for standard input) the call above had to open.
unsigned ReopenedStandardStreams();

#endif

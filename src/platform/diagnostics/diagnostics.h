// The platform layer's opt-in diagnostics: what a service tried and what the
// system answered, on standard error, per channel. Silent unless named in
// VELMORA_DEBUG ("winmm,user32", or "all"), like Wine's debug channels.
#ifndef VELMORA_PLATFORM_DIAGNOSTICS_DIAGNOSTICS_H
#define VELMORA_PLATFORM_DIAGNOSTICS_DIAGNOSTICS_H

// Whether the channel ("winmm", "user32", "kernel32") was asked for.
bool DiagnosticsEnabled(const char* channel);

// One line "velmora:CHANNEL: TEXT" on standard error when the channel is on.
// Safe from any thread except a realtime callback (it formats and writes).
void Diagnose(const char* channel, const char* format, ...) __attribute__((format(printf, 2, 3)));

#endif

// The process's arguments, kept by the startup code for services (the dialog
// toolkit) that need them; WinMain itself takes no arguments from them.
#ifndef VELMORA_PLATFORM_CRT_WINMAIN_STARTUP_H
#define VELMORA_PLATFORM_CRT_WINMAIN_STARTUP_H

int& ProcessArgumentCount();
char** ProcessArguments();

#endif

// The process's arguments as the startup code received them. kernel32 keeps
// them for GetCommandLineA and for the services (the dialog toolkit) that
// take them; WinMain itself gets none of them.
#ifndef VELMORA_PLATFORM_KERNEL32_PROCESS_ARGUMENTS_H
#define VELMORA_PLATFORM_KERNEL32_PROCESS_ARGUMENTS_H

// Called once by the startup code, before WinMain.
void SetProcessArguments(int count, char** arguments);

// The toolkit may take its own options out of them, hence a reference.
int& ProcessArgumentCount();
char** ProcessArguments();

#endif

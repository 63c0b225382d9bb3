// The subset of the Windows multimedia MIDI output API that Velmora uses, for
// non-Windows builds. Layouts and result codes follow the Windows headers.
#ifndef VELMORA_PLATFORM_MMSYSTEM_H
#define VELMORA_PLATFORM_MMSYSTEM_H

#include "windows.h"

typedef UINT MMRESULT;
typedef UINT MMVERSION;
DECLARE_HANDLE(HMIDIOUT);
typedef HMIDIOUT* LPHMIDIOUT;

#define MAXPNAMELEN 32

#define MMSYSERR_NOERROR 0
#define MMSYSERR_ERROR 1
#define MMSYSERR_BADDEVICEID 2
#define MMSYSERR_ALLOCATED 4
#define MMSYSERR_INVALHANDLE 5
#define MMSYSERR_NODRIVER 6
#define MMSYSERR_NOMEM 7
#define MMSYSERR_INVALPARAM 11

#define CALLBACK_NULL 0x00000000L

#define MOD_MIDIPORT 1

typedef struct tagMIDIOUTCAPSA {
    WORD wMid;
    WORD wPid;
    MMVERSION vDriverVersion;
    CHAR szPname[MAXPNAMELEN];
    WORD wTechnology;
    WORD wVoices;
    WORD wNotes;
    WORD wChannelMask;
    DWORD dwSupport;
} MIDIOUTCAPSA, *LPMIDIOUTCAPSA;

UINT WINAPI midiOutGetNumDevs(void);
MMRESULT WINAPI midiOutGetDevCapsA(UINT_PTR deviceId, LPMIDIOUTCAPSA caps, UINT capsSize);
MMRESULT WINAPI midiOutOpen(LPHMIDIOUT handle, UINT deviceId, DWORD_PTR callback,
                            DWORD_PTR instance, DWORD flags);
MMRESULT WINAPI midiOutShortMsg(HMIDIOUT handle, DWORD message);
MMRESULT WINAPI midiOutClose(HMIDIOUT handle);

#endif

// The token maker's private library: loaded by full path for one token's turn, its
// seven functions bound by name into one table. The library's functions use the
// Windows API convention and are exported under undecorated names.
#pragma once

#include <windows.h>

// Results of the library: 0 is success.
enum { USB_OK = 0 };

// The default user PIN written with the CSP data area.
extern const char kPrvDefaultUserPin[];  // "538274"

typedef int(__stdcall* PFN_Usb_Connect)(int tokenIndex, int reserved, int* tokenHandle);
// Never called; only its presence is required.
typedef int(__stdcall* PFN_Usb_GetSerialNo)(int tokenHandle, char* serialNo, int* length);
typedef int(__stdcall* PFN_Usb_Disconnect)(int* tokenHandle);
// Never called; only its presence is required.
typedef int(__stdcall* PFN_Usb_GetNumber)(int* count);
// No capacity is passed: the library writes at most 4096 bytes of certificate.
typedef int(__stdcall* PFN_Usb_ReadCert)(int tokenHandle, int certId, unsigned char* certificate, int* length);
// No capacity is passed: the library writes at most 256 bytes of CSP data.
typedef int(__stdcall* PFN_Usb_ReadCspData)(int tokenHandle, unsigned char* data, int* length, int reserved);
typedef int(__stdcall* PFN_Usb_WriteCspData)(int tokenHandle, const unsigned char* data, int length,
                                             const char* userPin);

// The binding table, in binding order. Either all seven are bound or all are null.
struct PrvApi {
    PFN_Usb_Connect Usb_Connect;
    PFN_Usb_GetSerialNo Usb_GetSerialNo;
    PFN_Usb_Disconnect Usb_Disconnect;
    PFN_Usb_GetNumber Usb_GetNumber;
    PFN_Usb_ReadCert Usb_ReadCert;
    PFN_Usb_ReadCspData Usb_ReadCspData;
    PFN_Usb_WriteCspData Usb_WriteCspData;
};

extern PrvApi g_PrvApi;
// The library's module, NULL while it is not loaded.
extern HMODULE g_hPrvApiDll;
// The connected token: its address goes to Usb_Connect and Usb_Disconnect, its value
// to the other functions.
extern int g_hPrvToken;

// Loads the library named by DeviceManageDLLName beside the program and binds the seven
// functions. 1 when all are bound; 0 otherwise, with nothing loaded and the table clear.
int LoadPrvApi();

// Releases the library (if loaded) and clears the module handle and the table.
void FreePrvApi();

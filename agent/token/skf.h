// The standard token library's interface (GM/T 0016, "SKF"): the types and the fourteen
// functions the agent binds, declared from the standard's description. The agent never
// looks inside a handle. The standard packs its structures to 1 byte.
#pragma once

#include <windows.h>

// The standard's calling convention on Windows.
#define SKF_API __stdcall

typedef HANDLE DEVHANDLE;
typedef HANDLE HAPPLICATION;
typedef HANDLE HCONTAINER;

enum {
    SAR_OK = 0x00000000,
    SAR_FAIL = 0x0A000001,
    SAR_INVALIDPARAMERR = 0x0A000006,
    SAR_BUFFER_TOO_SMALL = 0x0A000020,
};

// Container type reported by SKF_GetContainerType: 1 RSA, 2 ECC (0 = not yet holding keys).
enum { SKF_CONTAINER_RSA = 1, SKF_CONTAINER_ECC = 2 };

#pragma pack(push, 1)

typedef struct Struct_Version {
    BYTE major;
    BYTE minor;
} VERSION;

typedef struct Struct_DEVINFO {
    VERSION Version;
    CHAR Manufacturer[64];
    CHAR Issuer[64];
    CHAR Label[32];
    CHAR SerialNumber[32];
    VERSION HWVersion;
    VERSION FirmwareVersion;
    ULONG AlgSymCap;
    ULONG AlgAsymCap;
    ULONG AlgHashCap;
    ULONG DevAuthAlgId;
    ULONG TotalSpace;
    ULONG FreeSpace;
    ULONG MaxECCBufferSize;
    ULONG MaxBufferSize;
    BYTE Reserved[64];
} DEVINFO, *PDEVINFO;

typedef struct Struct_FILEATTRIBUTE {
    CHAR FileName[32];
    ULONG FileSize;
    ULONG ReadRights;
    ULONG WriteRights;
} FILEATTRIBUTE, *PFILEATTRIBUTE;

#pragma pack(pop)

static_assert(sizeof(FILEATTRIBUTE) == 44, "FILEATTRIBUTE is 32 + 3 x 4 bytes");
static_assert(sizeof(DEVINFO) == 2 + 64 + 64 + 32 + 32 + 2 + 2 + 8 * 4 + 64, "DEVINFO is packed");

// Pointer types of the fourteen functions, in the order the agent binds them.
typedef ULONG(SKF_API* PFN_SKF_EnumDev)(BOOL bPresent, LPSTR szNameList, ULONG* pulSize);
typedef ULONG(SKF_API* PFN_SKF_ConnectDev)(LPSTR szName, DEVHANDLE* phDev);
typedef ULONG(SKF_API* PFN_SKF_GetDevInfo)(DEVHANDLE hDev, DEVINFO* pDevInfo);
typedef ULONG(SKF_API* PFN_SKF_ReadFile)(HAPPLICATION hApplication, LPSTR szFileName, ULONG ulOffset, ULONG ulSize,
                                         BYTE* pbOutData, ULONG* pulOutLen);
typedef ULONG(SKF_API* PFN_SKF_GetFileInfo)(HAPPLICATION hApplication, LPSTR szFileName, FILEATTRIBUTE* pFileInfo);
typedef ULONG(SKF_API* PFN_SKF_DisConnectDev)(DEVHANDLE hDev);
typedef ULONG(SKF_API* PFN_SKF_EnumApplication)(DEVHANDLE hDev, LPSTR szAppName, ULONG* pulSize);
typedef ULONG(SKF_API* PFN_SKF_OpenApplication)(DEVHANDLE hDev, LPSTR szAppName, HAPPLICATION* phApplication);
typedef ULONG(SKF_API* PFN_SKF_CloseApplication)(HAPPLICATION hApplication);
typedef ULONG(SKF_API* PFN_SKF_EnumContainer)(HAPPLICATION hApplication, LPSTR szContainerName, ULONG* pulSize);
typedef ULONG(SKF_API* PFN_SKF_OpenContainer)(HAPPLICATION hApplication, LPSTR szContainerName,
                                              HCONTAINER* phContainer);
typedef ULONG(SKF_API* PFN_SKF_CloseContainer)(HCONTAINER hContainer);
typedef ULONG(SKF_API* PFN_SKF_GetContainerType)(HCONTAINER hContainer, ULONG* pulContainerType);
typedef ULONG(SKF_API* PFN_SKF_ExportCertificate)(HCONTAINER hContainer, BOOL bSignFlag, BYTE* pbCert,
                                                  ULONG* pulCertLen);

// The functions under the standard's default prefix. The agent never calls these names
// directly (it binds them at run time under the configured prefix); a library that
// implements them checks its definitions against the pointer types above.
extern "C" {
ULONG SKF_API SKF_EnumDev(BOOL bPresent, LPSTR szNameList, ULONG* pulSize);
ULONG SKF_API SKF_ConnectDev(LPSTR szName, DEVHANDLE* phDev);
ULONG SKF_API SKF_GetDevInfo(DEVHANDLE hDev, DEVINFO* pDevInfo);
ULONG SKF_API SKF_ReadFile(HAPPLICATION hApplication, LPSTR szFileName, ULONG ulOffset, ULONG ulSize, BYTE* pbOutData,
                           ULONG* pulOutLen);
ULONG SKF_API SKF_GetFileInfo(HAPPLICATION hApplication, LPSTR szFileName, FILEATTRIBUTE* pFileInfo);
ULONG SKF_API SKF_DisConnectDev(DEVHANDLE hDev);
ULONG SKF_API SKF_EnumApplication(DEVHANDLE hDev, LPSTR szAppName, ULONG* pulSize);
ULONG SKF_API SKF_OpenApplication(DEVHANDLE hDev, LPSTR szAppName, HAPPLICATION* phApplication);
ULONG SKF_API SKF_CloseApplication(HAPPLICATION hApplication);
ULONG SKF_API SKF_EnumContainer(HAPPLICATION hApplication, LPSTR szContainerName, ULONG* pulSize);
ULONG SKF_API SKF_OpenContainer(HAPPLICATION hApplication, LPSTR szContainerName, HCONTAINER* phContainer);
ULONG SKF_API SKF_CloseContainer(HCONTAINER hContainer);
ULONG SKF_API SKF_GetContainerType(HCONTAINER hContainer, ULONG* pulContainerType);
ULONG SKF_API SKF_ExportCertificate(HCONTAINER hContainer, BOOL bSignFlag, BYTE* pbCert, ULONG* pulCertLen);
}

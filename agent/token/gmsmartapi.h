// The standard (SKF) token library: loaded once at start-up in standard mode, its
// fourteen functions bound by name under the configured prefix into one table.
#pragma once

#include "agent/token/skf.h"

// The binding table, in binding order. Either all fourteen are bound or all are null.
struct GmSmartApi {
    PFN_SKF_EnumDev EnumDev;
    PFN_SKF_ConnectDev ConnectDev;
    PFN_SKF_GetDevInfo GetDevInfo;
    PFN_SKF_ReadFile ReadFile;
    PFN_SKF_GetFileInfo GetFileInfo;
    PFN_SKF_DisConnectDev DisConnectDev;
    PFN_SKF_EnumApplication EnumApplication;
    PFN_SKF_OpenApplication OpenApplication;
    PFN_SKF_CloseApplication CloseApplication;
    PFN_SKF_EnumContainer EnumContainer;
    PFN_SKF_OpenContainer OpenContainer;
    PFN_SKF_CloseContainer CloseContainer;
    PFN_SKF_GetContainerType GetContainerType;
    PFN_SKF_ExportCertificate ExportCertificate;
};

extern GmSmartApi g_GmSmartApi;

// Loads the library named by GmTokApiDLLName beside the program and binds the fourteen
// "<FunctionPre>_<name>" functions. 1 when all are bound (the library then stays loaded
// for the process), 0 otherwise with the library released and the table cleared.
// A second call after success binds nothing anew and returns 1.
int LoadGMSmartAPI();

// 1 once LoadGMSmartAPI has returned 1 in this process.
int IsGMSmartAPIBound();

// Releases the library and clears the table. The agent never unloads a bound library;
// this exists so that tests can load another one.
void UnloadGMSmartAPI();

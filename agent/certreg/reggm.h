// Registration from the standard (SKF) token library: every present device, every
// application on it, and the containers each application names or lists.
#pragma once

#include "agent/token/skf.h"

enum {
    GM_DEVICE_NAME_BYTES = 260,
    GM_APP_LIST_BYTES = 1024,
    GM_APP_NAME_BYTES = 256,
    GM_CONTAINER_LIST_BYTES = 1024,
    GM_CONTAINER_NAME_BYTES = 256,
    // A device list longer than this is read only this far: no allocation of whatever
    // size a faulty library reports.
    GM_DEVICE_LIST_MAX = 65536,
    GM_WAIT_ATTEMPTS = 6,
    GM_WAIT_SLEEP_MS = 1000,
    GM_KEY_SPEC_EXCHANGE = 1,  // AT_KEYEXCHANGE
    GM_KEY_SPEC_SIGNATURE = 2  // AT_SIGNATURE
};

// The pass: -1 when the library is not bound, no device is present, memory is short or
// the device list cannot be read; 1 after every listed device was visited.
int CertRegGmDevices();

// One listed device: connect, every application on it, disconnect. Nothing is logged for
// a device that cannot be connected or whose applications cannot be listed.
void CertRegGmDevice(const char* deviceName);

// One application of a connected device: its "VUZUVARID" container, else every listed
// container. 1 when handled, 0 when it cannot be opened or no container list can be had.
int CertRegGmApplication(DEVHANDLE device, const char* appName);

// One container: signature then exchange certificate exported, added to "MY" and listed.
// 0 when the container cannot be opened or typed, else 1 (also with no certificate).
int CertRegGmContainer(HAPPLICATION application, const char* containerName);

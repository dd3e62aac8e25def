// Names of the registered window messages the agent shares with the token monitor and
// the sibling tools, and the sibling tools' window titles. Registered as GBK bytes.
#pragma once

// Positions in kRegisteredMessageNames, which is in the order of registration.
enum RegisteredMessage {
    MSG_MONITOR_DONE = 0,  // from the monitor: run the registration pass
    MSG_REG_DONE,          // to the sibling tools: registration finished
    MSG_KEY_INSERTED,      // from the monitor: a token was plugged in
    MSG_KEY_REMOVED,       // from the monitor: a token was pulled out
    MSG_OPEN_URL,          // registered only
    MSG_KEY0_INSERTED,     // from the monitor: token N (0 to 4) was plugged in
    MSG_KEY1_INSERTED,
    MSG_KEY2_INSERTED,
    MSG_KEY3_INSERTED,
    MSG_KEY4_INSERTED,
    REGISTERED_MESSAGE_COUNT
};

enum { ANNOUNCED_KEY_COUNT = 5, SIBLING_TOOL_COUNT = 3 };

extern const char* const kRegisteredMessageNames[REGISTERED_MESSAGE_COUNT];

// In the order in which they are told that registration finished.
extern const char* const kSiblingToolTitles[SIBLING_TOOL_COUNT];

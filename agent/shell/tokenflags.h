// Process-wide state set by the token monitor's messages and read by the registration.
#pragma once

// 1 after "Ukey插入消息" or an "N号Ukey插入", 0 after "Ukey拔下消息".
extern int g_bTokenPresent;
// N of the last "N号Ukey插入" (0 to 4); 0 until one arrives.
extern int g_nAnnouncedToken;

#include "agent/shell/tokenflags.h"

int g_bTokenPresent = 0;
int g_nAnnouncedToken = 0;

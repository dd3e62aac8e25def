// The work behind the token monitor's messages: the monitor-finished pass (clean-up,
// registration in the configured mode, web page, notice to the sibling tools) and the
// uninstaller's clean-up.
#pragma once

#include <windows.h>

class CIniReader;

// 1 when token index i (0 to 29) has a non-empty qvkey value in the per-user token list.
int IsTokenListed(CIniReader& tokenList, int tokenIndex);

// Runs the pass. Returns 0 when it ended early because a listed token could not be
// connected (no page, no notice), 1 otherwise. *pbTokenInserted is cleared after the page.
// AppNum as read now: 0 private library, above 0 standard library, below 0 neither.
int ReadAppNum();

int RunMonitorFinishedPass(CIniReader& tokenList, int* pbTokenInserted, UINT uMsgRegDone);

// The uninstaller's request: container 1 of every token slot, the exported list and the
// cache files go; containers 2 to 4 stay.
void UninstallCleanUp();

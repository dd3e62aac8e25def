// The web page on token insertion: classifying a registered certificate, and opening
// page n of openUrlList.ini maximised in the browser.
#pragma once

// The category chosen by the last OpenUrlCert that decoded a certificate; both clear
// (default) at start-up. Nothing but OpenUrlCert's own log line reads them.
extern int g_bPersonalPage;
extern int g_bEnterprisePage;

// Clears both page-choice flags (the main window's constructor calls it).
void ClearPageChoiceFlags();

// Logs the subject's display name and its page category. 1 when the certificate was
// decoded and classified, 0 when it cannot be decoded.
int OpenUrlCert(const unsigned char* certificate, int length);

// When [openFlag] flag of openUrlList.ini beside the program is exactly 1: logs
// [openUrlAddress] url<n> and opens it maximised in Internet Explorer.
void OpenUrlPage(int n);

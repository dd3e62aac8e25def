#include "agent/webpage/openurl.h"

#include <windows.h>
#include <shellapi.h>
#include <shlobj.h>
#include <wincrypt.h>

#include <stdio.h>
#include <string.h>

#include <string>

#include "agent/config/config.h"
#include "agent/shell/log.h"
#include "agent/webpage/subjectclass.h"

int g_bPersonalPage = 0;
int g_bEnterprisePage = 0;

enum { SUBJECT_NAME_CHARS = 128, URL_VALUE_BYTES = 260 };

void ClearPageChoiceFlags()
{
    g_bPersonalPage = 0;
    g_bEnterprisePage = 0;
}

int OpenUrlCert(const unsigned char* certificate, int length)
{
    WriteLog("========>OpenUrlCert begin");
    PCCERT_CONTEXT context = NULL;
    if (certificate != NULL && length > 0)
        context = CertCreateCertificateContext(X509_ASN_ENCODING, certificate, (DWORD)length);
    if (context == NULL)
        return 0;

    char name[SUBJECT_NAME_CHARS] = {};
    CertGetNameStringA(context, CERT_NAME_SIMPLE_DISPLAY_TYPE, 0, NULL, name, SUBJECT_NAME_CHARS);
    name[SUBJECT_NAME_CHARS - 1] = '\0';
    WriteLog("解析证书为:");
    // The name comes from the token: written as it is, never used as a format.
    WriteLog(name);

    // The remembered line reports what it names: the previous run chose the personal page.
    if (g_bPersonalPage)
        WriteLog("个人flag 为真!");

    PageCategory category = ClassifySubjectName(name, strlen(name));
    WriteLog(PageCategoryLine(category));
    g_bPersonalPage = category == PAGE_PERSONAL ? 1 : 0;
    g_bEnterprisePage = category == PAGE_ENTERPRISE ? 1 : 0;

    CertFreeCertificateContext(context);
    WriteLog("========>OpenUrlCert end");
    return 1;
}

// The browser: Internet Explorer under Program Files, or the bare name for the shell.
static std::string BrowserPath()
{
    char folder[MAX_PATH + 1] = {};
    if (!SHGetSpecialFolderPathA(NULL, folder, CSIDL_PROGRAM_FILES, FALSE) || folder[0] == '\0')
        return "iexplore.exe";
    return std::string(folder) + "\\Internet Explorer\\IEXPLORE.EXE";
}

void OpenUrlPage(int n)
{
    std::string dir = GetProgramDir();
    // Without the program directory the profile functions would look in the Windows folder.
    if (dir.empty())
        return;
    std::string path = dir + "openUrlList.ini";
    if (GetPrivateProfileIntA("openFlag", "flag", 0, path.c_str()) != 1)
        return;

    char key[32];
    snprintf(key, sizeof key, "url%d", n);
    char url[URL_VALUE_BYTES] = {};
    GetPrivateProfileStringA("openUrlAddress", key, "", url, sizeof url, path.c_str());
    WriteLog(url);

    std::string browser = BrowserPath();
    ShellExecuteA(NULL, "open", browser.c_str(), url, NULL, SW_SHOWMAXIMIZED);
}

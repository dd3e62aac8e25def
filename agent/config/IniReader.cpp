#include "agent/config/IniReader.h"

#include <windows.h>

CIniReader::CIniReader() {}

CIniReader::~CIniReader() {}

void CIniReader::SetPath(const std::string& path)
{
    m_strPath = path;
}

std::string CIniReader::ReadString(std::string section, std::string key, std::string def)
{
    // Without a path the profile functions would fall back to win.ini.
    if (m_strPath.empty())
        return def;
    char value[260] = {};
    GetPrivateProfileStringA(section.c_str(), key.c_str(), def.c_str(), value, sizeof value, m_strPath.c_str());
    return std::string(value);
}

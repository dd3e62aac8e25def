// Reader of one INI file; the main window's reader holds the per-user token list.
#pragma once

#include <string>

class CIniReader {
public:
    CIniReader();
    virtual ~CIniReader();

    void SetPath(const std::string& path);
    const std::string& GetPath() const { return m_strPath; }

    // `key` of `section` (at most 259 bytes), or `def` when the key is missing.
    std::string ReadString(std::string section, std::string key, std::string def);

private:
    std::string m_strPath;
};

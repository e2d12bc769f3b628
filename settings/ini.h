// SPDX-License-Identifier: MIT
// Reader of INI-style texts (the update server's version files). Standard library only.
#pragma once

#include <string>
#include <vector>

namespace kvara {

struct CSection {
    std::string name;
    std::vector<std::string> keys;
    std::vector<std::string> values;  // values[i] belongs to keys[i]
};

class CIniEx {
public:
    // Splits the text into lines and fills the sections; always true.
    bool Parse(const std::string& text);
    // The value of key in section (both compared without regard to letter case), cut at its
    // last ";"; the default when the section or the key is missing. Only the first section of
    // a name is searched; in it the last occurrence of the key wins.
    std::string GetString(const std::string& section, const std::string& key,
                          const std::string& defaultValue) const;

    const std::vector<CSection>& Sections() const { return m_sections; }

private:
    void StoreEntry(const std::string& key, const std::string& value);

    std::vector<CSection> m_sections;
    std::size_t m_currentSection = 0;
    std::string m_pendingName;
    bool m_caseInsensitive = true;
};

class CPrivateProfile : public CIniEx {};

}  // namespace kvara

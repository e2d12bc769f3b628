// SPDX-License-Identifier: MIT
#include "settings/ini.h"
#include "common/text.h"

#include <cctype>

namespace kvara {

namespace {

bool IsLineBreak(char c) {
    return c == '\r' || c == '\n';
}

}  // namespace

bool CIniEx::Parse(const std::string& text) {
    std::size_t pos = 0;
    std::vector<std::string> lines;
    while (pos < text.size()) {
        while (pos < text.size() && IsLineBreak(text[pos])) {
            ++pos;
        }
        if (pos >= text.size()) {
            break;
        }
        std::size_t end = pos;
        while (end < text.size() && !IsLineBreak(text[end])) {
            ++end;
        }
        lines.push_back(text.substr(pos, end - pos));
        pos = end;
    }
    lines.emplace_back();  // one empty line after the last, as the format has always had

    for (std::string line : lines) {
        while (!line.empty() &&
               (line.back() == '\r' || line.back() == '\n' || line.back() == '\t')) {
            line.pop_back();
        }
        if (line.size() >= 2 && line.front() == '[' && line.back() == ']') {
            ++m_currentSection;
            m_pendingName = line.substr(1, line.size() - 2);
            continue;
        }
        if (line.empty() || line.front() == ';') {
            StoreEntry(line, "");
            continue;
        }
        const std::size_t eq = line.find('=');
        if (eq == std::string::npos) {
            StoreEntry(line, "");
            continue;
        }
        std::string key = line.substr(0, eq);
        while (!key.empty() && key.back() == ' ') {
            key.pop_back();
        }
        std::size_t valueStart = eq + 1;
        while (valueStart < line.size() && line[valueStart] == ' ') {
            ++valueStart;
        }
        StoreEntry(key, line.substr(valueStart));
    }
    return true;
}

void CIniEx::StoreEntry(const std::string& key, const std::string& value) {
    while (m_sections.size() <= m_currentSection) {
        m_sections.emplace_back();
    }
    CSection& section = m_sections[m_currentSection];
    section.keys.push_back(key);
    section.values.push_back(value);
    section.name = m_pendingName;
}

std::string CIniEx::GetString(const std::string& section, const std::string& key,
                              const std::string& defaultValue) const {
    auto same = [this](const std::string& a, const std::string& b) {
        return m_caseInsensitive ? EqualsIgnoringCase(a, b) : a == b;
    };
    for (const CSection& candidate : m_sections) {
        if (!same(candidate.name, section)) {
            continue;
        }
        for (std::size_t i = candidate.keys.size(); i-- > 0;) {
            if (same(candidate.keys[i], key)) {
                std::string value = candidate.values[i];
                const std::size_t semicolon = value.rfind(';');
                if (semicolon != std::string::npos) {
                    value.resize(semicolon);
                }
                return value;
            }
        }
        return defaultValue;
    }
    return defaultValue;
}

}  // namespace kvara

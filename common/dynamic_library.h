// SPDX-License-Identifier: MIT
// Binding a system library at run time: the library is opened by name, every entry point is
// looked up into a typed function pointer (its type taken from the library's own header, as in
// decltype(&::hid_write)), and a table that needs all of them gets all or none: a missing one
// releases the library again and leaves every pointer null.
#pragma once

#include <dlfcn.h>

#include <string>
#include <utility>

namespace kvara {

// One opened library; closed again when the object goes.
class DynamicLibrary {
public:
    DynamicLibrary() = default;
    ~DynamicLibrary() { Close(); }
    DynamicLibrary(const DynamicLibrary&) = delete;
    DynamicLibrary& operator=(const DynamicLibrary&) = delete;
    DynamicLibrary(DynamicLibrary&& other) noexcept
        : m_handle(std::exchange(other.m_handle, nullptr)) {}
    DynamicLibrary& operator=(DynamicLibrary&& other) noexcept {
        if (this != &other) {
            Close();
            m_handle = std::exchange(other.m_handle, nullptr);
        }
        return *this;
    }

    // Opens the library (closing one opened before); false when it cannot be loaded.
    bool Open(const std::string& name) {
        Close();
        m_handle = dlopen(name.c_str(), RTLD_NOW | RTLD_LOCAL);
        return m_handle != nullptr;
    }
    void Close() {
        if (m_handle != nullptr) {
            dlclose(m_handle);
            m_handle = nullptr;
        }
    }
    bool IsOpen() const { return m_handle != nullptr; }

    // Looks the entry point up into the typed pointer; false (and null) when it is missing.
    template <typename Function>
    bool Resolve(const char* name, Function*& slot) const {
        slot = m_handle == nullptr ? nullptr : reinterpret_cast<Function*>(dlsym(m_handle, name));
        return slot != nullptr;
    }

private:
    void* m_handle = nullptr;
};

// Resolves a table's entry points one after the other and remembers whether any was missing:
//
//     EntryPoints table;
//     Resolver resolve(library);
//     resolve("hid_init", table.hid_init);
//     ...
//     if (!resolve.AllFound()) { table = {}; library.Close(); }
class Resolver {
public:
    explicit Resolver(const DynamicLibrary& library) : m_library(library) {}
    template <typename Function>
    bool operator()(const char* name, Function*& slot) {
        const bool found = m_library.Resolve(name, slot);
        m_allFound = m_allFound && found;
        return found;
    }
    bool AllFound() const { return m_allFound; }

private:
    const DynamicLibrary& m_library;
    bool m_allFound = true;
};

}  // namespace kvara

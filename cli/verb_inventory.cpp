// SPDX-License-Identifier: MIT
// kvara inventory: the tags in the field, one a line, with their GS1 identity; with --watch the
// changes until interrupted.
#include <chrono>
#include <map>
#include <thread>

#include "cli/reader_options.h"
#include "cli/verbs.h"

namespace kvara::cli {

namespace {

nlohmann::json TagJson(const tags::InventoryEntry& tag) {
    nlohmann::json entry = {{"epc", HexText(tag.epc)},
                            {"pc", HexText({static_cast<std::uint8_t>(tag.pc >> 8),
                                            static_cast<std::uint8_t>(tag.pc)})}};
    if (!tag.gs1Identity.empty()) {
        entry["identity"] = tag.gs1Identity;
    }
    return entry;
}

std::string TagLine(const tags::InventoryEntry& tag) {
    return HexText(tag.epc) + (tag.gs1Identity.empty() ? "" : "  " + tag.gs1Identity);
}

class Inventory : public Command {
public:
    const char* Name() const override { return "inventory"; }
    const char* Description() const override {
        return "the tags in the field, one a line, with their GS1 identity";
    }
    void AddOptions(CLI::App& verb) override {
        AddReaderOptions(verb, m_reader);
        verb.add_flag("--watch", m_watch, "repeat until interrupted and print only the changes");
        verb.add_option("--interval", m_intervalMs, "pause between inventories with --watch, in ms")
            ->capture_default_str();
    }
    int Run(const Global& global) override {
        tags::TagSession reader;
        if (auto failure = OpenReader(reader, m_reader)) {
            return Fail(global, *failure);
        }
        if (!m_watch) {
            tags::Inventory inventory;
            const tags::Outcome outcome = reader.RunInventory(&inventory);
            if (!outcome.Done()) {
                return Fail(global, ReaderFailure("inventory", outcome.code));
            }
            nlohmann::json value = nlohmann::json::array();
            std::string text;
            for (const auto& tag : inventory.entries) {
                value.push_back(TagJson(tag));
                text += TagLine(tag) + "\n";
            }
            Print(global, nlohmann::json{{"tags", value}}, text);
            return kOk;
        }
        Watch(global, reader);
        return kOk;
    }

private:
    // Prints the tags that arrive (+) and leave (-) until interrupted.
    void Watch(const Global& global, tags::TagSession& reader) {
        std::map<ByteBuffer, tags::InventoryEntry> present;
        while (!g_interrupted.load()) {
            tags::Inventory inventory;
            reader.RunInventory(&inventory);  // a failed one counts as an empty field
            std::map<ByteBuffer, tags::InventoryEntry> now;
            for (const auto& tag : inventory.entries) {
                now[tag.epc] = tag;
            }
            Changes(global, now, present, "arrived", "+ ");
            Changes(global, present, now, "left", "- ");
            present = now;
            for (int slept = 0; slept < m_intervalMs && !g_interrupted.load(); slept += 10) {
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            }
        }
    }
    // The tags of from that are not in other.
    static void Changes(const Global& global,
                        const std::map<ByteBuffer, tags::InventoryEntry>& from,
                        const std::map<ByteBuffer, tags::InventoryEntry>& other, const char* event,
                        const char* mark) {
        for (const auto& [epc, tag] : from) {
            if (other.count(epc) == 0) {
                nlohmann::json entry = TagJson(tag);
                entry["event"] = event;
                Print(global, entry, mark + TagLine(tag));
            }
        }
    }

    ReaderOptions m_reader;
    bool m_watch = false;
    int m_intervalMs = 200;
};

}  // namespace

std::unique_ptr<Command> InventoryVerb() {
    return std::make_unique<Inventory>();
}

}  // namespace kvara::cli

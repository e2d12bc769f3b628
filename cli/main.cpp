// SPDX-License-Identifier: MIT
// kvara: the command line of the Kvara Programmer, for scripting and for encoding tags in
// series. It runs on the reader library's public C API and the protocol library, as any other
// program could.
#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <map>
#include <thread>

#include "cli/encode.h"
#include "cli/reader_session.h"
#include "cli/tag_ops.h"
#include "protocol/datagram.h"
#include "protocol/gs1.h"
#include "reader/kvara.h"

#ifndef KVARA_CLI_VERSION
#define KVARA_CLI_VERSION "0"
#endif

using nlohmann::json;
using namespace kvara;
using namespace kvara::cli;

namespace {

std::atomic<bool> g_interrupted{false};
void OnInterrupt(int) {
    g_interrupted.store(true);
}

struct Global {
    bool json = false;
    std::string tracePath;
    std::FILE* trace = nullptr;
};

struct ReaderOptions {
    std::string interface;
    LineOptions line;
};

void AddReaderOptions(CLI::App* verb, ReaderOptions& options) {
    verb->add_option("-i,--interface", options.interface,
                     "the reader: /dev/... or COMn, \"USB: <serial>\", \"<serial> HID\", \"LAN: "
                     "a.b.c.d-port\"")
        ->required();
    verb->add_option("--baud", options.line.baudRate, "baud rate of a serial port")
        ->capture_default_str();
    verb->add_option("--parity", options.line.parity,
                     "0 none, 1 even, 2 odd, 3 none with 2 stop bits")
        ->check(CLI::Range(0, 3))
        ->capture_default_str();
    verb->add_option("--timeout", options.line.timeoutMs, "time-out of each answer in ms")
        ->check(CLI::Range(1, 60000))
        ->capture_default_str();
    verb->add_option("--address", options.line.address, "the reader's bus address")
        ->check(CLI::Range(0, 255))
        ->capture_default_str();
}

void Trace(int handle, int direction, const unsigned char* bytes, int length, void* context) {
    auto* file = static_cast<std::FILE*>(context);
    const auto now = std::chrono::system_clock::now().time_since_epoch();
    const auto us = std::chrono::duration_cast<std::chrono::microseconds>(now).count();
    std::fprintf(file, "%lld.%06lld %d %s %s\n", static_cast<long long>(us / 1000000),
                 static_cast<long long>(us % 1000000), handle, direction == 0 ? ">" : "<",
                 HexText(ByteBuffer(bytes, bytes + length)).c_str());
    std::fflush(file);
}

int Fail(const Global& global, const Failure& failure) {
    if (global.json) {
        std::cout << json{{"error", failure.message}, {"exit_code", failure.exitCode}}.dump()
                  << "\n";
    } else {
        std::fprintf(stderr, "kvara: %s\n", failure.message.c_str());
    }
    return failure.exitCode;
}

void Print(const Global& global, const json& value, const std::string& text) {
    if (global.json) {
        std::cout << value.dump() << "\n";
    } else if (!text.empty()) {
        std::cout << text << (text.back() == '\n' ? "" : "\n");
    }
    std::cout.flush();
}

std::vector<std::string> Entries(int (*list)(char*, int)) {
    std::vector<char> buffer(65536);
    const int n = list(buffer.data(), static_cast<int>(buffer.size()));
    std::vector<std::string> entries;
    for (int i = 0; i < n && buffer[static_cast<std::size_t>(i)] != '\0';) {
        const std::string entry(buffer.data() + i);
        entries.push_back(entry);
        i += static_cast<int>(entry.size()) + 1;
    }
    return entries;
}

std::optional<Failure> OpenReader(ReaderSession& session, const ReaderOptions& options) {
    return session.Open(options.interface, options.line);
}

std::optional<Failure> Hex(const std::string& text, const char* what, ByteBuffer* bytes) {
    if (!ParseHexText(text, bytes)) {
        return Failure{kUsage, std::string(what) + " \"" + text + "\" is not hex"};
    }
    return std::nullopt;
}

std::optional<Failure> PasswordOf(const std::string& text, ByteBuffer* bytes) {
    if (text.empty()) {
        bytes->clear();
        return std::nullopt;
    }
    if (!ParseHexText(text, bytes) || bytes->size() != 4) {
        return Failure{kUsage, "a password is 4 bytes in hex"};
    }
    return std::nullopt;
}

// The EPC and access password a tag verb names.
std::optional<Failure> TagOf(const std::string& epcText, const std::string& passwordText,
                             ByteBuffer* epc, ByteBuffer* password) {
    if (auto failure = Hex(epcText, "EPC", epc)) {
        return failure;
    }
    return PasswordOf(passwordText, password);
}

// Opens the reader and selects the tag a verb works on.
std::optional<Failure> OpenAndSelect(ReaderSession& reader, const ReaderOptions& options,
                                     const ByteBuffer& epc) {
    if (auto failure = OpenReader(reader, options)) {
        return failure;
    }
    if (!reader.Select(epc)) {
        return reader.Error("select " + HexText(epc));
    }
    return std::nullopt;
}

json TagJson(const ReaderSession::Seen& tag) {
    json entry = {{"epc", HexText(tag.epc)},
                  {"pc", HexText({static_cast<std::uint8_t>(tag.pc >> 8),
                                  static_cast<std::uint8_t>(tag.pc)})}};
    const std::string identity = Gs1Identity(tag.epc);
    if (!identity.empty()) {
        entry["identity"] = identity;
    }
    return entry;
}

std::string TagLine(const ReaderSession::Seen& tag) {
    const std::string identity = Gs1Identity(tag.epc);
    return HexText(tag.epc) + (identity.empty() ? "" : "  " + identity);
}

}  // namespace

int main(int argc, char** argv) {
    CLI::App app{
        "kvara: Kvara readers from the command line: list, read and write tags, encode them in "
        "series"};
    app.require_subcommand(1);
    // The global options are taken after the verb as well ("kvara epc decode X --json").
    app.fallthrough();
    app.set_version_flag("--version", std::string("kvara ") + KVARA_CLI_VERSION);
    Global global;
    app.add_flag("--json", global.json, "answer in JSON (one object a line)");
    app.add_option("--trace", global.tracePath,
                   "write every frame sent and received, with times, to this file");
    bool verbose = false;
    app.add_flag("-v,--verbose", verbose, "show the reader library's diagnostic lines");

    std::function<int()> run;

    // list
    bool lan = false;
    auto* list =
        app.add_subcommand("list", "COM ports, USB readers and (with --lan) network readers");
    list->add_flag("--lan", lan, "search the local networks for readers too");
    list->callback([&] {
        run = [&] {
            json value = {{"com", Entries(&KvaraListComPorts)},
                          {"usb", Entries(&KvaraListUsbDevices)}};
            if (lan) {
                value["lan"] = Entries(&KvaraFindLanReadersEx);
            }
            std::string text;
            for (const char* kind : {"com", "usb", "lan"}) {
                if (value.contains(kind)) {
                    for (const auto& entry : value[kind]) {
                        text += std::string(kind) + "\t" + entry.get<std::string>() + "\n";
                    }
                }
            }
            Print(global, value, text);
            return int{kOk};
        };
    });

    // info
    ReaderOptions infoReader;
    auto* info = app.add_subcommand(
        "info", "model, firmware, information text and transmit power of a reader");
    AddReaderOptions(info, infoReader);
    info->callback([&] {
        run = [&] {
            ReaderSession reader;
            if (auto failure = OpenReader(reader, infoReader)) {
                return Fail(global, *failure);
            }
            unsigned char type[4] = {};
            char model[64] = {};
            if (KvaraGetDeviceType(reader.Handle(), type, 4, model, sizeof model) != 4) {
                return Fail(global, reader.Error("device type"));
            }
            json value = {{"device_type", std::string(type, type + 4)},
                          {"model", model},
                          {"firmware_digit", std::string(1, static_cast<char>(type[3]))}};
            unsigned char text[256] = {};
            const int n = KvaraExecute(reader.Handle(), 0x09, nullptr, 0, text, sizeof text);
            value["information"] = n > 0 ? json(std::string(text, text + n)) : json();
            unsigned short power = 0;
            value["tx_power_dbm"] =
                KvaraGetTxPower(reader.Handle(), &power) == 0 ? json(power / 10.0) : json();
            std::string out = std::string("model\t") + model + "\ndevice type\t" +
                              value["device_type"].get<std::string>() + "\n";
            if (!value["information"].is_null()) {
                out += "information\t" + value["information"].get<std::string>() + "\n";
            }
            if (!value["tx_power_dbm"].is_null()) {
                char dbm[32];
                std::snprintf(dbm, sizeof dbm, "%.1f dBm", power / 10.0);
                out += std::string("transmit power\t") + dbm + "\n";
            }
            Print(global, value, out);
            return int{kOk};
        };
    });

    // inventory
    ReaderOptions inventoryReader;
    bool watch = false;
    int watchMs = 200;
    auto* inventory = app.add_subcommand(
        "inventory", "the tags in the field, one a line, with their GS1 identity");
    AddReaderOptions(inventory, inventoryReader);
    inventory->add_flag("--watch", watch, "repeat until interrupted and print only the changes");
    inventory->add_option("--interval", watchMs, "pause between inventories with --watch, in ms")
        ->capture_default_str();
    inventory->callback([&] {
        run = [&] {
            ReaderSession reader;
            if (auto failure = OpenReader(reader, inventoryReader)) {
                return Fail(global, *failure);
            }
            std::map<ByteBuffer, ReaderSession::Seen> present;
            do {
                std::vector<ReaderSession::Seen> tags;
                if (!reader.Inventory(&tags)) {
                    if (!watch) {
                        return Fail(global, reader.Error("inventory"));
                    }
                    tags.clear();
                }
                if (!watch) {
                    json value = json::array();
                    std::string text;
                    for (const auto& tag : tags) {
                        value.push_back(TagJson(tag));
                        text += TagLine(tag) + "\n";
                    }
                    Print(global, json{{"tags", value}}, text);
                    return int{kOk};
                }
                std::map<ByteBuffer, ReaderSession::Seen> now;
                for (const auto& tag : tags) {
                    now[tag.epc] = tag;
                }
                for (const auto& [epc, tag] : now) {
                    if (present.count(epc) == 0) {
                        json entry = TagJson(tag);
                        entry["event"] = "arrived";
                        Print(global, entry, "+ " + TagLine(tag));
                    }
                }
                for (const auto& [epc, tag] : present) {
                    if (now.count(epc) == 0) {
                        json entry = TagJson(tag);
                        entry["event"] = "left";
                        Print(global, entry, "- " + TagLine(tag));
                    }
                }
                present = now;
                for (int slept = 0; slept < watchMs && !g_interrupted.load(); slept += 10) {
                    std::this_thread::sleep_for(std::chrono::milliseconds(10));
                }
            } while (!g_interrupted.load());
            return int{kOk};
        };
    });

    // read / write
    ReaderOptions memoryReader;
    std::string tagEpc;
    std::string bankName;
    int word = 0;
    int count = 0;
    std::string dataText;
    std::string passwordText;
    auto addMemoryOptions = [&](CLI::App* verb, bool writing) {
        AddReaderOptions(verb, memoryReader);
        verb->add_option("--epc", tagEpc,
                         "EPC of the tag (hex); without it, the one tag in the field");
        verb->add_option("--bank", bankName, "reserved, epc, tid or user")
            ->required()
            ->check(CLI::IsMember({"reserved", "epc", "tid", "user"}));
        verb->add_option("--word", word, "word address")
            ->check(CLI::Range(0, 65535))
            ->capture_default_str();
        if (writing) {
            verb->add_option("--data", dataText, "the bytes to write (hex)")->required();
        } else {
            verb->add_option("--count", count, "bytes to read (0: to the end of the bank)")
                ->check(CLI::Range(0, 255))
                ->capture_default_str();
        }
        verb->add_option("--password", passwordText, "access password (4 bytes hex)");
    };
    auto* read = app.add_subcommand("read", "read a stretch of a tag's memory");
    addMemoryOptions(read, false);
    read->callback([&] {
        run = [&] {
            ByteBuffer epc;
            ByteBuffer password;
            if (auto failure = TagOf(tagEpc, passwordText, &epc, &password)) {
                return Fail(global, *failure);
            }
            ReaderSession reader;
            if (auto failure = OpenAndSelect(reader, memoryReader, epc)) {
                return Fail(global, *failure);
            }
            const int bank = *BankNamed(bankName);
            ByteBuffer data(256);
            int n = 0;
            if (count == 0) {
                n = password.empty() ? KvaraReadBank(reader.Handle(), bank, word, data.data(), 256)
                                     : KvaraReadBankPwd(reader.Handle(), bank, word,
                                                        password.data(), data.data(), 256);
            } else {
                n = password.empty()
                        ? KvaraReadBytes(reader.Handle(), bank, word, data.data(), count)
                        : KvaraReadBytesPwd(reader.Handle(), bank, word, password.data(),
                                            data.data(), count);
            }
            if (n < 0) {
                return Fail(global, reader.Error("read"));
            }
            data.resize(static_cast<std::size_t>(n));
            Print(global, json{{"bank", bankName}, {"word", word}, {"data", HexText(data)}},
                  HexText(data));
            return int{kOk};
        };
    });
    auto* write = app.add_subcommand("write", "write bytes into a tag's memory");
    addMemoryOptions(write, true);
    write->callback([&] {
        run = [&] {
            ByteBuffer epc;
            ByteBuffer data;
            ByteBuffer password;
            if (auto failure = Hex(tagEpc, "EPC", &epc)) {
                return Fail(global, *failure);
            }
            if (auto failure = Hex(dataText, "data", &data)) {
                return Fail(global, *failure);
            }
            if (auto failure = PasswordOf(passwordText, &password)) {
                return Fail(global, *failure);
            }
            ReaderSession reader;
            if (auto failure = OpenAndSelect(reader, memoryReader, epc)) {
                return Fail(global, *failure);
            }
            const int bank = *BankNamed(bankName);
            const int length = static_cast<int>(data.size());
            const int result =
                password.empty() ? KvaraWriteBank(reader.Handle(), bank, word, data.data(), length)
                                 : KvaraWriteBankPwd(reader.Handle(), bank, word, password.data(),
                                                     data.data(), length);
            if (result != 0) {
                return Fail(global, reader.Error("write"));
            }
            Print(global, json{{"written", length}},
                  "written " + std::to_string(length) + " bytes");
            return int{kOk};
        };
    });

    // set-epc
    ReaderOptions setReader;
    std::string oldEpcText;
    std::string newEpcText;
    std::string sgtin;
    std::string serial;
    int filter = 0;
    int companyPrefixLength = 0;
    auto* setEpc = app.add_subcommand(
        "set-epc", "write a tag's EPC with the PC's length bits right, and prove it");
    AddReaderOptions(setEpc, setReader);
    setEpc->add_option("--epc", oldEpcText, "the tag's EPC now (hex)")->required();
    auto* newOption = setEpc->add_option("--new", newEpcText, "the new EPC (hex)");
    auto* sgtinOption =
        setEpc->add_option("--sgtin", sgtin, "the new EPC as an SGTIN of this GTIN");
    setEpc->add_option("--serial", serial, "serial of the SGTIN");
    setEpc->add_option("--filter", filter, "filter value of the SGTIN")
        ->check(CLI::Range(0, 7))
        ->capture_default_str();
    setEpc->add_option("--company-prefix-length", companyPrefixLength,
                       "digits of the GS1 company prefix in the GTIN (6-12)");
    setEpc->add_option("--password", passwordText, "access password (4 bytes hex)");
    newOption->excludes(sgtinOption);
    setEpc->callback([&] {
        run = [&] {
            ByteBuffer oldEpc;
            ByteBuffer newEpc;
            ByteBuffer password;
            if (auto failure = Hex(oldEpcText, "EPC", &oldEpc)) {
                return Fail(global, *failure);
            }
            if (!sgtin.empty()) {
                const auto epc = gs1::SgtinFromGtin(sgtin, companyPrefixLength, filter, serial);
                if (!epc) {
                    return Fail(global, Failure{kUsage, epc.error});
                }
                newEpc = *gs1::Encode(*epc.value).value;
            } else if (newEpcText.empty()) {
                return Fail(global, Failure{kUsage, "give --new HEX or --sgtin GTIN --serial N"});
            } else if (auto failure = Hex(newEpcText, "EPC", &newEpc)) {
                return Fail(global, *failure);
            }
            if (auto failure = PasswordOf(passwordText, &password)) {
                return Fail(global, *failure);
            }
            ReaderSession reader;
            if (auto failure = OpenReader(reader, setReader)) {
                return Fail(global, *failure);
            }
            if (auto failure = WriteEpc(reader, oldEpc, newEpc, password)) {
                return Fail(global, *failure);
            }
            json value = {
                {"old_epc", HexText(oldEpc)}, {"new_epc", HexText(newEpc)}, {"verified", true}};
            const std::string identity = Gs1Identity(newEpc);
            if (!identity.empty()) {
                value["identity"] = identity;
            }
            Print(global, value, HexText(newEpc) + (identity.empty() ? "" : "  " + identity));
            return int{kOk};
        };
    });

    // lock
    ReaderOptions lockReader;
    std::string area;
    std::string action;
    bool permanent = false;
    auto* lock = app.add_subcommand("lock", "lock or unlock a memory area of a tag");
    AddReaderOptions(lock, lockReader);
    lock->add_option("--epc", tagEpc, "EPC of the tag (hex)");
    lock->add_option("--area", area, "kill, access, epc, tid or user")
        ->required()
        ->check(CLI::IsMember({"kill", "access", "epc", "tid", "user"}));
    lock->add_option("--action", action, "unlocked, locked, permaunlocked or permalocked")
        ->required()
        ->check(CLI::IsMember({"unlocked", "locked", "permaunlocked", "permalocked"}));
    lock->add_option("--password", passwordText, "access password (4 bytes hex)")->required();
    lock->add_flag("--permanent", permanent, "allow an action that can never be undone");
    lock->callback([&] {
        run = [&] {
            const int areaCode = *AreaNamed(area);
            const int actionCode = *ActionNamed(action);
            if (IsPermanentAction(actionCode) && !permanent) {
                return Fail(
                    global,
                    Failure{kRefused,
                            action +
                                " can never be undone on the tag; add --permanent if you mean it"});
            }
            ByteBuffer epc;
            ByteBuffer password;
            if (auto failure = TagOf(tagEpc, passwordText, &epc, &password)) {
                return Fail(global, *failure);
            }
            ReaderSession reader;
            if (auto failure = OpenAndSelect(reader, lockReader, epc)) {
                return Fail(global, *failure);
            }
            if (KvaraLock(reader.Handle(), areaCode, actionCode, password.data()) != 0) {
                return Fail(global, reader.Error("lock"));
            }
            Print(global, json{{"area", area}, {"action", action}}, area + " " + action);
            return int{kOk};
        };
    });

    // power
    ReaderOptions powerReader;
    double setDbm = -1;
    bool store = false;
    auto* power = app.add_subcommand("power", "read or set the reader's transmit power");
    AddReaderOptions(power, powerReader);
    power->add_option("--set", setDbm, "the transmit power in dBm")->check(CLI::Range(0.0, 40.0));
    power->add_flag("--store", store, "keep it in the reader over a power cycle");
    power->callback([&] {
        run = [&] {
            ReaderSession reader;
            if (auto failure = OpenReader(reader, powerReader)) {
                return Fail(global, *failure);
            }
            if (setDbm >= 0 && KvaraSetTxPower(reader.Handle(), static_cast<int>(setDbm * 10 + 0.5),
                                               store ? 1 : 0) != 0) {
                return Fail(global, reader.Error("setting the transmit power"));
            }
            unsigned short tenths = 0;
            if (KvaraGetTxPower(reader.Handle(), &tenths) != 0) {
                return Fail(global, reader.Error("reading the transmit power"));
            }
            char text[32];
            std::snprintf(text, sizeof text, "%.1f dBm", tenths / 10.0);
            Print(global, json{{"tx_power_dbm", tenths / 10.0}}, text);
            return int{kOk};
        };
    });

    // net
    auto* net = app.add_subcommand("net", "network readers: search, and their IP settings");
    net->require_subcommand(1);
    auto* netSearch = net->add_subcommand("search", "the readers on the local networks");
    netSearch->callback([&] {
        run = [&] {
            const auto readers = Entries(&KvaraFindLanReadersEx);
            std::string text;
            for (const auto& entry : readers) {
                text += entry + "\n";
            }
            Print(global, json{{"readers", readers}}, text);
            return int{kOk};
        };
    });
    std::string netReader;
    auto* netGet = net->add_subcommand("get", "a network reader's IP settings");
    netGet->add_option("reader", netReader, "the reader: a.b.c.d, a.b.c.d-port, [name]")
        ->required();
    netGet->callback([&] {
        run = [&] {
            const int handle = KvaraOpenConfigLink(ReaderNameOf(netReader).c_str());
            if (handle <= 0) {
                return Fail(global, Failure{kReaderError, "no reader answers at " + netReader});
            }
            unsigned char record[512] = {};
            const int n = KvaraReadNetConfig(handle, 0, record, sizeof record);
            KvaraCloseConfigLink(handle, 0);
            net::Record0 fields;
            if (n < 0 || !net::ReadRecord0(record, static_cast<std::size_t>(n), &fields)) {
                return Fail(global,
                            Failure{kReaderError, "the reader did not hand over its settings"});
            }
            auto ip = [](const net::Ipv4& a) {
                return std::to_string(a[0]) + "." + std::to_string(a[1]) + "." +
                       std::to_string(a[2]) + "." + std::to_string(a[3]);
            };
            const bool dhcp = fields.address == net::Ipv4{};
            json value = {{"address", dhcp ? json("dhcp") : json(ip(fields.address))},
                          {"host_bits", fields.hostBits},
                          {"gateway", ip(fields.gateway)},
                          {"tcp_port", fields.tcpPort},
                          {"name", fields.name}};
            Print(global, value,
                  "address\t" + (dhcp ? std::string("dhcp") : ip(fields.address)) +
                      "\nhost bits\t" + std::to_string(fields.hostBits) + "\ngateway\t" +
                      ip(fields.gateway) + "\ntcp port\t" + std::to_string(fields.tcpPort) +
                      "\nname\t" + fields.name);
            return int{kOk};
        };
    });
    std::string newAddress;
    std::string mask;
    std::string gateway;
    auto* netSet = net->add_subcommand("set", "change a network reader's IP settings");
    netSet->add_option("reader", netReader, "the reader: a.b.c.d, a.b.c.d-port, [name]")
        ->required();
    netSet->add_option("--ip", newAddress, "new address a.b.c.d, [name] for an automatic address")
        ->required();
    netSet->add_option("--mask", mask, "subnet mask a.b.c.d");
    netSet->add_option("--gateway", gateway, "gateway a.b.c.d");
    netSet->callback([&] {
        run = [&] {
            if (KvaraSetNetworkConfig(ReaderNameOf(netReader).c_str(), newAddress.c_str(),
                                      mask.c_str(), gateway.c_str()) != 0) {
                return Fail(global,
                            Failure{kReaderError, "the reader's settings could not be changed"});
            }
            Print(global, json{{"changed", true}}, "changed");
            return int{kOk};
        };
    });

    // epc decode / encode
    auto* epc = app.add_subcommand("epc", "GS1 EPCs without a reader");
    epc->require_subcommand(1);
    std::vector<std::string> hexEpcs;
    auto* decode = epc->add_subcommand("decode", "the GS1 reading of EPCs");
    decode->add_option("epc", hexEpcs, "EPCs in hex")->required();
    decode->callback([&] {
        run = [&] {
            int exit = kOk;
            for (const auto& text : hexEpcs) {
                ByteBuffer bytes;
                json value = {{"epc", text}};
                if (!ParseHexText(text, &bytes)) {
                    value["error"] = "not hex";
                } else {
                    value.update(Gs1Json(bytes));
                    value["epc"] = HexText(bytes);
                }
                std::string line = value["epc"].get<std::string>() + "\t";
                if (value.contains("error")) {
                    line += "not GS1: " + value["error"].get<std::string>();
                    exit = kReaderError;
                } else {
                    line += value["pure_identity_uri"].get<std::string>() + "\t" +
                            value["tag_uri"].get<std::string>();
                    if (value.contains("element_string") &&
                        !value["element_string"].get<std::string>().empty()) {
                        line += "\t" + value["element_string"].get<std::string>();
                    }
                }
                Print(global, value, line);
            }
            return exit;
        };
    });
    std::string tagUri;
    std::string scheme;
    std::string companyPrefix;
    std::string reference;
    int bits = 0;
    auto* encode = epc->add_subcommand(
        "encode", "EPC bytes from a tag URI, a GTIN, or the fields of a scheme");
    encode->add_option("uri", tagUri, "a tag URI (urn:epc:tag:...)");
    encode->add_option("--sgtin", sgtin, "an SGTIN of this GTIN");
    encode->add_option("--company-prefix-length", companyPrefixLength,
                       "digits of the company prefix in the GTIN");
    encode->add_option("--serial", serial, "the serial (or the SGLN extension)");
    encode->add_option("--filter", filter, "filter value")
        ->check(CLI::Range(0, 7))
        ->capture_default_str();
    encode->add_option("--bits", bits, "96 or 198 for an SGTIN (default: as the serial needs)");
    encode->add_option("--scheme", scheme,
                       "sgtin-96, sgtin-198, sscc-96, sgln-96, sgln-195, grai-96, grai-170, "
                       "giai-96, giai-202, gid-96");
    encode->add_option("--company-prefix", companyPrefix,
                       "the company prefix (GID: the general manager number)");
    encode->add_option(
        "--reference", reference,
        "item reference with indicator, serial reference, location, asset type or object class");
    encode->callback([&] {
        run = [&] {
            gs1::Result<gs1::Epc> fields;
            if (!tagUri.empty()) {
                fields = gs1::ParseTagUri(tagUri);
            } else if (!sgtin.empty()) {
                fields = gs1::SgtinFromGtin(sgtin, companyPrefixLength, filter, serial, bits);
            } else if (!scheme.empty()) {
                const auto named = gs1::SchemeNamed(scheme);
                if (!named) {
                    return Fail(global, Failure{kUsage, "no scheme \"" + scheme + "\""});
                }
                gs1::Epc e;
                e.scheme = *named;
                e.filter = filter;
                e.companyPrefix = companyPrefix;
                e.partition = 12 - static_cast<int>(companyPrefix.size());
                e.reference = reference;
                e.serial = serial;
                fields = gs1::Result<gs1::Epc>{e, {}};
            } else {
                return Fail(
                    global,
                    Failure{kUsage, "give a tag URI, --sgtin GTIN or --scheme with its fields"});
            }
            if (!fields) {
                return Fail(global, Failure{kUsage, fields.error});
            }
            const auto encoded = gs1::Encode(*fields.value);
            if (!encoded) {
                return Fail(global, Failure{kUsage, encoded.error});
            }
            json value = Gs1Json(*encoded.value);
            value["epc"] = HexText(*encoded.value);
            Print(global, value, HexText(*encoded.value) + "\t" + fields.value->TagUri());
            return int{kOk};
        };
    });

    // tid decode
    auto* tid = app.add_subcommand("tid", "TIDs without a reader");
    tid->require_subcommand(1);
    std::string tidText;
    auto* tidDecode = tid->add_subcommand("decode", "maker and chip of a TID");
    tidDecode->add_option("tid", tidText, "the TID in hex")->required();
    tidDecode->callback([&] {
        run = [&] {
            ByteBuffer bytes;
            if (!ParseHexText(tidText, &bytes)) {
                return Fail(global, Failure{kUsage, "the TID is not hex"});
            }
            const json value = TidJson(bytes, Catalog());
            std::string text =
                value["known"].get<bool>()
                    ? value["maker"].get<std::string>() + "\t" + value["model"].get<std::string>()
                    : "class " + value["class"].get<std::string>() +
                          ": no TID this program can read";
            if (value.contains("epc_bits")) {
                text += "\tEPC " + std::to_string(value["epc_bits"].get<int>()) + " bits, User " +
                        std::to_string(value["user_bits"].get<int>()) + " bits";
            }
            Print(global, value, text);
            return value["known"].get<bool>() ? int{kOk} : int{kReaderError};
        };
    });

    // encode
    ReaderOptions encodeReader;
    EncodeOptions encodeOptions;
    auto* series = app.add_subcommand(
        "encode", "encode tags in series from a CSV file, with a log to resume from");
    AddReaderOptions(series, encodeReader);
    series
        ->add_option("--csv", encodeOptions.csvPath,
                     "rows: epc, or gtin and serial; optional user, access, kill, lock")
        ->required();
    series
        ->add_option("--log", encodeOptions.logPath,
                     "the log, one JSON line a tag; a run resumes from it")
        ->required();
    series->add_option("--filter", encodeOptions.filter, "filter value for rows with a GTIN")
        ->check(CLI::Range(0, 7))
        ->capture_default_str();
    series->add_option("--company-prefix-length", encodeOptions.companyPrefixLength,
                       "for rows with a GTIN");
    series->add_flag("--permanent", encodeOptions.permanent,
                     "allow lock actions that can never be undone");
    series->add_option("--max-rows", encodeOptions.maxRows, "stop after encoding this many tags");
    series->add_option("--wait", encodeOptions.waitMs, "how long to wait for the next tag, in ms")
        ->capture_default_str();
    series->callback([&] {
        run = [&] {
            encodeOptions.progress = !global.json;
            ReaderSession reader;
            if (auto failure = OpenReader(reader, encodeReader)) {
                return Fail(global, *failure);
            }
            EncodeSummary summary;
            const auto failure = RunEncode(
                reader, encodeOptions, [] { return g_interrupted.load(); }, &summary);
            const json value = {
                {"rows", summary.rows}, {"encoded", summary.encoded}, {"skipped", summary.skipped}};
            if (failure) {
                if (global.json) {
                    json withError = value;
                    withError["error"] = failure->message;
                    withError["exit_code"] = failure->exitCode;
                    std::cout << withError.dump() << "\n";
                    return failure->exitCode;
                }
                return Fail(global, *failure);
            }
            Print(global, value,
                  std::to_string(summary.encoded) + " encoded, " + std::to_string(summary.skipped) +
                      " done before, " + std::to_string(summary.rows) + " rows");
            return int{kOk};
        };
    });

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& error) {
        const int code = app.exit(error);
        return code == 0 ? 0 : int{kUsage};
    }
    if (!verbose) {
        KvaraSetLogHandler([](const char*, void*) {},
                           nullptr);  // a missing FTDI library is no news here
    }
    if (!global.tracePath.empty()) {
        global.trace = std::fopen(global.tracePath.c_str(), "a");
        if (global.trace == nullptr) {
            return Fail(global, Failure{kUsage, "cannot write the trace " + global.tracePath});
        }
        KvaraSetTraceHandler(&Trace, global.trace);
    }
    struct sigaction interrupt {};
    interrupt.sa_handler = &OnInterrupt;
    sigaction(SIGINT, &interrupt, nullptr);
    sigaction(SIGTERM, &interrupt, nullptr);
    const int result = run ? run() : int{kUsage};
    KvaraSetTraceHandler(nullptr, nullptr);
    if (global.trace != nullptr) {
        std::fclose(global.trace);
    }
    return result;
}

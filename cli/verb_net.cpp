// SPDX-License-Identifier: MIT
// kvara net search / get / set: network readers and their IP settings.
#include "cli/list_entries.h"
#include "cli/reader_options.h"
#include "cli/verbs.h"
#include "protocol/datagram.h"
#include "reader/kvara.h"

namespace kvara::cli {

namespace {

std::string Dotted(const net::Ipv4& a) {
    return std::to_string(a[0]) + "." + std::to_string(a[1]) + "." + std::to_string(a[2]) + "." +
           std::to_string(a[3]);
}

class Search : public Command {
public:
    const char* Name() const override { return "search"; }
    const char* Description() const override { return "the readers on the local networks"; }
    void AddOptions(CLI::App&) override {}
    int Run(const Global& global) override {
        const auto readers = Entries(&KvaraFindLanReadersEx);
        std::string text;
        for (const auto& entry : readers) {
            text += entry + "\n";
        }
        Print(global, nlohmann::json{{"readers", readers}}, text);
        return kOk;
    }
};

class Get : public Command {
public:
    const char* Name() const override { return "get"; }
    const char* Description() const override { return "a network reader's IP settings"; }
    void AddOptions(CLI::App& verb) override {
        verb.add_option("reader", m_reader, "the reader: a.b.c.d, a.b.c.d-port, [name]")
            ->required();
    }
    int Run(const Global& global) override {
        const int handle = KvaraOpenConfigLink(tags::ReaderNameOf(m_reader).c_str());
        if (handle <= 0) {
            return Fail(global, Failure{kReaderError, "no reader answers at " + m_reader});
        }
        unsigned char record[512] = {};
        const int n = KvaraReadNetConfig(handle, 0, record, sizeof record);
        KvaraCloseConfigLink(handle, 0);
        net::Record0 fields;
        if (n < 0 || !net::ReadRecord0(record, static_cast<std::size_t>(n), &fields)) {
            return Fail(global, Failure{kReaderError, "the reader did not hand over its settings"});
        }
        const bool dhcp = fields.address == net::Ipv4{};
        const std::string address = dhcp ? std::string("dhcp") : Dotted(fields.address);
        const nlohmann::json value = {{"address", address},
                                      {"host_bits", fields.hostBits},
                                      {"gateway", Dotted(fields.gateway)},
                                      {"tcp_port", fields.tcpPort},
                                      {"name", fields.name}};
        Print(global, value,
              "address\t" + address + "\nhost bits\t" + std::to_string(fields.hostBits) +
                  "\ngateway\t" + Dotted(fields.gateway) + "\ntcp port\t" +
                  std::to_string(fields.tcpPort) + "\nname\t" + fields.name);
        return kOk;
    }

private:
    std::string m_reader;
};

class Set : public Command {
public:
    const char* Name() const override { return "set"; }
    const char* Description() const override { return "change a network reader's IP settings"; }
    void AddOptions(CLI::App& verb) override {
        verb.add_option("reader", m_reader, "the reader: a.b.c.d, a.b.c.d-port, [name]")
            ->required();
        verb.add_option("--ip", m_address, "new address a.b.c.d, [name] for an automatic address")
            ->required();
        verb.add_option("--mask", m_mask, "subnet mask a.b.c.d");
        verb.add_option("--gateway", m_gateway, "gateway a.b.c.d");
    }
    int Run(const Global& global) override {
        if (KvaraSetNetworkConfig(tags::ReaderNameOf(m_reader).c_str(), m_address.c_str(),
                                  m_mask.c_str(), m_gateway.c_str()) != 0) {
            return Fail(global,
                        Failure{kReaderError, "the reader's settings could not be changed"});
        }
        Print(global, nlohmann::json{{"changed", true}}, "changed");
        return kOk;
    }

private:
    std::string m_reader;
    std::string m_address;
    std::string m_mask;
    std::string m_gateway;
};

}  // namespace

std::unique_ptr<Command> NetVerb() {
    auto group =
        std::make_unique<VerbGroup>("net", "network readers: search, and their IP settings");
    group->Add(std::make_unique<Search>())
        .Add(std::make_unique<Get>())
        .Add(std::make_unique<Set>());
    return group;
}

}  // namespace kvara::cli

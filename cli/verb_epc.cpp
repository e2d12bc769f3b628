// SPDX-License-Identifier: MIT
// kvara epc decode / encode and kvara tid decode: EPCs and TIDs without a reader.
#include "cli/reader_options.h"
#include "cli/tag_json.h"
#include "cli/verbs.h"
#include "protocol/gs1.h"

namespace kvara::cli {

namespace {

class Decode : public Command {
public:
    const char* Name() const override { return "decode"; }
    const char* Description() const override { return "the GS1 reading of EPCs"; }
    void AddOptions(CLI::App& verb) override {
        verb.add_option("epc", m_epcs, "EPCs in hex")->required();
    }
    int Run(const Global& global) override {
        int exit = kOk;
        for (const auto& text : m_epcs) {
            ByteBuffer bytes;
            nlohmann::json value = {{"epc", text}};
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
    }

private:
    std::vector<std::string> m_epcs;
};

class Encode : public Command {
public:
    const char* Name() const override { return "encode"; }
    const char* Description() const override {
        return "EPC bytes from a tag URI, a GTIN, or the fields of a scheme";
    }
    void AddOptions(CLI::App& verb) override {
        verb.add_option("uri", m_uri, "a tag URI (urn:epc:tag:...)");
        verb.add_option("--sgtin", m_sgtin, "an SGTIN of this GTIN");
        verb.add_option("--company-prefix-length", m_companyPrefixLength,
                        "digits of the company prefix in the GTIN");
        verb.add_option("--serial", m_serial, "the serial (or the SGLN extension)");
        verb.add_option("--filter", m_filter, "filter value")
            ->check(CLI::Range(0, 7))
            ->capture_default_str();
        verb.add_option("--bits", m_bits, "96 or 198 for an SGTIN (default: as the serial needs)");
        verb.add_option("--scheme", m_scheme,
                        "sgtin-96, sgtin-198, sscc-96, sgln-96, sgln-195, grai-96, grai-170, "
                        "giai-96, giai-202, gid-96");
        verb.add_option("--company-prefix", m_companyPrefix,
                        "the company prefix (GID: the general manager number)");
        verb.add_option("--reference", m_reference,
                        "item reference with indicator, serial reference, location, asset type or "
                        "object class");
    }
    int Run(const Global& global) override {
        gs1::Result<gs1::Epc> fields;
        if (!m_uri.empty()) {
            fields = gs1::ParseTagUri(m_uri);
        } else if (!m_sgtin.empty()) {
            fields = gs1::SgtinFromGtin(m_sgtin, m_companyPrefixLength, m_filter, m_serial, m_bits);
        } else if (!m_scheme.empty()) {
            const auto named = gs1::SchemeNamed(m_scheme);
            if (!named) {
                return Fail(global, Failure{kUsage, "no scheme \"" + m_scheme + "\""});
            }
            gs1::Epc epc;
            epc.scheme = *named;
            epc.filter = m_filter;
            epc.companyPrefix = m_companyPrefix;
            epc.partition = 12 - static_cast<int>(m_companyPrefix.size());
            epc.reference = m_reference;
            epc.serial = m_serial;
            fields = gs1::Result<gs1::Epc>{epc, {}, {}};
        } else {
            return Fail(global, Failure{kUsage,
                                        "give a tag URI, --sgtin GTIN or --scheme with its "
                                        "fields"});
        }
        if (!fields) {
            return Fail(global, Failure{kUsage, fields.error});
        }
        const auto encoded = gs1::Encode(*fields.value);
        if (!encoded) {
            return Fail(global, Failure{kUsage, encoded.error});
        }
        nlohmann::json value = Gs1Json(*encoded.value);
        value["epc"] = HexText(*encoded.value);
        Print(global, value, HexText(*encoded.value) + "\t" + fields.value->TagUri());
        return kOk;
    }

private:
    std::string m_uri;
    std::string m_sgtin;
    std::string m_serial;
    std::string m_scheme;
    std::string m_companyPrefix;
    std::string m_reference;
    int m_companyPrefixLength = 0;
    int m_filter = 0;
    int m_bits = 0;
};

class TidDecode : public Command {
public:
    const char* Name() const override { return "decode"; }
    const char* Description() const override { return "maker and chip of a TID"; }
    void AddOptions(CLI::App& verb) override {
        verb.add_option("tid", m_tid, "the TID in hex")->required();
    }
    int Run(const Global& global) override {
        ByteBuffer bytes;
        if (!ParseHexText(m_tid, &bytes)) {
            return Fail(global, Failure{kUsage, "the TID is not hex"});
        }
        const nlohmann::json value = TidJson(bytes, Catalog());
        const bool known = value["known"].get<bool>();
        std::string text =
            known ? value["maker"].get<std::string>() + "\t" + value["model"].get<std::string>()
                  : "class " + value["class"].get<std::string>() + ": no TID this program can read";
        if (value.contains("epc_bits")) {
            text += "\tEPC " + std::to_string(value["epc_bits"].get<int>()) + " bits, User " +
                    std::to_string(value["user_bits"].get<int>()) + " bits";
        }
        Print(global, value, text);
        return known ? kOk : kReaderError;
    }

private:
    std::string m_tid;
};

}  // namespace

std::unique_ptr<Command> EpcVerb() {
    auto group = std::make_unique<VerbGroup>("epc", "GS1 EPCs without a reader");
    group->Add(std::make_unique<Decode>()).Add(std::make_unique<Encode>());
    return group;
}

std::unique_ptr<Command> TidVerb() {
    auto group = std::make_unique<VerbGroup>("tid", "TIDs without a reader");
    group->Add(std::make_unique<TidDecode>());
    return group;
}

}  // namespace kvara::cli

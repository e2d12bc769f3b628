// SPDX-License-Identifier: MIT
// The command line end to end: the kvara program run as a user would run it, against the
// simulated reader on a pseudo terminal and on a TCP port of the loopback address, its JSON
// answers parsed back.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <fcntl.h>
#include <grp.h>
#include <netinet/in.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <map>
#include <memory>
#include <nlohmann/json.hpp>
#include <set>
#include <sstream>
#include <string>

#include "common/hex.h"
#include "sim/pty_server.h"
#include "sim/sim_reader.h"
#include "sim/tcp_server.h"

using kvara::ByteBuffer;
using kvara::sim::SimConfig;
using kvara::sim::SimTag;
using nlohmann::json;

namespace {

const ByteBuffer kSgtin = {0x30, 0x74, 0x25, 0x7B, 0xF7, 0x19, 0x4E, 0x40, 0x00, 0x00, 0x1A, 0x85};
const ByteBuffer kPlain = {0xE2, 0x00, 0x34, 0x12, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x42};

struct Outcome {
    int exitCode = -1;
    std::string out;
};

// Runs a shell command; its stdout is kept.
Outcome Shell(const std::string& command) {
    Outcome run;
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) {
        return run;
    }
    char buffer[4096];
    std::size_t n = 0;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) {
        run.out.append(buffer, n);
    }
    const int status = pclose(pipe);
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

// Runs kvara with the arguments (quoted for the shell); stdout is kept, stderr goes to the log.
Outcome Kvara(const std::string& arguments) {
    return Shell(std::string(KVARA_CLI) + " " + arguments + " 2>/dev/null");
}

json Json(const Outcome& run) {
    const auto value = json::parse(run.out, nullptr, false);
    EXPECT_FALSE(value.is_discarded()) << run.out;
    return value;
}

std::string Hex(const ByteBuffer& bytes) {
    return kvara::HexPairs(bytes);
}

class CliTest : public ::testing::Test {
protected:
    // The simulated reader on a pseudo terminal, or on a TCP port of the loopback address.
    void StartReader(SimConfig config, std::vector<SimTag> tags, bool overTcp = false) {
        StopReader();
        reader = std::make_shared<kvara::sim::SimReader>(config);
        reader->SetTags(std::move(tags));
        if (overTcp) {
            tcpServer = std::make_unique<kvara::sim::SimTcpServer>(reader);
            ASSERT_TRUE(tcpServer->Start("127.0.0.1", 0));
            iface = "-i \"LAN: 127.0.0.1-" + std::to_string(tcpServer->Port()) + "\" --timeout 300";
            return;
        }
        server = std::make_unique<kvara::sim::PtyServer>(reader);
        ASSERT_TRUE(server->Start());
        iface = "-i " + server->Path() + " --timeout 300";
    }
    void StopReader() {
        if (server) {
            server->Stop();
            server.reset();
        }
        if (tcpServer) {
            tcpServer->Stop();
            tcpServer.reset();
        }
    }
    void TearDown() override { StopReader(); }
    std::shared_ptr<kvara::sim::SimReader> reader;
    std::unique_ptr<kvara::sim::PtyServer> server;
    std::unique_ptr<kvara::sim::SimTcpServer> tcpServer;
    std::string iface;
};

std::vector<SimTag> TwoTags() {
    SimTag sgtin = SimTag::WithEpc(kSgtin);
    sgtin.user = {0x00, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77};
    return {sgtin, SimTag::WithEpc(kPlain)};
}

}  // namespace

TEST_F(CliTest, InfoInventoryReadWriteAndPowerOnAPty) {
    StartReader({}, TwoTags());
    const json info = Json(Kvara("--json info " + iface));
    EXPECT_EQ(info["model"], "Kvara P20");
    EXPECT_EQ(info["device_type"], "3120");
    EXPECT_DOUBLE_EQ(info["tx_power_dbm"].get<double>(), 27.0);

    const json inventory = Json(Kvara("--json inventory " + iface));
    ASSERT_EQ(inventory["tags"].size(), 2u);
    EXPECT_EQ(inventory["tags"][0]["epc"], Hex(kSgtin));
    EXPECT_EQ(inventory["tags"][0]["identity"], "urn:epc:id:sgtin:0614141.812345.6789");
    EXPECT_FALSE(inventory["tags"][1].contains("identity"));
    EXPECT_EQ(Kvara("inventory " + iface).out,
              Hex(kSgtin) + "  urn:epc:id:sgtin:0614141.812345.6789\n" + Hex(kPlain) + "\n");

    const json read = Json(Kvara("--json read " + iface + " --epc " + Hex(kSgtin) +
                                 " --bank user --word 1 --count 4"));
    EXPECT_EQ(read["data"], "22334455");
    EXPECT_EQ(
        Kvara("write " + iface + " --epc " + Hex(kSgtin) + " --bank user --word 0 --data CAFE")
            .exitCode,
        0);
    EXPECT_EQ(reader->Tags()[0].user[0], 0xCA);

    EXPECT_DOUBLE_EQ(
        Json(Kvara("--json power " + iface + " --set 22.5 --store"))["tx_power_dbm"].get<double>(),
        22.5);
    EXPECT_EQ(reader->StoredTxPower(), 225);
}

TEST_F(CliTest, SetEpcWritesPcAndEpcAndProvesIt) {
    StartReader({}, TwoTags());
    const json set =
        Json(Kvara("--json set-epc " + iface + " --epc " + Hex(kPlain) +
                   " --sgtin 80614141123458 --company-prefix-length 7 --serial 1001 --filter 1"));
    EXPECT_TRUE(set["verified"].get<bool>());
    EXPECT_EQ(set["identity"], "urn:epc:id:sgtin:0614141.812345.1001");
    const SimTag tag = reader->Tags()[1];
    EXPECT_EQ(Hex(tag.Epc()), set["new_epc"].get<std::string>());
    EXPECT_EQ(tag.Pc(), 0x3000);  // six words

    // A shorter EPC: the length bits follow, the rest of the PC stays.
    ASSERT_EQ(Kvara("set-epc " + iface + " --epc " + set["new_epc"].get<std::string>() +
                    " --new 11223344")
                  .exitCode,
              0);
    EXPECT_EQ(reader->Tags()[1].Pc(), 0x1000);
    EXPECT_EQ(Kvara("set-epc " + iface + " --epc 11223344 --new 112233").exitCode,
              2);  // no whole words
}

TEST_F(CliTest, LocksNeedTheirPasswordAndPermanentOnesNeedPermanent) {
    StartReader({}, TwoTags());
    const std::string lock =
        "lock " + iface + " --epc " + Hex(kPlain) + " --area user --password 00000000 ";
    EXPECT_EQ(Kvara(lock + "--action permalocked").exitCode, 3);
    EXPECT_TRUE(reader->Requests().empty() || reader->Requests().back().command != 0xC6);
    EXPECT_EQ(Kvara(lock + "--action locked").exitCode, 0);
    EXPECT_EQ(reader->Requests().back().command, 0xC6);
    EXPECT_EQ(Kvara(lock + "--action permalocked --permanent").exitCode, 0);
    EXPECT_EQ(reader->Tags()[1].locks[kvara::sim::kAreaUser], kvara::sim::LockState::kPermaLocked);
}

TEST_F(CliTest, ErrorsAndUsage) {
    StartReader({}, TwoTags());
    EXPECT_EQ(Kvara("read " + iface + " --epc 0102 --bank user --count 2").exitCode,
              1);  // no such tag
    const json failed = Json(Kvara("--json read " + iface + " --epc 0102 --bank user --count 2"));
    EXPECT_EQ(failed["exit_code"], 1);
    EXPECT_NE(failed["error"].get<std::string>().find("code 21"), std::string::npos);
    EXPECT_EQ(Kvara("read " + iface + " --bank nowhere").exitCode, 2);
    EXPECT_EQ(Kvara("frobnicate").exitCode, 2);
    EXPECT_EQ(Kvara("info -i /dev/kvara-nowhere").exitCode, 1);
    EXPECT_EQ(Kvara("--version").out.rfind("kvara ", 0), 0u);
    EXPECT_NE(Kvara("encode --help").out.find("--csv"), std::string::npos);
}

// Failures say in English why, with what a user can do: the system's reason a port did not
// open (and for a device the user may not open, the group to join), two tags where one was
// meant, and whether a refused command changed anything. The library's notes stay off stderr.
TEST_F(CliTest, FailuresSayWhyInEnglish) {
    StartReader({}, TwoTags());
    auto error = [](const std::string& arguments) {
        const json failed = Json(Kvara("--json " + arguments));
        EXPECT_EQ(failed["exit_code"], 1) << arguments;
        return failed.value("error", std::string());
    };
    const std::string collision = error("read " + iface + " --bank user --count 2");
    EXPECT_NE(collision.find("more than one tag answered; name one with --epc"), std::string::npos)
        << collision;
    EXPECT_EQ(collision.find("Kollision"), std::string::npos) << collision;

    EXPECT_NE(error("info -i /dev/kvara-nowhere").find("No such file or directory"),
              std::string::npos);

    const int held = open(server->Path().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_GE(held, 0);
    ASSERT_EQ(flock(held, LOCK_EX | LOCK_NB), 0);
    EXPECT_NE(error("info " + iface).find("in use by another program"), std::string::npos);
    close(held);

    const int socketFd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    ASSERT_EQ(bind(socketFd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(getsockname(socketFd, reinterpret_cast<sockaddr*>(&address), &size), 0);
    const std::string refused =
        "info -i \"LAN: 127.0.0.1-" + std::to_string(ntohs(address.sin_port)) + "\"";
    EXPECT_NE(error(refused).find("Connection refused"), std::string::npos);  // bound, no listen
    close(socketFd);

    // A write to a locked area is the reader's refusal: nothing changed, and it says so.
    ASSERT_EQ(Kvara("lock " + iface + " --epc " + Hex(kPlain) +
                    " --area user --action permalocked --permanent --password 00000000")
                  .exitCode,
              0);
    const std::string locked =
        error("write " + iface + " --epc " + Hex(kPlain) + " --bank user --word 0 --data CAFE");
    EXPECT_NE(locked.find("refused by the reader: the memory area is locked (code 27)"),
              std::string::npos)
        << locked;
    // A write whose answer is lost may have changed the tag: the message says so.
    reader->PushFault(kvara::sim::SimFault{.silent = true, .forCommand = 0xC4});
    const std::string unknown =
        error("write " + iface + " --epc " + Hex(kSgtin) + " --bank user --word 0 --data CAFE");
    EXPECT_NE(unknown.find("outcome unknown (the tag may have changed; read it back)"),
              std::string::npos)
        << unknown;

    const Outcome quiet = Shell(std::string(KVARA_CLI) + " list 2>&1 >/dev/null");
    EXPECT_EQ(quiet.out, "") << "the library's notes reached stderr";

    // A serial device of the group dialout, opened by a user outside it: the group to join.
    const group* dialout = getgrnam("dialout");
    if (geteuid() != 0 || dialout == nullptr) {
        GTEST_SKIP() << "needs root to hand the device to the group dialout";
    }
    ASSERT_EQ(chown(server->Path().c_str(), 0, dialout->gr_gid), 0);
    ASSERT_EQ(chmod(server->Path().c_str(), 0660), 0);
    const Outcome asNobody = Shell(std::string("runuser -u nobody -- ") + KVARA_CLI +
                                   " --json info " + iface + " 2>/dev/null");
    EXPECT_EQ(asNobody.exitCode, 1);
    const std::string why = Json(asNobody).value("error", std::string());
    EXPECT_NE(why.find("Permission denied"), std::string::npos) << why;
    EXPECT_NE(why.find("usermod -aG dialout"), std::string::npos) << why;
}

TEST_F(CliTest, TraceHasEveryFrameWithItsTime) {
    StartReader({}, TwoTags());
    char path[] = "/tmp/kvara-trace-XXXXXX";
    const int fd = mkstemp(path);
    ASSERT_GE(fd, 0);
    close(fd);
    ASSERT_EQ(Kvara(std::string("--trace ") + path + " info " + iface).exitCode, 0);
    std::ifstream trace(path);
    std::string line;
    int out = 0;
    int in = 0;
    while (std::getline(trace, line)) {
        out += line.find(" > ") != std::string::npos ? 1 : 0;
        in += line.find(" < ") != std::string::npos ? 1 : 0;
    }
    unlink(path);
    EXPECT_GE(out, 3);  // device type at open, device type, information, power
    EXPECT_EQ(out, in);
}

TEST(CliOffline, EpcAndTidWithoutAReader) {
    const json decoded = Json(Kvara("--json epc decode 3074257BF7194E4000001A85"));
    EXPECT_EQ(decoded["scheme"], "sgtin-96");
    EXPECT_EQ(decoded["filter"], 3);
    EXPECT_EQ(decoded["partition"], 5);
    EXPECT_EQ(decoded["company_prefix"], "0614141");
    EXPECT_EQ(decoded["reference"], "812345");
    EXPECT_EQ(decoded["serial"], "6789");
    EXPECT_EQ(decoded["element_string"], "(01)80614141123458(21)6789");
    EXPECT_EQ(Kvara("epc decode E20034120000000000000042").exitCode, 1);

    EXPECT_EQ(Json(Kvara("--json epc encode urn:epc:tag:sscc-96:3.0614141.1234567890"))["epc"],
              "3174257BF4499602D2000000");
    EXPECT_EQ(Json(Kvara("--json epc encode --sgtin 80614141123458 --company-prefix-length 7 "
                         "--serial 6789 --filter 3"))["epc"],
              "3074257BF7194E4000001A85");
    EXPECT_EQ(Json(Kvara("--json epc encode --scheme gid-96 --company-prefix 31415 --reference "
                         "271828 --serial 1414"))["epc"],
              "350007AB70425D4000000586");
    EXPECT_EQ(
        Kvara("epc encode --sgtin 80614141123459 --company-prefix-length 7 --serial 1").exitCode,
        2);

    // A global option after the verb, and an SGTIN-198 written in 25 bytes as GS1 libraries
    // write it (26 on a tag: 13 whole words).
    const json sgtin198 =
        Json(Kvara("epc decode 3614257BF7194E59B2C2BF1000000000000000000000000000 --json"));
    EXPECT_EQ(sgtin198["scheme"], "sgtin-198") << sgtin198.dump();
    EXPECT_EQ(sgtin198["serial"], "32a/b");

    const json tid = Json(Kvara("--json tid decode E2801105200073AB"));
    EXPECT_EQ(tid["maker"], "Impinj");
    EXPECT_EQ(tid["model"], "Monza 4QT");
    EXPECT_EQ(tid["user_bits"], 512);
}

TEST(CliNetwork, ReaderOnATcpPort) {
    auto reader = std::make_shared<kvara::sim::SimReader>();
    reader->SetTags(TwoTags());
    kvara::sim::SimTcpServer server(reader);
    ASSERT_TRUE(server.Start("127.0.0.1", 0));
    const std::string iface = "-i \"LAN: 127.0.0.1-" + std::to_string(server.Port()) + "\"";
    const json info = Json(Kvara("--json info " + iface));
    EXPECT_EQ(info["model"], "Kvara P20");
    const json inventory = Json(Kvara("--json inventory " + iface));
    EXPECT_EQ(inventory["tags"].size(), 2u);
    server.Stop();
}

namespace {

class EncodeTest : public CliTest {
protected:
    void SetUp() override {
        char folder[] = "/tmp/kvara-encode-XXXXXX";
        ASSERT_NE(mkdtemp(folder), nullptr);
        dir = folder;
    }
    void TearDown() override {
        CliTest::TearDown();
        std::system(("rm -rf " + dir).c_str());
    }
    // A reel of blank tags with the same factory EPC and TIDs of their own, passing one by one.
    void StartConveyor(int count, bool overTcp = false) {
        std::vector<SimTag> tags;
        for (int i = 0; i < count; ++i) {
            SimTag tag = SimTag::WithEpc(kPlain);
            tag.tid[10] = static_cast<std::uint8_t>(i >> 8);
            tag.tid[11] = static_cast<std::uint8_t>(i);
            tags.push_back(tag);
        }
        StartReader(SimConfig{.conveyor = true}, tags, overTcp);
    }
    void WriteCsv(int rows) {
        std::ofstream csv(dir + "/rows.csv");
        csv << "gtin,serial,access,lock\n";
        for (int i = 1; i <= rows; ++i) {
            csv << "80614141123458," << 1000 + i << ",11223344,user:locked\n";
        }
    }
    // The journal's records of rows (reserved, written, ...), in order.
    std::vector<json> Log() {
        std::vector<json> lines;
        std::ifstream log(dir + "/log.jsonl");
        std::string line;
        while (std::getline(log, line)) {
            const json record = json::parse(line, nullptr, false);
            if (record.is_object() && record.contains("state")) {
                lines.push_back(record);
            }
        }
        return lines;
    }
    // The rows written, by their row number.
    std::map<int, json> Written() {
        std::map<int, json> written;
        for (const json& record : Log()) {
            if (record["state"] == "written") {
                written[record["row"].get<int>()] = record;
            }
        }
        return written;
    }
    // The last JSON line of a run: its summary.
    static json Summary(const Outcome& run) {
        const std::size_t end = run.out.find_last_not_of('\n');
        const std::size_t start = end == std::string::npos ? 0 : run.out.rfind('\n', end);
        const auto value =
            json::parse(run.out.substr(start == std::string::npos ? 0 : start + 1), nullptr, false);
        EXPECT_FALSE(value.is_discarded()) << run.out;
        return value;
    }
    std::string Encode(const std::string& more = "") {
        return "encode " + iface + " --csv " + dir + "/rows.csv --log " + dir +
               "/log.jsonl --company-prefix-length 7 --filter 1 --wait 3000 " + more;
    }
    void LostAnswerToTheEpcWrite(bool overTcp) {
        StartConveyor(3, overTcp);
        WriteCsv(3);
        // The first write is the EPC's (PC and EPC in bank 1).
        reader->PushFault(kvara::sim::SimFault{.silent = true, .forCommand = 0xC4});
        const Outcome run = Kvara("--json " + Encode());
        EXPECT_EQ(run.exitCode, 0) << run.out;
        const auto written = Written();
        ASSERT_EQ(written.size(), 3u) << run.out;
        const auto tags = reader->AllTags();
        std::set<std::string> epcs;
        for (int i = 0; i < 3; ++i) {
            const std::string epc = written.at(i + 1)["epc"].get<std::string>();
            EXPECT_EQ(Hex(tags[static_cast<std::size_t>(i)].Epc()), epc) << "tag " << i;
            epcs.insert(epc);
        }
        EXPECT_EQ(epcs.size(), 3u);
    }
    std::string dir;
};

}  // namespace

TEST_F(EncodeTest, AHundredTagsOneByOneAllVerifiedAndLogged) {
    StartConveyor(100);
    WriteCsv(100);
    const Outcome run = Kvara("--json " + Encode());
    const json summary = Summary(run);
    EXPECT_EQ(summary["encoded"], 100) << run.out;
    EXPECT_EQ(run.exitCode, 0) << run.out;  // every row written: the job is done
    const auto written = Written();
    ASSERT_EQ(written.size(), 100u);
    const auto tags = reader->AllTags();
    for (int i = 0; i < 100; ++i) {
        const json& record = written.at(i + 1);
        const SimTag& tag = tags[static_cast<std::size_t>(i)];
        EXPECT_EQ(Hex(tag.Epc()), record["epc"].get<std::string>());
        EXPECT_EQ(Hex(tag.tid), record["tid"].get<std::string>());
        EXPECT_EQ(tag.AccessPassword(), (ByteBuffer{0x11, 0x22, 0x33, 0x44}));
        EXPECT_EQ(tag.locks[kvara::sim::kAreaUser], kvara::sim::LockState::kPasswordProtected);
    }
}

TEST_F(EncodeTest, AnInterruptedRunResumesFromItsLog) {
    StartConveyor(100);
    WriteCsv(100);
    const Outcome first = Kvara(Encode("--max-rows 40"));
    EXPECT_EQ(first.exitCode, 0);  // as many as asked for: a planned end
    ASSERT_EQ(Written().size(), 40u);
    const Outcome second = Kvara("--json " + Encode());
    const json summary = Summary(second);
    EXPECT_EQ(summary["skipped"], 40) << second.out;
    EXPECT_EQ(summary["encoded"], 60);
    EXPECT_EQ(summary["left"], 0);
    EXPECT_EQ(second.exitCode, 0) << second.out;  // every row written: the job is done
    std::set<std::string> epcs;
    for (const auto& [row, record] : Written()) {
        epcs.insert(record["epc"].get<std::string>());
    }
    EXPECT_EQ(epcs.size(), 100u);  // no EPC twice
    for (const SimTag& tag : reader->AllTags()) {
        EXPECT_EQ(epcs.count(Hex(tag.Epc())), 1u);
    }
    // Another filter is another job: the journal refuses to go on with it.
    const Outcome other = Kvara(Encode("--filter 2").replace(Encode().find("--filter 1"), 10, ""));
    EXPECT_EQ(other.exitCode, 6);
}

// The reader's answer to an EPC write is lost while the tag took the EPC: reading it back
// settles that the row is written, so it is journalled so and the next tag gets the next row's
// EPC, not this one again. On a pseudo terminal and over TCP.
TEST_F(EncodeTest, ALostAnswerToAnEpcWriteIsSettledByReadingBackOnAPty) {
    LostAnswerToTheEpcWrite(false);
}

TEST_F(EncodeTest, ALostAnswerToAnEpcWriteIsSettledByReadingBackOverTcp) {
    LostAnswerToTheEpcWrite(true);
}

TEST_F(EncodeTest, TwoTagsAtOnceWriteNothingAndSayWhy) {
    StartReader({}, {SimTag::WithEpc(kPlain), SimTag::WithEpc(kSgtin)});
    WriteCsv(3);
    const Outcome run = Kvara("--json " + Encode());
    EXPECT_EQ(run.exitCode, 3);
    EXPECT_NE(Summary(run)["ended"].get<std::string>().find("2 new tags in the field"),
              std::string::npos)
        << run.out;
    for (const auto& request : reader->Requests()) {
        EXPECT_NE(request.command, 0xC4) << "something was written";
    }
    EXPECT_TRUE(Log().empty());
}

TEST_F(EncodeTest, RowsAreCheckedBeforeAnyTagIsTouched) {
    StartConveyor(3);
    std::ofstream(dir + "/rows.csv")
        << "epc,lock\n112233445566778899AABBCC,\n112233445566778899AABBCC,\n";
    EXPECT_EQ(Kvara(Encode()).exitCode, 3);  // the same EPC twice
    std::ofstream(dir + "/rows.csv") << "epc,lock\n112233445566778899AABBCC,user:permalocked\n";
    EXPECT_EQ(Kvara(Encode()).exitCode, 3);  // permanent without --permanent
    std::ofstream(dir + "/rows.csv") << "gtin,serial\n80614141123459,1\n";
    EXPECT_EQ(Kvara(Encode()).exitCode, 2);  // wrong check digit
    for (const auto& request : reader->Requests()) {
        EXPECT_NE(request.command, 0xC4);
    }
}

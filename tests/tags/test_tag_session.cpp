// SPDX-License-Identifier: MIT
// The tag layer against the simulated reader on a pseudo terminal: the inventory's entries,
// select-then-act with and without the access password, the permanent-lock rule, the proven EPC
// write, and how each kind of ending is told.
#include <gtest/gtest.h>

#include "protocol/tag_memory.h"
#include "tags/tag_session.h"
#include "tests/support/sim_reader_fixture.h"

using kvara::ByteBuffer;
using kvara::sim::SimFault;
using kvara::sim::SimTag;
using kvara::tags::Ending;
using kvara::tags::Inventory;
using kvara::tags::Outcome;
using kvara::tags::Step;
using kvara::tags::TagSession;

namespace {

const ByteBuffer kSgtin = {0x30, 0x74, 0x25, 0x7B, 0xF7, 0x19, 0x4E, 0x40, 0x00, 0x00, 0x1A, 0x85};
const ByteBuffer kPlain = {0xE2, 0x00, 0x34, 0x12, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x42};
const ByteBuffer kPassword = {0x11, 0x22, 0x33, 0x44};

class TagSessionTest : public kvara::test::PtyReaderTest {
protected:
    void OpenSession(std::vector<SimTag> tags) {
        StartReader({}, std::move(tags));
        ASSERT_GT(session.Open(name, {.timeoutMs = 200}), 0);
    }
    std::size_t RequestsOf(std::uint8_t command) const {
        std::size_t count = 0;
        for (const auto& request : Requests()) {
            count += request.command == command ? 1 : 0;
        }
        return count;
    }
    kvara::sim::SimRequest LastRequestOf(std::uint8_t command) const {
        kvara::sim::SimRequest last;
        for (const auto& request : Requests()) {
            if (request.command == command) {
                last = request;
            }
        }
        return last;
    }
    TagSession session;
};

}  // namespace

TEST_F(TagSessionTest, InventoryEntriesCarryPcCrcAndGs1Identity) {
    OpenSession({SimTag::WithEpc(kSgtin), SimTag::WithEpc(kPlain)});
    Inventory inventory;
    ASSERT_TRUE(session.RunInventory(&inventory).Done());
    EXPECT_EQ(inventory.reported, 2);
    ASSERT_EQ(inventory.entries.size(), 2u);
    const auto tags = reader->Tags();
    for (std::size_t i = 0; i < 2; ++i) {
        EXPECT_EQ(inventory.entries[i].epc, tags[i].Epc());
        EXPECT_EQ(inventory.entries[i].pc, tags[i].Pc());
        // The CRC as the tag stores it in front of its PC.
        EXPECT_EQ(inventory.entries[i].crc,
                  static_cast<std::uint16_t>(tags[i].epcBank[0] << 8 | tags[i].epcBank[1]));
    }
    EXPECT_EQ(inventory.entries[0].gs1Identity, "urn:epc:id:sgtin:0614141.812345.6789");
    EXPECT_EQ(inventory.entries[1].gs1Identity, "");

    reader->SetTags({});
    EXPECT_TRUE(session.RunInventory(&inventory).Done());
    EXPECT_TRUE(inventory.entries.empty());
}

// Select, then act: the read goes to the tag named, with the password call when a password is
// given and the plain one otherwise.
TEST_F(TagSessionTest, SelectThenActWithAndWithoutPassword) {
    SimTag tag = SimTag::WithEpc(kPlain);
    tag.user = {1, 2, 3, 4, 5, 6, 7, 8};
    tag.reserved = {0, 0, 0, 0, 0x11, 0x22, 0x33, 0x44};
    OpenSession({SimTag::WithEpc(kSgtin), tag});
    ByteBuffer data;
    ASSERT_TRUE(session.Read(kPlain, KVARA_BANK_USER, 1, 4, 4, std::nullopt, &data).Done());
    EXPECT_EQ(data, (ByteBuffer{3, 4, 5, 6}));
    EXPECT_EQ(LastRequest().command, 0xC3);
    EXPECT_EQ(LastRequest().payload.size(), 5u);  // bank, word, count: no password
    ASSERT_TRUE(session.Read(kPlain, KVARA_BANK_USER, 0, 0, 200, kPassword, &data).Done());
    EXPECT_EQ(data, tag.user);
    const ByteBuffer payload = LastRequest().payload;
    EXPECT_EQ(ByteBuffer(payload.end() - 4, payload.end()), kPassword);

    ASSERT_TRUE(session.Write(kPlain, KVARA_BANK_USER, 0, {9, 9}, std::nullopt).Done());
    EXPECT_EQ(reader->Tags()[1].user[0], 9);
    EXPECT_EQ(reader->Tags()[0].user, SimTag::WithEpc(kSgtin).user);  // the other tag untouched

    ByteBuffer access;
    ASSERT_TRUE(session.ReadPassword(kPlain, true, std::nullopt, &access).Done());
    EXPECT_EQ(access, kPassword);
    ASSERT_TRUE(session.WritePassword(kPlain, false, {5, 6, 7, 8}, std::nullopt).Done());
    const ByteBuffer reserved = reader->Tags()[1].reserved;
    EXPECT_EQ(ByteBuffer(reserved.begin(), reserved.begin() + 4), (ByteBuffer{5, 6, 7, 8}));
}

// A permanent lock goes out only when confirmed; the others need no confirmation.
TEST_F(TagSessionTest, APermanentLockNeedsItsConfirmation) {
    SimTag tag = SimTag::WithEpc(kPlain);
    tag.reserved = {0, 0, 0, 0, 0x11, 0x22, 0x33, 0x44};
    OpenSession({tag});
    const std::size_t before = reader->Requests().size();
    const Outcome refused = session.Lock(kPlain, 4, 3, kPassword, false);
    EXPECT_EQ(refused.ending, Ending::kNotSent);
    EXPECT_EQ(reader->Requests().size(), before);
    EXPECT_TRUE(session.Lock(kPlain, 4, 2, kPassword, false).Done());
    EXPECT_EQ(reader->Tags()[0].locks[kvara::sim::kAreaUser],
              kvara::sim::LockState::kPasswordProtected);
    EXPECT_TRUE(session.Lock(kPlain, 4, 3, kPassword, true).Done());
    EXPECT_EQ(reader->Tags()[0].locks[kvara::sim::kAreaUser], kvara::sim::LockState::kPermaLocked);
    EXPECT_TRUE(kvara::tags::IsPermanentAction(*kvara::tags::ActionNamed("permaunlocked")));
    EXPECT_FALSE(kvara::tags::IsPermanentAction(*kvara::tags::ActionNamed("locked")));
}

// The EPC write: the PC's length bits name the new EPC, its other bits stay, the read-back
// proves it; a write whose answer was lost is settled by the read-back.
TEST_F(TagSessionTest, TheEpcWriteIsProvenByReadingBack) {
    SimTag tag = SimTag::WithEpc(kPlain);
    tag.epcBank[2] |= kvara::kPcUserMemoryBit;
    tag.epcBank[3] = 0xA5;
    OpenSession({tag});
    const ByteBuffer shorter = {0x30, 0x74, 0x25, 0x7B, 0xF7, 0x19, 0x4E, 0x40};
    kvara::tags::EpcWritten written;
    ASSERT_TRUE(session.WriteEpc(kPlain, shorter, std::nullopt, &written).Done());
    EXPECT_TRUE(written.proven);
    EXPECT_EQ(written.pc, (ByteBuffer{0x24, 0xA5}));  // 4 words, User memory bit and AFI kept
    EXPECT_EQ(reader->Tags()[0].Epc(), shorter);

    // The answer to the write is lost; the tag took the EPC all the same.
    reader->PushFault(SimFault{.silent = true, .forCommand = 0xC4});
    EXPECT_TRUE(session.WriteEpc(shorter, kSgtin, std::nullopt, &written).Done());
    EXPECT_TRUE(written.proven);
    EXPECT_EQ(reader->Tags()[0].Epc(), kSgtin);

    // Refused: the tag keeps its EPC and the outcome says so.
    reader->PushFault(SimFault{.status = 0x1B, .refuse = true, .forCommand = 0xC4});
    const Outcome locked = session.WriteEpc(kSgtin, kPlain, std::nullopt);
    EXPECT_EQ(locked.ending, Ending::kRefused);
    EXPECT_EQ(locked.step, Step::kWrite);
    EXPECT_EQ(locked.code, 0x1B);
    EXPECT_EQ(reader->Tags()[0].Epc(), kSgtin);
    EXPECT_EQ(session.WriteEpc(kSgtin, {0x30}, std::nullopt).ending, Ending::kNotSent);
}

// The four endings: done, refused by the reader, not sent, outcome unknown.
TEST_F(TagSessionTest, EachEndingIsToldApart) {
    OpenSession({SimTag::WithEpc(kPlain)});
    reader->PushFault(SimFault{.status = 0x1C, .refuse = true, .forCommand = 0xC4});
    const Outcome refused = session.Write(kPlain, KVARA_BANK_USER, 0, {1, 2}, std::nullopt);
    EXPECT_EQ(refused.ending, Ending::kRefused);
    EXPECT_EQ(refused.code, 0x1C);

    reader->PushFault(SimFault{.silent = true, .forCommand = 0xC4});
    const Outcome unknown = session.Write(kPlain, KVARA_BANK_USER, 0, {1, 2}, std::nullopt);
    EXPECT_EQ(unknown.ending, Ending::kUnknown);
    EXPECT_EQ(unknown.code, KVARA_ERROR_TIMEOUT);

    const Outcome noTag = session.Write({0xDE, 0xAD}, KVARA_BANK_USER, 0, {1, 2}, std::nullopt);
    EXPECT_EQ(noTag.step, Step::kSelect);
    EXPECT_EQ(noTag.ending, Ending::kRefused);

    // An owner that stops: the command never goes out.
    int handle = session.Handle();
    TagSession borrowed([&handle] { return handle; });
    EXPECT_TRUE(borrowed.Write(kPlain, KVARA_BANK_USER, 0, {7, 7}, std::nullopt).Done());
    handle = 0;
    const std::size_t before = reader->Requests().size();
    const Outcome stopped = borrowed.Write(kPlain, KVARA_BANK_USER, 0, {8, 8}, std::nullopt);
    EXPECT_EQ(stopped.ending, Ending::kNotSent);
    EXPECT_EQ(reader->Requests().size(), before);
    EXPECT_EQ(reader->Tags()[0].user[0], 7);
}

// The window's rules for an empty EPC: a select without EPC goes out (the reader then addresses
// any tag, not the one selected before), and a first tag without EPC is listed. By default
// neither happens.
TEST_F(TagSessionTest, EmptyEpcRulesOfTheWindow) {
    SimTag plain = SimTag::WithEpc(kPlain);
    plain.user = {1, 2};
    OpenSession({SimTag::WithEpc({}), plain});
    int handle = session.Handle();
    TagSession window([&handle] { return handle; },
                      {.selectSendsNone = true, .listFirstEmpty = true});

    Inventory inventory;
    ASSERT_TRUE(session.RunInventory(&inventory).Done());
    EXPECT_EQ(inventory.reported, 2);
    EXPECT_TRUE(inventory.entries.empty());
    ASSERT_TRUE(window.RunInventory(&inventory).Done());
    EXPECT_EQ(inventory.reported, 2);
    ASSERT_EQ(inventory.entries.size(), 2u);
    EXPECT_TRUE(inventory.entries[0].epc.empty());
    EXPECT_EQ(inventory.entries[1].epc, kPlain);

    // After the plain tag was selected, an empty EPC keeps it addressed by default; the window
    // addresses any tag again, and with two tags in the field the reader refuses.
    ByteBuffer data;
    ASSERT_TRUE(session.Read(kPlain, KVARA_BANK_USER, 0, 2, 2, std::nullopt, &data).Done());
    const std::size_t selects = RequestsOf(0xC2);
    EXPECT_TRUE(session.Read({}, KVARA_BANK_USER, 0, 2, 2, std::nullopt, &data).Done());
    EXPECT_EQ(data, plain.user);
    EXPECT_EQ(RequestsOf(0xC2), selects);
    const Outcome any = window.Read({}, KVARA_BANK_USER, 0, 2, 2, std::nullopt, &data);
    EXPECT_EQ(RequestsOf(0xC2), selects + 1);
    EXPECT_TRUE(LastRequestOf(0xC2).payload.empty());
    EXPECT_EQ(any.step, Step::kRead);
    EXPECT_EQ(any.ending, Ending::kRefused);
    EXPECT_EQ(any.code, kvara::sim::kStatusCollision);

    // Stopped by its owner, the select without EPC does not go out either.
    handle = 0;
    EXPECT_EQ(window.Select({}).ending, Ending::kNotSent);
    EXPECT_EQ(RequestsOf(0xC2), selects + 1);
}

TEST(TagNames, BanksAreasActionsAndInterfaceNames) {
    EXPECT_EQ(kvara::tags::BankNamed("user"), 3);
    EXPECT_EQ(kvara::tags::AreaNamed("access"), 1);
    EXPECT_EQ(kvara::tags::ActionNamed("permalocked"), 3);
    EXPECT_FALSE(kvara::tags::ActionNamed("Locked"));
    EXPECT_EQ(kvara::tags::ReaderNameOf("LAN: 10.0.0.1-10001"), "10.0.0.1-10001");
    EXPECT_EQ(kvara::tags::ReaderNameOf("/dev/ttyACM0"), "/dev/ttyACM0");
    EXPECT_EQ(kvara::tags::EndingOf(KVARA_ERROR_OUT_OF_STEP), Ending::kNotSent);
    EXPECT_EQ(kvara::tags::EndingOf(KVARA_ERROR_CHECKSUM), Ending::kUnknown);
    EXPECT_EQ(kvara::tags::EndingOf(23), Ending::kRefused);
}

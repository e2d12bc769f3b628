// SPDX-License-Identifier: MIT
// A reader as the window and the command line use it for tags: the inventory decoded into
// entries, and every operation on a tag as "select it, then act", with the access password
// used when one is given. Every operation ends with one Outcome.
//
// The session either owns a reader it opened itself (the command line) or asks its owner for
// the handle before every command (the window, which may close its reader or cancel an
// operation between two commands: a handle of 0 then stops the operation before its next
// command, which counts as not sent).
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "common/bytes.h"
#include "tags/outcome.h"

namespace kvara::tags {

// An access password (4 bytes), or none.
using Password = std::optional<ByteBuffer>;

// The serial line settings of an open.
struct LineOptions {
    int baudRate = 19200;
    int parity = 0;  // 0 none, 1 even, 2 odd, 3 none with two stop bits
    int timeoutMs = 500;
    int address = 1;
};

// One tag an inventory found.
struct InventoryEntry {
    ByteBuffer epc;
    std::uint16_t pc = 0;
    std::uint16_t crc = 0;    // the CRC the tag stores over its PC and EPC
    std::string gs1Identity;  // the pure-identity URI; empty for an EPC that is no GS1 EPC
};

struct Inventory {
    int reported = 0;  // the count the reader's first answer gave
    std::vector<InventoryEntry> entries;
};

// Where the window and the command line treat an empty EPC differently.
struct EmptyEpcRules {
    // Select() with an empty EPC sends the select command without an EPC, so that the reader
    // addresses any tag again instead of the one an earlier select named; otherwise nothing is
    // sent and that earlier select stays in effect.
    bool selectSendsNone = false;
    // A first inventory answer that reports a tag with an empty EPC (its PC codes no EPC words)
    // lists that tag and goes on to the next; otherwise it ends the inventory with no entries.
    bool listFirstEmpty = false;
};

// How an EPC write went: the PC written, and whether reading back proved it.
struct EpcWritten {
    ByteBuffer pc;
    bool proven = false;
};

class TagSession {
public:
    // A session that opens its own reader with Open().
    TagSession() = default;
    // A session on its owner's reader: handle() before every command; 0 stops.
    explicit TagSession(std::function<int()> handle, EmptyEpcRules rules = {});
    ~TagSession();
    TagSession(const TagSession&) = delete;
    TagSession& operator=(const TagSession&) = delete;

    // Opens the reader by its interface name as the window lists and saves it ("LAN: ..." and
    // "USB: ..." are dropped). The result of KvaraOpenPort: a handle above 0, or its negative
    // value.
    int Open(const std::string& interfaceName, const LineOptions& line);
    // Why the last Open on this thread failed, in English (the library's words); empty after
    // one that succeeded.
    static std::string OpenError();
    // The handle for the next command; 0 when there is none or the owner stopped.
    int Handle() const;

    // Every tag in the field, in the order the reader reports them.
    Outcome RunInventory(Inventory* inventory);

    // Addresses the tag with this EPC; an empty EPC addresses none (the one tag in the field),
    // with or without a command as the rules say.
    Outcome Select(const ByteBuffer& epc);
    // Selects the tag, then reads count bytes from the word address of the bank; count 0 reads
    // to the end of the bank, at most capacity bytes.
    Outcome Read(const ByteBuffer& epc, int bank, int word, int count, int capacity,
                 const Password& password, ByteBuffer* data);
    // Selects the tag, then writes the bytes at the word address of the bank.
    Outcome Write(const ByteBuffer& epc, int bank, int word, const ByteBuffer& data,
                  const Password& password);
    // Selects the tag, then locks the area (KVARA_LOCK_AREA_*) with the action. A permanent
    // action is refused here unless permanentConfirmed: it can never be undone on the tag.
    Outcome Lock(const ByteBuffer& epc, int area, int action, const ByteBuffer& password,
                 bool permanentConfirmed);
    // The kill (false) or access (true) password of the tag.
    Outcome ReadPassword(const ByteBuffer& epc, bool access, const Password& password,
                         ByteBuffer* value);
    Outcome WritePassword(const ByteBuffer& epc, bool access, const ByteBuffer& value,
                          const Password& password);
    // Writes a new EPC with a PC word whose length bits name it, the PC's other bits as the
    // tag had them, and proves it by reading the EPC bank back under the new EPC. When the
    // write's own answer is lost, the read-back settles it: a tag that took the EPC counts as
    // done.
    Outcome WriteEpc(const ByteBuffer& oldEpc, const ByteBuffer& newEpc, const Password& password,
                     EpcWritten* written = nullptr);
    // Writes the PC word as given and the EPC after it (word 1 of the EPC bank), as the
    // window's fields say; no read-back.
    Outcome WritePcAndEpc(const ByteBuffer& epc, const ByteBuffer& pc, const ByteBuffer& newEpc,
                          const Password& password);
    // Switches the reader's RF field off or on.
    Outcome SetField(bool on);

private:
    std::function<int()> m_handle;
    EmptyEpcRules m_rules;
    int m_owned = 0;
};

// Whether a lock action can never be undone on the tag (permanently unlocked or locked): such
// an action needs the user's second confirmation, with No as the default.
bool IsPermanentAction(int action);

// Names of banks, lock areas and actions as the command line and the job files write them;
// nothing for another name.
std::optional<int> BankNamed(const std::string& name);    // reserved, epc, tid, user
std::optional<int> AreaNamed(const std::string& name);    // kill, access, epc, tid, user
std::optional<int> ActionNamed(const std::string& name);  // unlocked, permaunlocked, locked,
                                                          // permalocked

// The name the reader API opens for an interface as the window lists and saves it.
std::string ReaderNameOf(const std::string& interfaceName);

}  // namespace kvara::tags

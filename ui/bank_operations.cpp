// SPDX-License-Identifier: MIT
#include "ui/bank_operations.h"

#include <algorithm>

#include "common/string_table.h"
#include "protocol/tag_memory.h"
#include "reader/kvara.h"
#include "ui/chip_catalog.h"
#include "ui/field_text.h"
#include "ui/field_values.h"
#include "ui/input_checks.h"
#include "ui/main_logic.h"
#include "ui/origin_marks.h"
#include "ui/reader_connection.h"
#include "ui/sperren_dlg.h"
#include "ui/status_reporter.h"
#include "ui/tag_list.h"
#include "ui/tag_reads.h"
#include "ui/write_questions.h"

namespace kvara {

namespace {

// Word addresses of the EPC bank: the PC word, then the EPC.
constexpr int kPcWord = static_cast<int>(kEpcBankPcOffset / 2);

}  // namespace

tags::TagSession& BankOperations::Session() {
    return m_reader.Session();
}

void BankOperations::ReadAll() {
    // A password that cannot be used stops everything before anything is sent.
    tags::Password password;
    FieldValues& values = m_values;
    if (!m_checks.GroupPassword(values.epcUsePassword, values.epcPassword, tr("EPC"), &password) ||
        !m_checks.GroupPassword(values.userUsePassword, values.userPassword, tr("User Memory"),
                                &password) ||
        !m_checks.GroupPassword(values.resUsePassword, values.resPassword, tr("Reserved"),
                                &password)) {
        return;
    }
    // The tag the user chose is read, when it is still in the field.
    const ByteBuffer chosen = m_tags.Selected();
    ReaderConnection::Operation operation(m_reader);
    const bool hadReader = m_reader.Handle() != 0;
    if (m_tags.RunInventory() && !chosen.empty()) {
        m_tags.SelectListed(chosen);
    }
    // A reader that went away, or a cancel, ends the reads: the status line keeps why.
    auto goOn = [this, hadReader] { return !hadReader || m_reader.CommandHandle() != 0; };
    if (goOn()) {
        ReadEpc();
    }
    if (goOn()) {
        ReadTid();
    }
    if (goOn()) {
        values.userStart = 0;
        ReadUser(0, 0);
    }
    if (goOn()) {
        ReadPassword(true);
    }
    if (goOn()) {
        ReadPassword(false);
    }
    m_refresh();
}

void BankOperations::ReadEpc() {
    FieldValues& values = m_values;
    FieldOrigins& origins = m_marks.Origins();
    tags::Password password;
    if (!m_checks.GroupPassword(values.epcUsePassword, values.epcPassword, tr("EPC"), &password)) {
        return;
    }
    ByteBuffer read;
    const tags::Outcome outcome =
        Session().Read(m_tags.Selected(), KVARA_BANK_EPC, 0, 0, kBufferBytes, password, &read);
    if (m_status.Report(TagAct::kRead, outcome, !read.empty())) {
        values.crc.clear();
        values.pc.clear();
        values.epcData.clear();
        values.epcLength = 0;
        origins.Clear(FieldGroup::kEpc);
        m_reads.Forget(KVARA_BANK_EPC);
        return;
    }
    m_reads.Record(m_tags.Selected(), KVARA_BANK_EPC, 0, read);
    origins.Set(FieldGroup::kEpc, m_tags.Selected());
    const EpcBank bank = DecodeEpcBank(read);
    values.crc = Hex(bank.crcBytes);
    if (bank.pc) {
        values.pc = Hex(bank.pcBytes);
        values.epcUseLength = bank.pc->epcBytes;
        values.afi = bank.pc->afi;
        values.iso = bank.pc->isoToggle;
        values.epcData = Hex(bank.epc);
        values.epcLength = static_cast<int>(bank.epc.size());
    } else {
        values.pc.clear();
        values.afi = 0;
        values.iso = false;
        values.epcLength = 0;
        values.epcData.clear();
    }
}

void BankOperations::WriteEpc() {
    FieldValues& values = m_values;
    tags::Password password;
    if (!m_checks.SelectionUsable() || !m_checks.HexFieldUsable(values.epcData, tr("EPC")) ||
        !m_checks.GroupPassword(values.epcUsePassword, values.epcPassword, tr("EPC"), &password)) {
        return;
    }
    const ByteBuffer epc = ParseHex(values.epcData, values.epcData.size());
    if (epc.size() > static_cast<std::size_t>(kMaxUseLength)) {
        m_status.Show(tr("„EPC“: %1 Byte, der PC kann höchstens %2 Byte angeben: es wurde "
                         "nichts geschrieben")
                          .arg(epc.size())
                          .arg(kMaxUseLength),
                      0);
        return;
    }
    if (!m_questions.ConfirmOrigin(FieldGroup::kEpc, tr("EPC")) ||
        !m_questions.ConfirmDuplicateEpc()) {
        return;
    }
    // Without a reader the write ends with "Kein Zugriff auf Gerät möglich"; nothing to ask.
    if (m_reader.Handle() != 0 && !m_questions.SettleUseLength(epc.size())) {
        m_refresh();
        return;
    }
    WriteEpcAndRefind(epc, password);
    m_refresh();
}

ByteBuffer BankOperations::PcToWrite(const tags::Password& password) {
    ByteBuffer pc = {0, 0};
    if (!m_values.pc.isEmpty()) {
        const ByteBuffer parsed = ParseHex(m_values.pc, 2);
        std::copy(parsed.begin(), parsed.end(), pc.begin());
    } else {
        ByteBuffer read;
        const tags::Outcome outcome =
            Session().Read(m_tags.Selected(), KVARA_BANK_EPC, kPcWord, static_cast<int>(kPcBytes),
                           static_cast<int>(kPcBytes), password, &read);
        if (outcome.Done() && read.size() == kPcBytes) {
            pc = read;
        }
    }
    pc[0] = PcWithToggle(PcWithLength(m_values.epcUseLength, pc[0], kPcUserMemoryBit | kPcXpcBit),
                         m_values.iso);
    pc[1] = static_cast<std::uint8_t>(m_values.afi & 0xFF);
    return pc;
}

void BankOperations::WriteEpcAndRefind(const ByteBuffer& epc, const tags::Password& password) {
    // The tag answers an inventory under its EPC as the PC word's length field cuts it.
    const std::size_t coded = static_cast<std::size_t>(m_values.epcUseLength / 2 * 2);
    const ByteBuffer answersAs(epc.begin(), epc.begin() + std::min(coded, epc.size()));
    if (!m_questions.ConfirmEpcOfAnotherTag(answersAs)) {
        return;
    }
    ReaderConnection::Operation operation(m_reader);
    const ByteBuffer pc = PcToWrite(password);
    const QString addressedBefore = m_tags.SelectedText();
    const ByteBuffer tagBefore = m_tags.Selected();
    // Whatever the write does, the bank read before is not the tag's now.
    m_reads.Forget(KVARA_BANK_EPC);
    const tags::Outcome outcome = Session().WritePcAndEpc(tagBefore, pc, epc, password);
    m_status.Report(TagAct::kWrite, outcome);
    if (outcome.Done()) {
        // The tag computes a new CRC over the new PC and EPC: the old one is no longer its.
        m_values.crc.clear();
        m_values.pc = Hex(pc);
        if (coded <= epc.size()) {
            // What was read from the tag is the tag's under its new EPC.
            m_marks.Origins().Renamed(tagBefore, answersAs);
            m_reads.Renamed(tagBefore, answersAs);
            m_marks.Origins().Set(FieldGroup::kEpc, answersAs);
        }
    }
    // The inventory that finds the tag again reports on the status line itself; the write's
    // result is what the user needs to see, so it stays there.
    const QString writeResult = m_status.Text();
    m_tags.Refind(Hex(answersAs), coded > epc.size(), addressedBefore);
    m_status.SetText(writeResult);
}

void BankOperations::ReadTid() {
    FieldValues& values = m_values;
    ByteBuffer tid;
    const tags::Outcome outcome =
        Session().Read(m_tags.Selected(), KVARA_BANK_TID, 0, 0, kBufferBytes, std::nullopt, &tid);
    const bool failed = m_status.Report(TagAct::kRead, outcome, !tid.empty());
    if (failed || tid.size() < 2) {
        values.tid.clear();
        values.tidLength = 0;
        values.manufacturer.clear();
        values.model.clear();
        values.tidNumbers.clear();
        m_marks.Origins().Clear(FieldGroup::kTid);
        m_reads.Forget(KVARA_BANK_TID);
        return;
    }
    m_reads.Record(m_tags.Selected(), KVARA_BANK_TID, 0, tid);
    m_marks.Origins().Set(FieldGroup::kTid, m_tags.Selected());
    values.tid = Hex(tid);
    values.tidLength = static_cast<int>(tid.size());
    const TidIdentity identity = TidIdentityOf(tid, ChipCatalog());
    values.manufacturer = FromUtf8(identity.manufacturer);
    values.model = FromUtf8(identity.model);
    values.tidNumbers = FromUtf8(identity.numbers);
}

void BankOperations::ReadUser(int start, int length) {
    FieldValues& values = m_values;
    FieldOrigins& origins = m_marks.Origins();
    tags::Password password;
    if (!m_checks.GroupPassword(values.userUsePassword, values.userPassword, tr("User Memory"),
                                &password)) {
        return;
    }
    // A length beyond the buffer is read as far as the buffer goes.
    ByteBuffer data;
    const tags::Outcome outcome =
        Session().Read(m_tags.Selected(), KVARA_BANK_USER, start / 2,
                       std::clamp(length, 0, kBufferBytes), kBufferBytes, password, &data);
    int newLength = 0;
    if (m_status.Report(TagAct::kRead, outcome, !data.empty())) {
        values.userData.clear();
        origins.Clear(FieldGroup::kUser);
        m_reads.Forget(KVARA_BANK_USER);
    } else {
        values.userData = data.size() < 2 ? QString() : Hex(data);
        newLength = static_cast<int>(data.size());
        origins.Set(FieldGroup::kUser, m_tags.Selected());
        if (data.size() < 2) {
            m_reads.Forget(KVARA_BANK_USER);
        } else {
            m_reads.Record(m_tags.Selected(), KVARA_BANK_USER, start, data);
        }
    }
    values.userLength = newLength;
}

void BankOperations::WriteUser() {
    FieldValues& values = m_values;
    tags::Password password;
    if (!m_checks.SelectionUsable() || !m_checks.HexFieldUsable(values.userData, tr("Daten")) ||
        !m_checks.GroupPassword(values.userUsePassword, values.userPassword, tr("User Memory"),
                                &password)) {
        return;
    }
    ByteBuffer data = ParseHex(values.userData, values.userData.size());
    if (data.size() > static_cast<std::size_t>(kBufferBytes)) {
        m_status.Show(tr("„Daten“: %1 Byte, höchstens %2 Byte auf einmal: es wurde nichts "
                         "geschrieben")
                          .arg(data.size())
                          .arg(kBufferBytes),
                      0);
        return;
    }
    if (values.userLength > kBufferBytes) {
        m_status.Show(tr("„Länge“: höchstens %1 Byte auf einmal: es wurde nichts geschrieben")
                          .arg(kBufferBytes),
                      0);
        return;
    }
    if (!m_questions.ConfirmOrigin(FieldGroup::kUser, tr("Daten")) ||
        !m_questions.ConfirmDuplicateEpc()) {
        return;
    }
    if (static_cast<int>(data.size()) != values.userLength &&
        !m_questions.SettleUserLength(&data)) {
        m_refresh();
        return;
    }
    ReaderConnection::Operation operation(m_reader);
    if (data.empty()) {
        m_questions.ShowNothingWritten();
    } else if (WriteUserWords(data, password)) {
        // What the field shows now stands on the selected tag.
        m_marks.Origins().Set(FieldGroup::kUser, m_tags.Selected());
    }
    m_refresh();
}

bool BankOperations::WriteUserWords(const ByteBuffer& data, const tags::Password& password) {
    const int start = m_values.userStart;
    // Only the words that differ from what was last read from this tag at these addresses go to
    // it; without such a read (or with the tag's EPC on several tags) everything does.
    std::vector<ByteRun> runs = {{0, data.size()}};
    const ByteBuffer tag = m_tags.Selected();
    int knownStart = 0;
    ByteBuffer known;
    if (m_reads.InventoryCount(tag) <= 1 && m_reads.UserRead(tag, &knownStart, &known)) {
        runs = ChangedWordRuns(start, data, knownStart, known);
    }
    // What stands on the tag now is the write's to say; the next write compares with a new read.
    m_reads.Forget(KVARA_BANK_USER);
    const int words = WordsOf(data.size());
    int written = 0;
    for (const ByteRun& run : runs) {
        const auto from = data.begin() + static_cast<std::ptrdiff_t>(run.offset);
        const tags::Outcome outcome = Session().Write(
            tag, KVARA_BANK_USER, (start + static_cast<int>(run.offset)) / 2,
            ByteBuffer(from, from + static_cast<std::ptrdiff_t>(run.length)), password);
        if (m_status.Report(TagAct::kWrite, outcome)) {
            if (m_status.Stopped(outcome) == NoHandle::kCancelled && written > 0) {
                m_status.Show(
                    tr("Abgebrochen: %1 von %2 Wörtern geschrieben").arg(written).arg(words), 0);
            }
            return false;
        }
        written += WordsOf(run.length);
    }
    if (runs.empty()) {
        m_status.Show(
            tr("Keine Änderung gegenüber dem zuletzt Gelesenen: 0 von %1 Wörtern geschrieben")
                .arg(words),
            0);
    } else {
        m_status.Show(
            tr("Schreiben erfolgreich: %1 von %2 Wörtern geschrieben").arg(written).arg(words), 0);
    }
    return true;
}

void BankOperations::ReadPassword(bool access) {
    FieldValues& values = m_values;
    tags::Password password;
    if (!m_checks.GroupPassword(values.resUsePassword, values.resPassword, tr("Reserved"),
                                &password)) {
        return;
    }
    const FieldGroup group = access ? FieldGroup::kAccess : FieldGroup::kKill;
    const int byteAddress = static_cast<int>(access ? kReservedAccessOffset : kReservedKillOffset);
    ByteBuffer value;
    const tags::Outcome outcome =
        Session().ReadPassword(m_tags.Selected(), access, password, &value);
    const bool failed = m_status.Report(TagAct::kRead, outcome, !value.empty());
    const bool whole = !failed && value.size() == kPasswordBytes;
    (access ? values.accessPassword : values.killPassword) = whole ? Hex(value) : QString();
    if (whole) {
        m_marks.Origins().Set(group, m_tags.Selected());
        m_reads.Record(m_tags.Selected(), KVARA_BANK_RESERVED, byteAddress, value);
    } else {
        m_marks.Origins().Clear(group);
        m_reads.Forget(KVARA_BANK_RESERVED, byteAddress);
    }
}

void BankOperations::WritePassword(bool access) {
    FieldValues& values = m_values;
    const QString name = access ? tr("Access-Passwort") : tr("Kill-Passwort");
    const QString text = access ? values.accessPassword : values.killPassword;
    tags::Password resPassword;
    if (!m_checks.SelectionUsable() || !m_checks.HexFieldUsable(text, name) ||
        !m_checks.GroupPassword(values.resUsePassword, values.resPassword, tr("Reserved"),
                                &resPassword)) {
        m_refresh();
        return;
    }
    const ByteBuffer password = ParseHex(text, kBufferBytes);
    if (password.size() != kPasswordBytes) {
        m_status.Show(FromUtf8(LoadString(124)), 0);
        m_refresh();
        return;
    }
    const FieldGroup group = access ? FieldGroup::kAccess : FieldGroup::kKill;
    if (!m_questions.ConfirmOrigin(group, name) || !m_questions.ConfirmDuplicateEpc()) {
        m_refresh();
        return;
    }
    ReaderConnection::Operation operation(m_reader);
    m_reads.Forget(KVARA_BANK_RESERVED,
                   static_cast<int>(access ? kReservedAccessOffset : kReservedKillOffset));
    const tags::Outcome outcome =
        Session().WritePassword(m_tags.Selected(), access, password, resPassword);
    if (!m_status.Report(TagAct::kWrite, outcome)) {
        m_marks.Origins().Set(group, m_tags.Selected());
        if (access) {
            // The next protected operation uses the new password. Written as eight digits
            // without blanks, as the password fields show a password typed whole.
            const QString compact = Hex(password).remove(QLatin1Char(' '));
            values.epcPassword = compact;
            values.userPassword = compact;
            values.resPassword = compact;
        }
    }
    m_refresh();
}

std::optional<ByteBuffer> BankOperations::LockPassword(const QString& text) {
    if (!m_checks.HexFieldUsable(text, tr("Passwort"))) {
        return std::nullopt;
    }
    ByteBuffer password = ParseHex(text, kBufferBytes);
    if (password.size() != kPasswordBytes) {
        m_status.Show(FromUtf8(LoadString(124)), 0);
        return std::nullopt;
    }
    return password;
}

void BankOperations::Lock() {
    CSperrenDlg dialog(m_window);
    dialog.SetPassword(m_values.accessPassword);  // as it stood after the last operation
    if (dialog.exec() != kLockExecute) {
        return;
    }
    // The password must be four bytes of hex text; otherwise the dialog comes again with what
    // the user left in it.
    std::optional<ByteBuffer> password = LockPassword(dialog.Password());
    while (!password) {
        if (dialog.exec() != kLockExecute) {
            return;
        }
        password = LockPassword(dialog.Password());
    }
    if (!m_checks.SelectionUsable() || !m_questions.ConfirmLock(dialog, *password)) {
        return;
    }
    ReaderConnection::Operation operation(m_reader);
    // ConfirmLock asked about a permanent action: it is confirmed here.
    m_status.Report(TagAct::kLock, Session().Lock(m_tags.Selected(), dialog.Area(),
                                                  dialog.Protection(), *password, true));
}

}  // namespace kvara

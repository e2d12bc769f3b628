// SPDX-License-Identifier: MIT
#include "ui/tag_list.h"

#include "ui_main_dialog.h"

#include "reader/errors.h"
#include "reader/kvara.h"
#include "ui/busy.h"
#include "ui/field_text.h"
#include "ui/field_values.h"
#include "ui/origin_marks.h"
#include "ui/reader_connection.h"
#include "ui/status_reporter.h"
#include "ui/tag_reads.h"

namespace kvara {

namespace {

constexpr int kRefindPasses = 6;
constexpr int kRfPauseMs = 200;

}  // namespace

TagList::TagList(Ui::CKvara_ProgrammerDlg& form, ReaderConnection& reader, StatusReporter& status,
                 TagReads& reads, FieldValues& values, const OriginMarks& marks)
    : m_form(form),
      m_reader(reader),
      m_status(status),
      m_reads(reads),
      m_values(values),
      m_marks(marks) {
    QObject::connect(form.epcList, &QListWidget::currentTextChanged, &m_receiver,
                     [this](const QString& text) { OnCurrentTextChanged(text); });
    // A click on the tag that is highlighted already addresses it again, over a typed EPC.
    QObject::connect(form.epcList, &QListWidget::itemClicked, &m_receiver,
                     [this](QListWidgetItem* item) { OnTagClicked(item); });
    QObject::connect(form.epcList, &QListWidget::itemActivated, &m_receiver,
                     [this](QListWidgetItem* item) { OnTagClicked(item); });
}

void TagList::OnCurrentTextChanged(const QString& text) {
    if (text.isEmpty()) {
        return;
    }
    m_form.epcEdit->setText(text);
    // A tag chosen in the list: the status line names it, and says when fields still show
    // another tag's data.
    m_status.Show(m_marks.AnyMarked() ? tr("Ausgewählt: %1 – die markierten Felder zeigen Daten "
                                           "eines anderen Transponders")
                                            .arg(text)
                                      : tr("Ausgewählt: %1").arg(text),
                  0);
}

void TagList::OnTagClicked(QListWidgetItem* item) {
    if (item != nullptr && !item->text().isEmpty()) {
        m_form.epcEdit->setText(item->text());
    }
}

ByteBuffer TagList::Selected() const {
    return ParseHex(m_form.epcEdit->text(), kSelectCapacity);
}

QString TagList::SelectedText() const {
    return m_form.epcEdit->text();
}

void TagList::Clear() {
    m_reads.SetInventory({});
    m_form.epcList->clear();
    m_form.epcEdit->clear();
    m_values.count = 0;
    SetTextIfDifferent(m_form.countField, QStringLiteral("0"));
}

bool TagList::RunInventory(tags::Outcome* outcome) {
    if (m_reader.Handle() != 0 && m_reader.CommandHandle() == 0) {
        m_status.Show(tr("Abgebrochen"), 0);  // cancelled: no command goes out
        if (outcome != nullptr) {
            *outcome = tags::Outcome::NotSent(tags::Step::kInventory, KVARA_ERROR_NO_PORT);
        }
        return false;
    }
    // The window repaints while each command waits: the list changes only once every answer
    // is in, so that it never shows part of an inventory beside the whole count.
    tags::Inventory inventory;
    const tags::Outcome ended = m_reader.Session().RunInventory(&inventory);
    if (outcome != nullptr) {
        *outcome = ended;
    }
    if (!ended.Done()) {
        Clear();
        m_status.SetText(FromUtf8(ErrorText(ended.code)));
        if (ended.code == KVARA_ERROR_TIMEOUT) {
            m_status.CheckReader();
        }
        return false;
    }
    if (inventory.entries.empty()) {
        Clear();
        m_status.Show(tr("Kein Transponder gefunden"), 0);
        return false;
    }
    std::vector<ByteBuffer> found;
    for (const tags::InventoryEntry& entry : inventory.entries) {
        found.push_back(entry.epc);
    }
    m_reads.SetInventory(std::move(found));
    m_values.count = inventory.reported;
    SetTextIfDifferent(m_form.countField, QString::number(m_values.count));
    m_form.epcList->clear();
    for (const ByteBuffer& epc : m_reads.Inventory()) {
        m_form.epcList->addItem(Hex(epc));
    }
    m_form.epcList->setCurrentRow(0);
    m_form.epcEdit->setText(m_form.epcList->item(0)->text());
    m_status.Show(tr("Transponder gefunden: %1").arg(m_reads.Inventory().size()), 0);
    return true;
}

bool TagList::SelectListed(const ByteBuffer& epc) {
    const QString text = Hex(epc);
    for (int row = 0; row < m_form.epcList->count(); ++row) {
        if (m_form.epcList->item(row)->text() == text) {
            m_form.epcList->setCurrentRow(row);
            m_form.epcEdit->setText(text);
            return true;
        }
    }
    return false;
}

QListWidgetItem* TagList::Listed(const QString& epc, bool prefix) const {
    for (int row = 0; row < m_form.epcList->count(); ++row) {
        const QString listed = m_form.epcList->item(row)->text();
        if (listed == epc || (prefix && listed.startsWith(epc + QLatin1Char(' ')))) {
            return m_form.epcList->item(row);
        }
    }
    return nullptr;
}

void TagList::Refind(const QString& writtenEpc, bool writtenIsPrefix,
                     const QString& addressedBefore) {
    // Another tag in the field does not end the search: it goes on until the written tag (or,
    // after a failed write, the tag as it was) answers.
    tags::TagSession& session = m_reader.Session();
    for (int pass = 0; pass < kRefindPasses && m_reader.CommandHandle() != 0; ++pass) {
        session.SetField(false);
        PauseMs(kRfPauseMs);
        if (m_reader.Stopping()) {
            // Stopped with the field off (cancelled, or the window closing): a reader left so
            // finds no tag any more, in this program or the next, so the field goes on first.
            m_reader.SwitchFieldOn();
            return;
        }
        session.SetField(true);
        PauseMs(kRfPauseMs);
        tags::Outcome outcome;
        if (!RunInventory(&outcome)) {
            // A reader that does not answer (or a cancel) ends the search; an empty field
            // does not.
            if (m_reader.Handle() == 0 || m_reader.CommandHandle() == 0 ||
                outcome.code == KVARA_ERROR_TIMEOUT) {
                return;
            }
            continue;
        }
        QListWidgetItem* found = Listed(writtenEpc, writtenIsPrefix);
        if (found == nullptr) {
            found = Listed(addressedBefore, false);
        }
        if (found != nullptr) {
            m_form.epcList->setCurrentItem(found);
            m_form.epcEdit->setText(found->text());
            return;
        }
    }
}

}  // namespace kvara

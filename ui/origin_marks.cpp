// SPDX-License-Identifier: MIT
#include "ui/origin_marks.h"

#include "ui_main_dialog.h"

#include "ui/field_text.h"

namespace kvara {

namespace {

QByteArray Bytes(const ByteBuffer& bytes) {
    return QByteArray(reinterpret_cast<const char*>(bytes.data()),
                      static_cast<qsizetype>(bytes.size()));
}

}  // namespace

OriginMarks::OriginMarks(const Ui::CKvara_ProgrammerDlg& form, std::function<ByteBuffer()> selected)
    : m_selected(std::move(selected)) {
    m_boxes[static_cast<int>(FieldGroup::kEpc)] = form.epcGroup;
    m_boxes[static_cast<int>(FieldGroup::kTid)] = form.tidGroup;
    m_boxes[static_cast<int>(FieldGroup::kUser)] = form.userGroup;
    m_boxes[static_cast<int>(FieldGroup::kKill)] = form.resGroup;
    m_boxes[static_cast<int>(FieldGroup::kAccess)] = form.resGroup;
    for (int group = 0; group < kFieldGroups; ++group) {
        m_titles[group] = m_boxes[group]->title();
    }
    // The fields a mark tints: those that hold the tag's data, not the passwords to use or the
    // addresses.
    for (QWidget* data : std::initializer_list<QWidget*>{
             form.crcField, form.pcField, form.useLengthField, form.afiField, form.epcLengthField,
             form.epcField, form.tidField, form.tidLengthField, form.manufacturerField,
             form.modelField, form.userDataField, form.killField, form.accessField}) {
        data->setProperty("tagData", true);
    }
    ConnectEdits(form);
}

void OriginMarks::ConnectEdits(const Ui::CKvara_ProgrammerDlg& form) {
    auto edited = [this](FieldGroup group) { return [this, group] { Edited(group); }; };
    for (QLineEdit* field : {form.useLengthField, form.afiField, form.epcField}) {
        QObject::connect(field, &QLineEdit::textChanged, &m_receiver, edited(FieldGroup::kEpc));
    }
    QObject::connect(form.isoCheck, &QCheckBox::clicked, &m_receiver, edited(FieldGroup::kEpc));
    QObject::connect(form.userDataField, &QPlainTextEdit::textChanged, &m_receiver,
                     edited(FieldGroup::kUser));
    QObject::connect(form.killField, &QLineEdit::textChanged, &m_receiver,
                     edited(FieldGroup::kKill));
    QObject::connect(form.accessField, &QLineEdit::textChanged, &m_receiver,
                     edited(FieldGroup::kAccess));
    // Another tag addressed: other groups may now show data of a tag other than the selected.
    QObject::connect(form.epcEdit, &QLineEdit::textChanged, &m_receiver, [this] { Update(); });
}

void OriginMarks::Edited(FieldGroup group) {
    if (m_programWrites) {
        return;
    }
    const ByteBuffer selected = m_selected();
    if (selected.empty()) {
        m_origins.Clear(group);
    } else {
        m_origins.Set(group, selected);
    }
    Update();
}

void OriginMarks::Update() {
    const ByteBuffer selected = m_selected();
    for (int group = 0; group < kFieldGroups; ++group) {
        // The Reserved box holds two groups: marked when either came from another tag.
        bool marked = false;
        ByteBuffer origin;
        for (int other = 0; other < kFieldGroups; ++other) {
            if (m_boxes[other] == m_boxes[group] &&
                m_origins.FromOtherTag(static_cast<FieldGroup>(other), selected)) {
                marked = m_origins.Known(static_cast<FieldGroup>(other), &origin);
                break;
            }
        }
        Mark(group, marked, origin);
    }
}

void OriginMarks::Mark(int group, bool marked, const ByteBuffer& origin) {
    QGroupBox* box = m_boxes[group];
    if (box->property("otherTag").toBool() == marked &&
        (!marked || box->property("originTag").toByteArray() == Bytes(origin))) {
        return;
    }
    box->setProperty("otherTag", marked);
    box->setProperty("originTag", Bytes(origin));
    if (marked) {
        const QString tag = FromUtf8(ShortEpcText(origin));
        box->setTitle(m_titles[group] + tr(" – Daten von Transponder %1").arg(tag));
        box->setToolTip(tr("Diese Felder zeigen Daten von Transponder %1, nicht vom "
                           "ausgewählten Transponder.")
                            .arg(Hex(origin)));
        box->setStyleSheet(
            QStringLiteral("*[tagData=\"true\"] { background-color: #fff0c2; "
                           "color: #000000; }"));
    } else {
        box->setTitle(m_titles[group]);
        box->setToolTip(QString());
        box->setStyleSheet(QString());
    }
}

bool OriginMarks::AnyMarked() const {
    bool marked = false;
    for (QGroupBox* box : m_boxes) {
        marked = marked || box->property("otherTag").toBool();
    }
    return marked;
}

OriginMarks::ProgramWrites::ProgramWrites(OriginMarks& marks)
    : m_marks(marks), m_before(marks.m_programWrites) {
    m_marks.m_programWrites = true;
}

OriginMarks::ProgramWrites::~ProgramWrites() {
    m_marks.m_programWrites = m_before;
}

}  // namespace kvara

#include "viewer/pages/FieldTable.h"

#include "platform/LittleEndian.h"
#include "viewer/controls/ValueEdit.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QSignalBlocker>
#include <QWidget>

#include <algorithm>

namespace orv::viewer {
namespace {

const QString kError = QStringLiteral("Error");

// Checks `button` or clears it, also when it is one of a group of radio buttons.
void SetChecked(QAbstractButton& button, bool checked)
{
    const bool exclusive = button.autoExclusive();
    button.setAutoExclusive(false);
    button.setChecked(checked);
    button.setAutoExclusive(exclusive);
}

} // namespace

QString DecimalText(std::uint32_t value)
{
    return QString::number(value);
}

FieldTable::FieldTable(QWidget& page, Module* module, std::span<const Row> rows)
    : page_(page), module_(module), rows_(rows)
{
    for (QWidget* child : page.findChildren<QWidget*>()) {
        const QByteArray name = child->objectName().toLatin1();
        if (!name.isEmpty() && !widgets_.contains(name)) {
            widgets_.insert(name, child);
        }
    }
    // Every name a row gives must be there.
    for (const Row& row : rows_) {
        if (row.control != nullptr) {
            if (auto* list = qobject_cast<ValueCombo*>(&Widget(row.control)); list != nullptr && !row.entries.empty()) {
                list->SetEntries(row.entries);
            }
        }
        for (const BitBox& box : row.bits) {
            Widget(box.box);
        }
        for (const char* button : row.buttons) {
            Widget(button);
        }
    }
}

QWidget& FieldTable::Widget(const char* name) const
{
    QWidget* widget = widgets_.value(QByteArray(name));
    if (widget == nullptr) {
        qFatal("no control %s on %s", name, qPrintable(page_.objectName()));
    }
    return *widget;
}

Path FieldTable::Resolve(const Path& path, int instance)
{
    return {path.classId, path.instance == kChosenInstance ? instance : path.instance, path.attribute};
}

void FieldTable::Bind(unsigned refresh, int instance, bool release)
{
    for (const Row& row : rows_) {
        if ((row.refresh & refresh) != 0 && row.show == Show::kControl && row.sizeFrom.attribute == 0) {
            BindControl(row, instance, row.size, release);
        }
    }
}

void FieldTable::BindControl(const Row& row, int instance, int size, bool release)
{
    const Path path = Resolve(row.path, instance);
    QWidget& control = Widget(row.control);
    if (auto* edit = qobject_cast<ValueEdit*>(&control)) {
        edit->Bind(module_, path.classId, path.instance, path.attribute, TypeOf(row), size,
                   !release && edit->IsHeld());
    } else if (auto* list = qobject_cast<ValueCombo*>(&control)) {
        list->Bind(module_, path.classId, path.instance, path.attribute, TypeOf(row), size,
                   !release && list->IsHeld());
    }
}

void FieldTable::Refresh(unsigned refresh, int instance)
{
    Read last;
    for (const Row& row : rows_) {
        if ((row.refresh & refresh) == 0) {
            continue;
        }
        const Path path = Resolve(row.path, instance);
        if (row.show != Show::kControl) {
            ShowValue(row, ReadValue(path, TypeOf(row), row.size, last));
            continue;
        }
        last = Read{};
        if (row.sizeFrom.attribute == 0) {
            BindControl(row, instance, row.size, false);
        } else if (!BindSized(row, path, instance)) {
            continue;
        }
        RefreshControl(row);
    }
}

bool FieldTable::BindSized(const Row& row, const Path& path, int instance)
{
    Read none;
    const Read size =
        ReadValue({path.classId, path.instance, row.sizeFrom.attribute}, row.sizeFrom.type, row.sizeFrom.size, none);
    auto* edit = qobject_cast<ValueEdit*>(&Widget(row.control));
    if (!size.ok && row.sizeFrom.errorWhenUnread) {
        // Without its size the value cannot be read.
        if (edit != nullptr && !edit->IsHeld()) {
            ShowUnread(*edit);
        }
        return false;
    }
    const int bytes = size.ok ? static_cast<int>(size.value) : 0;
    if (edit != nullptr && sizedBind_) {
        sizedBind_(row, *edit, path.instance, bytes);
    } else {
        BindControl(row, instance, bytes, false);
    }
    return true;
}

void FieldTable::RefreshControl(const Row& row)
{
    QWidget& control = Widget(row.control);
    if (auto* edit = qobject_cast<ValueEdit*>(&control)) {
        edit->Refresh(KindOf(row));
    } else if (auto* list = qobject_cast<ValueCombo*>(&control)) {
        list->Refresh(KindOf(row));
    }
}

FieldTable::Read FieldTable::ReadValue(const Path& path, int type, int size, Read& last)
{
    if (last.path.classId == path.classId && last.path.instance == path.instance &&
        last.path.attribute == path.attribute) {
        return last;
    }
    item_.Setup(module_, path.classId, path.instance, path.attribute, type, size, {}, 0);
    Read read{path, item_.Read(), 0};
    if (read.ok) {
        std::uint8_t bytes[4] = {};
        const std::size_t count = std::min<std::size_t>(item_.StoredLength(), sizeof bytes);
        item_.GetBytes(bytes, count);
        read.value = platform::GetLe(std::span<const std::uint8_t>(bytes, count));
    }
    last = read;
    return read;
}

void FieldTable::ShowValue(const Row& row, const Read& read)
{
    if (!read.ok) {
        if (row.control != nullptr) {
            ShowUnread(Widget(row.control));
        }
        for (const BitBox& box : row.bits) {
            ShowUnread(Widget(box.box));
        }
        for (const char* button : row.buttons) {
            ShowUnread(Widget(button));
        }
        return;
    }
    switch (row.show) {
    case Show::kText:
        if (auto* field = qobject_cast<QLineEdit*>(&Widget(row.control))) {
            field->setText(row.text(read.value));
        }
        break;
    case Show::kBits:
        for (const BitBox& box : row.bits) {
            if (auto* button = qobject_cast<QAbstractButton*>(&Widget(box.box))) {
                SetChecked(*button, (read.value & box.mask) != 0);
            }
        }
        break;
    case Show::kEntry: {
        QWidget& list = Widget(row.control);
        const int entry = row.entry(read.value);
        const QSignalBlocker quiet(list);
        if (auto* combo = qobject_cast<QComboBox*>(&list)) {
            combo->setCurrentIndex(entry);
        } else if (auto* items = qobject_cast<QListWidget*>(&list)) {
            items->setCurrentRow(entry);
            if (entry < 0) {
                items->clearSelection();
            }
        }
        break;
    }
    case Show::kChoice: {
        const int entry = row.entry(read.value);
        for (std::size_t i = 0; i < row.buttons.size(); ++i) {
            if (auto* button = qobject_cast<QAbstractButton*>(&Widget(row.buttons[i]))) {
                SetChecked(*button, static_cast<int>(i) == entry);
            }
        }
        break;
    }
    case Show::kControl: break;
    }
}

std::uint32_t FieldTable::Compose(std::span<const BitBox> bits) const
{
    std::uint32_t value = 0;
    for (const BitBox& box : bits) {
        const auto* button = qobject_cast<QAbstractButton*>(&Widget(box.box));
        if (button != nullptr && button->isChecked()) {
            value |= box.mask;
        }
    }
    return value;
}

void FieldTable::ShowUnread(QWidget& control)
{
    if (auto* field = qobject_cast<QLineEdit*>(&control)) {
        field->setText(kError);
    } else if (auto* combo = qobject_cast<QComboBox*>(&control)) {
        const QSignalBlocker quiet(combo);
        combo->setCurrentIndex(-1);
    } else if (auto* items = qobject_cast<QListWidget*>(&control)) {
        const QSignalBlocker quiet(items);
        items->setCurrentRow(-1);
        items->clearSelection();
    } else if (auto* button = qobject_cast<QAbstractButton*>(&control)) {
        SetChecked(*button, false);
    }
}

} // namespace orv::viewer

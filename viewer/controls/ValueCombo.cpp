#include "viewer/controls/ValueCombo.h"

#include "viewer/model/ValueType.h"

#include <QFocusEvent>

#include <string>

namespace orv::viewer {

ValueCombo::ValueCombo(QWidget* parent) : QComboBox(parent)
{
    // activated is the user's choice only; a refresh's setCurrentIndex does not emit it.
    connect(this, &QComboBox::activated, this, &ValueCombo::WriteEntry);
}

void ValueCombo::SetEntries(std::span<const ComboEntry> entries)
{
    clear();
    for (const ComboEntry& entry : entries) {
        addItem(QString::fromUtf8(entry.text), QVariant::fromValue(entry.value));
    }
}

void ValueCombo::Bind(Module* module, int classId, int instance, int attribute, int valueType, int size, bool hold)
{
    module_ = module;
    size_ = size;
    held_ = hold;
    item_.Setup(module, classId, instance, attribute, valueType, size, {}, 0);
}

bool ValueCombo::Refresh(int kind)
{
    if (module_ == nullptr || held_) {
        return false;
    }
    if (!item_.Read()) {
        setCurrentIndex(-1);
        return false;
    }
    int entry = -1;
    switch (kind) {
    case ValueKind::kByte: entry = findData(QVariant::fromValue(std::uint32_t{item_.GetByte()})); break;
    case ValueKind::kUInt16:
        entry = findData(QVariant::fromValue(std::uint32_t{static_cast<std::uint16_t>(item_.GetInt16())}));
        break;
    case ValueKind::kBits32:
    case ValueKind::kInt32: entry = findData(QVariant::fromValue(item_.GetUInt32())); break;
    default: break;
    }
    setCurrentIndex(entry);
    return true;
}

void ValueCombo::WriteEntry(int index)
{
    if (module_ == nullptr) {
        return;
    }
    Hold();
    const QVariant value = itemData(index);
    const std::string text = std::to_string(value.isValid() ? value.value<std::uint32_t>() : 0);
    item_.Write(text.c_str(), ValueKind::kText, size_);
    Release();
}

void ValueCombo::showPopup()
{
    Hold();
    QComboBox::showPopup();
}

void ValueCombo::focusInEvent(QFocusEvent* event)
{
    Hold();
    QComboBox::focusInEvent(event);
}

void ValueCombo::focusOutEvent(QFocusEvent* event)
{
    // The open drop-down takes the focus for a moment; the list is still the user's.
    if (event->reason() != Qt::PopupFocusReason) {
        Release();
    }
    QComboBox::focusOutEvent(event);
}

} // namespace orv::viewer

#include "viewer/controls/ValueCombo.h"

#include "viewer/model/ValueType.h"

#include <QFocusEvent>

#include <algorithm>
#include <string>

namespace orv::viewer {

ValueCombo::ValueCombo(QWidget* parent) : QComboBox(parent)
{
    // activated is the user's choice only; a refresh's setCurrentIndex does not emit it.
    connect(this, &QComboBox::activated, this, &ValueCombo::WriteEntry);
}

void ValueCombo::Bind(Module* module, int classId, int instance, int attribute, int valueType, int size, int mapping,
                      bool hold)
{
    module_ = module;
    size_ = size;
    mapping_ = mapping;
    held_ = hold;
    item_.Setup(module, classId, instance, attribute, valueType, size, {}, 0);
}

std::optional<int> ValueCombo::EntryOf(int mapping, std::uint32_t value, int count)
{
    std::optional<int> entry;
    if (mapping == kBaudRateList) {
        const auto found = std::find(kBaudRates.begin(), kBaudRates.end(), value);
        if (found != kBaudRates.end()) {
            entry = static_cast<int>(found - kBaudRates.begin());
        }
    } else if (mapping == kDataTypeList) {
        const auto found = std::find(kDataTypes.begin(), kDataTypes.end(), value);
        if (found != kDataTypes.end()) {
            entry = static_cast<int>(found - kDataTypes.begin());
        }
    } else {
        entry = static_cast<int>(static_cast<std::int64_t>(value) - mapping);
    }
    if (entry && (*entry < 0 || *entry >= count)) {
        entry.reset();
    }
    return entry;
}

int ValueCombo::ValueOf(int mapping, int index)
{
    if (mapping == kBaudRateList) {
        return index >= 0 && index < static_cast<int>(kBaudRates.size()) ? static_cast<int>(kBaudRates[index]) : 0;
    }
    if (mapping == kDataTypeList) {
        return index >= 0 && index < static_cast<int>(kDataTypes.size()) ? kDataTypes[index] : 0;
    }
    return index + mapping;
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
    std::optional<std::uint32_t> value;
    if (mapping_ == kBaudRateList) {
        value = item_.GetUInt32();
    } else if (mapping_ == kDataTypeList) {
        value = item_.GetByte();
    } else if (kind == ValueKind::kByte) {
        value = item_.GetByte();
    } else if (kind == ValueKind::kUInt16) {
        value = static_cast<std::uint16_t>(item_.GetInt16());
    }
    const std::optional<int> entry = value ? EntryOf(mapping_, *value, count()) : std::nullopt;
    setCurrentIndex(entry.value_or(-1));
    return true;
}

void ValueCombo::WriteEntry(int index)
{
    if (module_ == nullptr) {
        return;
    }
    Hold();
    const std::string text = std::to_string(ValueOf(mapping_, index));
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

#pragma once
// A drop-down list bound to one attribute of the open node, whose entries stand for values: the
// serial baud rates (mapping kBaudRateList), the data type codes (kDataTypeList), or entry index +
// an offset (any other mapping). Choosing an entry writes its value; while the user has the list
// (focus, open drop-down) it is held and refreshes leave it alone.

#include "viewer/model/AttributeItem.h"

#include <QComboBox>

#include <array>
#include <cstdint>
#include <optional>

namespace orv::viewer {

class Module;

class ValueCombo final : public QComboBox {
    Q_OBJECT

public:
    static constexpr int kBaudRateList = 256;
    static constexpr int kDataTypeList = 257;
    // Entry index -> the 32-bit baud rate written and recognised.
    static constexpr std::array<std::uint32_t, 8> kBaudRates{300, 1200, 2400, 4800, 9600, 19200, 38400, 57600};
    // Entry index -> CIP elementary data type code: SINT, INT, USINT, UINT, REAL, SHORT_STRING.
    static constexpr std::array<std::uint8_t, 6> kDataTypes{0xC2, 0xC3, 0xC6, 0xC7, 0xCA, 0xDA};

    explicit ValueCombo(QWidget* parent = nullptr);

    void Bind(Module* module, int classId, int instance, int attribute, int valueType, int size, int mapping,
              bool hold);

    bool IsHeld() const { return held_; }
    void Hold() { held_ = true; }
    void Release() { held_ = false; }

    // Reads the attribute and selects its entry. `kind` tells how an offset list reads the value:
    // 1 the first byte, 6 the unsigned 16-bit value; other kinds select nothing. A value not in
    // the list selects nothing. False, with nothing read, while held or unbound; no selection when
    // the read fails.
    bool Refresh(int kind);

    // The entry a value stands for, and the value an entry stands for, by this list's mapping.
    static std::optional<int> EntryOf(int mapping, std::uint32_t value, int count);
    static int ValueOf(int mapping, int index);

    Module* BoundModule() const { return module_; }
    const AttributeItem& Item() const { return item_; }

    void showPopup() override;

protected:
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    void WriteEntry(int index);

    Module* module_ = nullptr;
    int size_ = 0;
    int mapping_ = 0;
    bool held_ = false;
    AttributeItem item_;
};

} // namespace orv::viewer

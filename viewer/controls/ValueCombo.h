#pragma once
// A drop-down list bound to one attribute of the open node, whose entries carry the attribute
// values they stand for (the serial baud rates, the data type codes, a setting's codes). Choosing
// an entry writes its value; while the user has the list (focus, open drop-down) it is held and
// refreshes leave it alone.

#include "viewer/model/AttributeItem.h"

#include <QComboBox>

#include <cstdint>
#include <span>

namespace orv::viewer {

class Module;

// An entry of a ValueCombo: its text and the attribute value it stands for.
struct ComboEntry {
    const char* text;
    std::uint32_t value;
};

class ValueCombo final : public QComboBox {
    Q_OBJECT

public:
    explicit ValueCombo(QWidget* parent = nullptr);

    // Replaces the entries, in this order, each carrying its value.
    void SetEntries(std::span<const ComboEntry> entries);

    void Bind(Module* module, int classId, int instance, int attribute, int valueType, int size, bool hold);

    bool IsHeld() const { return held_; }
    void Hold() { held_ = true; }
    void Release() { held_ = false; }

    // Reads the attribute and selects the entry that carries its value, read by `kind`: 1 the first
    // byte, 6 the unsigned 16-bit value, 3 and 5 the 32-bit value; other kinds select nothing. A
    // value no entry carries selects nothing. False, with nothing read, while held or unbound; no
    // selection when the read fails.
    bool Refresh(int kind);

    Module* BoundModule() const { return module_; }
    const AttributeItem& Item() const { return item_; }

    void showPopup() override;

protected:
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    // Writes the value of the entry the user chose (0 for an entry without one) as decimal text.
    void WriteEntry(int index);

    Module* module_ = nullptr;
    int size_ = 0;
    bool held_ = false;
    AttributeItem item_;
};

} // namespace orv::viewer

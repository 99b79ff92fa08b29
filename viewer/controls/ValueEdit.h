#pragma once
// A text field bound to one attribute of the open node. Refresh reads the attribute and shows it;
// Enter writes the typed text, unless the field is read-only. While the user works in the field
// (focus, typing) it is held and refreshes leave it alone, so a page's timer never overwrites what
// the user is typing.

#include "viewer/model/AttributeItem.h"

#include <QLineEdit>

namespace orv::viewer {

class Module;

class ValueEdit final : public QLineEdit {
    Q_OBJECT

public:
    explicit ValueEdit(QWidget* parent = nullptr);

    // Binds the field to an attribute and sets its hold flag (a page re-binding a field the user is
    // editing passes IsHeld() back).
    void Bind(Module* module, int classId, int instance, int attribute, int valueType, int size, bool hold);

    bool IsHeld() const { return held_; }
    void Hold() { held_ = true; }
    void Release() { held_ = false; }

    // Reads the attribute and shows it by `kind`: "%d" (1, 2, 6), "%.4f" (3), the characters of a
    // short string (4), "%lu" (5), hex digits (any other). "Error" when the read fails. False, with
    // nothing read, while held or unbound.
    bool Refresh(int kind);

    Module* BoundModule() const { return module_; }
    const AttributeItem& Item() const { return item_; }

protected:
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    Module* module_ = nullptr;
    int size_ = 0;
    bool held_ = false;
    AttributeItem item_;
};

} // namespace orv::viewer

#pragma once
// A text field bound to one attribute of the open node. Refresh reads the attribute and shows it;
// Enter writes the typed text (never in a read-only field). While the user works in the field
// (focus, typing, its context menu) it is held and refreshes leave it alone, so a page's timer
// never overwrites what the user is typing. Hex digits are taken in either case and written in
// upper case. A field of several lines shows a long value wrapped while the user is not editing
// it.

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

    // The bound size is the first bytes of a longer value, which the field shows cut (until the
    // next Bind).
    void TakeFirstBytes(bool first) { item_.TakeFirstBytes(first); }

    bool IsHeld() const { return held_; }
    void Hold() { held_ = true; }
    void Release() { held_ = false; }

    // Reads the attribute and shows it by `kind`: "%d" (1, 2, 6), "%.4f" (3), the characters of a
    // short string (4), "%lu" (5), hex digits (any other). "Error" when the read fails. False, with
    // nothing read, while held or unbound.
    bool Refresh(int kind);

    // The longest short string Enter writes, in characters; a longer one (typed as text, or in hex as
    // its length byte and characters) is refused without a write and stays in the field. A string
    // longer than the value buffer is refused whatever the limit.
    void SetStringLimit(int characters) { stringLimit_ = characters; }
    // Why the text in the field is refused, or an empty text when it may be written: a string
    // beyond its limit, or for raw bytes anything but pairs of hex digits (exactly the size's).
    QString Refusal(const QString& text) const;

    // The field is `lines` lines high, each at least `columns` hex digits wide, and wraps its value
    // into them.
    void SetLines(int lines, int columns);
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;
    // Where a wrapped value is drawn.
    QRect WrappedRect() const;

    Module* BoundModule() const { return module_; }
    const AttributeItem& Item() const { return item_; }

signals:
    // Enter was pressed in the field: the text went to the device (`refusal` empty) or was refused.
    void Entered(const QString& refusal);

protected:
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    // The height of `lines` lines of text in the field's frame.
    int HeightFor(int lines, int oneLine) const;
    bool HexItem() const;

    Module* module_ = nullptr;
    int size_ = 0;
    bool held_ = false;
    int stringLimit_ = 0;
    int lines_ = 1;
    int columns_ = 0;
    AttributeItem item_;
};

} // namespace orv::viewer

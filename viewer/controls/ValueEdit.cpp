#include "viewer/controls/ValueEdit.h"

#include "viewer/model/ValueConversions.h"
#include "viewer/model/ValueType.h"

#include <QKeyEvent>
#include <QPainter>
#include <QStyle>
#include <QStyleOptionFrame>

#include <algorithm>

namespace orv::viewer {

ValueEdit::ValueEdit(QWidget* parent) : QLineEdit(parent)
{
    // Only the user's edits hold the field; setText by a refresh does not emit textEdited.
    connect(this, &QLineEdit::textEdited, this, [this] { Hold(); });
}

void ValueEdit::Bind(Module* module, int classId, int instance, int attribute, int valueType, int size, bool hold)
{
    module_ = module;
    size_ = size;
    held_ = hold;
    item_.Setup(module, classId, instance, attribute, valueType, size, {}, 0);
}

bool ValueEdit::Refresh(int kind)
{
    if (module_ == nullptr || held_) {
        return false;
    }
    if (!item_.Read()) {
        setText(QStringLiteral("Error"));
        return false;
    }
    std::string text;
    switch (kind) {
    case ValueKind::kByte: text = std::to_string(item_.GetByte()); break;
    case ValueKind::kInt16: text = std::to_string(item_.GetInt16()); break;
    case ValueKind::kBits32: text = FloatText(item_.GetFloat(), 4); break;
    case ValueKind::kText: item_.Format(text, ValueType::kShortString); break;
    case ValueKind::kInt32: text = std::to_string(item_.GetUInt32()); break;
    case ValueKind::kUInt16: text = std::to_string(static_cast<std::uint16_t>(item_.GetInt16())); break;
    default: item_.Format(text, ValueType::kRaw); break;
    }
    setText(QString::fromLatin1(text));
    return true;
}

bool ValueEdit::HexItem() const
{
    return item_.Type() < ValueType::kByte || item_.Type() > ValueType::kUInt16; // raw bytes
}

QString ValueEdit::Refusal(const QString& text) const
{
    if (HexItem()) {
        const bool digits = std::all_of(text.begin(), text.end(), [](QChar c) {
            return (c >= u'0' && c <= u'9') || (c.toUpper() >= u'A' && c.toUpper() <= u'F');
        });
        if (!digits || text.size() % 2 != 0) {
            return QStringLiteral("Not written: pairs of hexadecimal digits (0-9, A-F) are expected.");
        }
        if (item_.Size() >= 0 && text.size() != 2 * item_.Size()) {
            return QStringLiteral("Not written: %1 pairs of hexadecimal digits are expected.").arg(item_.Size());
        }
    }
    // Characters of a short string: as text, or as hex digits of its length byte and characters.
    qsizetype characters = -1;
    if (item_.Type() == ValueType::kShortString) {
        characters = text.toLatin1().size();
    } else if (item_.Type() == ValueType::kRaw && item_.Size() == kVariableSize) {
        characters = text.size() / 2 - 1;
    }
    const int bufferLimit = static_cast<int>(kValueBufferSize) - 1;
    const int limit = stringLimit_ > 0 ? std::min(stringLimit_, bufferLimit) : bufferLimit;
    if (characters > limit) {
        return QStringLiteral("Not written: a string of at most %1 characters is expected.").arg(limit);
    }
    return {};
}

void ValueEdit::focusInEvent(QFocusEvent* event)
{
    Hold();
    QLineEdit::focusInEvent(event);
}

void ValueEdit::focusOutEvent(QFocusEvent* event)
{
    // The context menu takes the focus for a moment; the field is still the user's.
    if (event->reason() != Qt::PopupFocusReason) {
        Release();
    }
    QLineEdit::focusOutEvent(event);
    update();
}

void ValueEdit::keyPressEvent(QKeyEvent* event)
{
    if (module_ == nullptr) {
        event->accept(); // an unbound field takes no input
        return;
    }
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        if (isReadOnly()) {
            QLineEdit::keyPressEvent(event); // writes nothing; Enter goes on to the page
            return;
        }
        event->accept();
        if (HexItem() && text() != text().toUpper()) {
            setText(text().toUpper()); // the hex digits as the device's bytes are written
        }
        const QString refusal = Refusal(text());
        if (refusal.isEmpty()) {
            const QByteArray value = text().toLatin1();
            item_.Write(value.constData(), ValueKind::kText, size_);
            Release();
        }
        emit Entered(refusal);
        return;
    }
    QLineEdit::keyPressEvent(event);
}

void ValueEdit::SetLines(int lines, int columns)
{
    lines_ = std::max(lines, 1);
    columns_ = std::max(columns, 0);
    updateGeometry();
}

int ValueEdit::HeightFor(int lines, int oneLine) const
{
    return oneLine + (lines - 1) * fontMetrics().lineSpacing();
}

QSize ValueEdit::sizeHint() const
{
    QSize size = QLineEdit::sizeHint();
    size.setHeight(HeightFor(lines_, size.height()));
    size.setWidth(std::max(size.width(), minimumSizeHint().width()));
    return size;
}

QSize ValueEdit::minimumSizeHint() const
{
    QSize size = QLineEdit::minimumSizeHint();
    size.setHeight(HeightFor(lines_, size.height()));
    // The digits of a line, and the frame and margins around them.
    const int frame = width() - WrappedRect().width();
    size.setWidth(std::max(size.width(), columns_ * fontMetrics().horizontalAdvance(QLatin1Char('0')) + frame));
    return size;
}

void ValueEdit::paintEvent(QPaintEvent* event)
{
    // While the user edits it the field is a line edit; otherwise its value is wrapped.
    if (lines_ <= 1 || hasFocus()) {
        QLineEdit::paintEvent(event);
        return;
    }
    QPainter painter(this);
    QStyleOptionFrame panel;
    initStyleOption(&panel);
    style()->drawPrimitive(QStyle::PE_PanelLineEdit, &panel, &painter, this);
    painter.setPen(palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::Text));
    painter.drawText(WrappedRect(), Qt::AlignLeft | Qt::AlignTop | Qt::TextWrapAnywhere, text());
}

QRect ValueEdit::WrappedRect() const
{
    QStyleOptionFrame panel;
    initStyleOption(&panel);
    return style()->subElementRect(QStyle::SE_LineEditContents, &panel, this).adjusted(2, 1, -2, -1);
}

} // namespace orv::viewer

#include "viewer/controls/ValueEdit.h"

#include "viewer/model/ValueConversions.h"
#include "viewer/model/ValueType.h"

#include <QKeyEvent>

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

void ValueEdit::focusInEvent(QFocusEvent* event)
{
    Hold();
    QLineEdit::focusInEvent(event);
}

void ValueEdit::focusOutEvent(QFocusEvent* event)
{
    Release();
    QLineEdit::focusOutEvent(event);
}

void ValueEdit::keyPressEvent(QKeyEvent* event)
{
    if (module_ == nullptr) {
        event->accept(); // an unbound field takes no input
        return;
    }
    // A read-only field writes nothing: Enter goes on to the page, as from any read-only box.
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) && !isReadOnly()) {
        const QByteArray value = text().toLatin1();
        item_.Write(value.constData(), ValueKind::kText, size_);
        Release();
        event->accept();
        return;
    }
    QLineEdit::keyPressEvent(event);
}

} // namespace orv::viewer

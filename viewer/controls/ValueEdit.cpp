#include "viewer/controls/ValueEdit.h"

#include "viewer/model/ValueConversions.h"
#include "viewer/model/ValueType.h"

#include <QKeyEvent>

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

QString ValueEdit::Refusal(const QString& text) const
{
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
    Release();
    QLineEdit::focusOutEvent(event);
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

} // namespace orv::viewer

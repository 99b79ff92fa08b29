#pragma once
// A page's fields as data: one row per control, or per part of a control that one attribute
// feeds, saying where the value lives (class, instance, attribute, value type, size), how it shows
// and which of the page's refreshes reads it. One loop binds and refreshes the rows of every page,
// in table order; a read that fails shows by one rule: "Error" in a field, no selection in a list,
// check boxes and radio buttons cleared, never an old value. Rows that follow each other on the
// same attribute share one read of the table's own item.
//
// A bit field is one table of {check box, mask}, which shows the value and composes the write.

#include "viewer/controls/ValueCombo.h"
#include "viewer/model/AttributeItem.h"
#include "viewer/model/ValueType.h"

#include <QByteArray>
#include <QHash>
#include <QString>

#include <cstdint>
#include <functional>
#include <span>

class QWidget;

namespace orv::viewer {

class Module;
class ValueEdit;

// How a row shows its attribute.
enum class Show : std::uint8_t {
    kControl, // a ValueEdit or ValueCombo, bound to the row, reads and shows it itself
    kText,    // text(value) in a plain field
    kBits,    // the check boxes of `bits`, each checked when its mask is set in the value
    kEntry,   // entry(value) selected in a list (a QComboBox or a QListWidget); -1 none
    kChoice,  // entry(value) checked among the radio buttons of `buttons`; -1 none
};

struct BitBox {
    const char* box;
    std::uint32_t mask;
};

// Where a row's value lives; kChosenInstance stands for the instance the page refreshes.
inline constexpr int kChosenInstance = -1;
struct Path {
    int classId;
    int instance;
    int attribute;
};

// A row whose size is another attribute of the same instance, read just before it.
struct SizeSource {
    int attribute = 0; // 0: the row's size is its own
    int type = ValueType::kUInt16;
    int size = 2;
    bool errorWhenUnread = true; // a size that cannot be read: "Error" (else the size is 0)
};

struct Row {
    const char* control = nullptr; // object name; kBits and kChoice name theirs in `bits`, `buttons`
    Path path{};
    int type = ValueType::kRaw;
    int size = 0;
    Show show = Show::kText;
    unsigned refresh = 0;      // the page's refreshes (a mask of its own) that read the row
    int kind = ValueKind::kRaw; // kControl: how the control shows the value
    std::span<const ComboEntry> entries{}; // kControl on a ValueCombo: its entries and their values
    QString (*text)(std::uint32_t) = nullptr;
    int (*entry)(std::uint32_t) = nullptr;
    std::span<const BitBox> bits{};
    std::span<const char* const> buttons{};
    SizeSource sizeFrom{};
    bool hex = false; // in hex view raw bytes, shown as hex digits

    // The same row with its size read from `source` first.
    constexpr Row SizedBy(SizeSource source) const
    {
        Row row = *this;
        row.sizeFrom = source;
        return row;
    }
    // The same row following the page's hex view.
    constexpr Row InHexView() const
    {
        Row row = *this;
        row.hex = true;
        return row;
    }
};

// A ValueEdit, or a ValueCombo with `entries`, bound to the row and refreshed with `kind`.
constexpr Row Control(const char* control, Path path, int type, int size, int kind, unsigned refresh,
                      std::span<const ComboEntry> entries = {})
{
    return Row{.control = control, .path = path, .type = type, .size = size, .show = Show::kControl,
               .refresh = refresh, .kind = kind, .entries = entries};
}
constexpr Row Text(const char* field, Path path, int type, int size, QString (*text)(std::uint32_t),
                   unsigned refresh)
{
    return Row{.control = field, .path = path, .type = type, .size = size, .show = Show::kText, .refresh = refresh,
               .text = text};
}
constexpr Row Bits(std::span<const BitBox> bits, Path path, int type, int size, unsigned refresh)
{
    return Row{.path = path, .type = type, .size = size, .show = Show::kBits, .refresh = refresh, .bits = bits};
}
constexpr Row Entry(const char* list, Path path, int type, int size, int (*entry)(std::uint32_t), unsigned refresh)
{
    return Row{.control = list, .path = path, .type = type, .size = size, .show = Show::kEntry, .refresh = refresh,
               .entry = entry};
}
constexpr Row Choice(std::span<const char* const> buttons, Path path, int type, int size,
                     int (*entry)(std::uint32_t), unsigned refresh)
{
    return Row{.path = path, .type = type, .size = size, .show = Show::kChoice, .refresh = refresh, .entry = entry,
               .buttons = buttons};
}

// Formats shared by the pages' rows.
QString DecimalText(std::uint32_t value);

class FieldTable {
public:
    // Binds a sized row's control to `size` bytes (the page may cut or note it); the default binds
    // the control to the row as it is, with that size.
    using SizedBind = std::function<void(const Row& row, ValueEdit& control, int instance, int size)>;

    // Resolves every control the rows name among the children of `page` (a name without a control
    // is a programming error and ends the program) and gives the lists their entries.
    FieldTable(QWidget& page, Module* module, std::span<const Row> rows);

    void SetHexView(bool on) { hexView_ = on; }
    void SetSizedBind(SizedBind bind) { sizedBind_ = std::move(bind); }

    // Binds the controls of the rows of `refresh` to `instance`, each keeping its hold unless
    // `release`; sized rows are bound when they are refreshed.
    void Bind(unsigned refresh, int instance, bool release = false);
    // Reads the rows of `refresh`, in table order, and shows what each read gave.
    void Refresh(unsigned refresh, int instance);

    // The value a bit field's checked boxes make.
    std::uint32_t Compose(std::span<const BitBox> bits) const;
    // The page's child named `name`; ends the program when there is none.
    QWidget& Widget(const char* name) const;

    // What a control shows when its value could not be read.
    static void ShowUnread(QWidget& control);

private:
    struct Read {
        Path path{-1, -1, -1};
        bool ok = false;
        std::uint32_t value = 0;
    };

    void BindControl(const Row& row, int instance, int size, bool release);
    // Reads a sized row's size and binds its control to it; false when the row is not to be read.
    bool BindSized(const Row& row, const Path& path, int instance);
    void RefreshControl(const Row& row);
    // A value through the table's item; the last read's when it read the same path.
    Read ReadValue(const Path& path, int type, int size, Read& last);
    void ShowValue(const Row& row, const Read& read);
    int TypeOf(const Row& row) const { return row.hex && hexView_ ? ValueType::kRaw : row.type; }
    int KindOf(const Row& row) const { return row.hex && hexView_ ? ValueKind::kRaw : row.kind; }
    static Path Resolve(const Path& path, int instance);

    QWidget& page_;
    Module* module_;
    std::span<const Row> rows_;
    QHash<QByteArray, QWidget*> widgets_;
    AttributeItem item_;
    bool hexView_ = false;
    SizedBind sizedBind_;
};

} // namespace orv::viewer

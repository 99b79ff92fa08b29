#pragma once
// The viewer's message boxes (OK only) with their fixed texts, and the wait cursor, which is never
// shown over a dialog that waits for the user.

#include <QCursor>
#include <QList>
#include <QString>

class QWidget;

namespace orv::viewer {

inline const QString kNetworkNotConfiguredMessage = QStringLiteral("Network is not configured.");
inline const QString kCreateModuleFailedMessage = QStringLiteral("Error in create module.");
inline const QString kDriverInitFailedMessage = QStringLiteral("Driver Init Failed");
inline const QString kOpenDeviceFailedMessage = QStringLiteral("Open Device Failed");
inline const QString kErrorInPollMessage = QStringLiteral("Error in Poll");
inline const QString kUnknownPageMessage = QStringLiteral("None");
inline const QString kInvalidNumberMessage = QStringLiteral("Please enter an integer.");
inline const QString kDriverNameMessage = QStringLiteral("Driver Name: at most 64 characters, Latin-1 only.");
inline const QString kInvalidPollCommandMessage = QStringLiteral("Invalid character in poll command. \n"
                                                                 "Use format: xx  xx  ...  xx\n"
                                                                 "where x = 0-9 or A-F");

// A modal message box with `text` and an OK button, without the wait cursor.
void ShowMessage(QWidget* parent, const QString& text);

// The wait cursor for the life of the object.
class WaitCursor {
public:
    WaitCursor();
    ~WaitCursor();
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;
};

// Lifts every wait cursor for the life of the object, for a dialog that waits for the user, and
// puts them back after it.
class CursorPause {
public:
    CursorPause();
    ~CursorPause();
    CursorPause(const CursorPause&) = delete;
    CursorPause& operator=(const CursorPause&) = delete;

private:
    QList<QCursor> lifted_;
};

} // namespace orv::viewer
